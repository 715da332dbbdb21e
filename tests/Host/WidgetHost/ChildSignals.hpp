#pragma once

#include <signal.h>

namespace widgethost {

/// What a process that runs extensions on an sd-event loop needs, as the host sets it up: SIGCHLD
/// blocked for the loop's child sources, and no SIGPIPE from writing to one that has just ended.
inline void prepareForChildren() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGCHLD);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

}  // namespace widgethost
