#pragma once

#include <signal.h>

namespace widgethost::detail {

/// In a child between fork and exec: unblocks every signal and gives SIGPIPE back its default, so
/// the program started sees what a program started from a shell would. Async-signal-safe.
inline void restoreDefaultSignals() {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &defaultAction, nullptr);
}

}  // namespace widgethost::detail
