#pragma once

#include <systemd/sd-event.h>

#include <cstdint>
#include <functional>
#include <memory>

// sd-event sources owned like any other resource, with plain callbacks.
namespace widgethost::detail {

struct EventSourceUnref {
    void operator()(sd_event_source* source) const { sd_event_source_disable_unref(source); }
};
using EventSourcePtr = std::unique_ptr<sd_event_source, EventSourceUnref>;

/// A one-shot timer at an absolute time of `clock` (microseconds). Null when it cannot be made.
EventSourcePtr addTimerAt(sd_event* loop, clockid_t clock, std::uint64_t usec, std::uint64_t accuracyUsec,
                          std::function<void()> callback);

/// A one-shot timer `usec` microseconds from now on the monotonic clock.
EventSourcePtr addTimerIn(sd_event* loop, std::uint64_t usec, std::function<void()> callback);

}  // namespace widgethost::detail
