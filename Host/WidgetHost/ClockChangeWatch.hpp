#pragma once

#include <functional>

#include "Host/WidgetHost/detail/EventSource.hpp"

// Notices when the wall clock is set (by hand, NTP stepping it, a time zone daemon): a timerfd on
// CLOCK_REALTIME armed far in the future with TFD_TIMER_CANCEL_ON_SET fails its read with
// ECANCELED whenever the clock jumps.
namespace widgethost {

class ClockChangeWatch {
public:
    ClockChangeWatch() = default;
    ClockChangeWatch(const ClockChangeWatch&) = delete;
    ClockChangeWatch& operator=(const ClockChangeWatch&) = delete;
    ~ClockChangeWatch();

    /// Starts watching; `changed` runs from the loop after every jump. False when timerfd fails.
    bool start(sd_event* loop, std::function<void()> changed);

private:
    static int onReadable(sd_event_source*, int fd, uint32_t events, void* self);
    bool arm();

    int fd_ = -1;
    detail::EventSourcePtr source_;
    std::function<void()> changed_;
};

}  // namespace widgethost
