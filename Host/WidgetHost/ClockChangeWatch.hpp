#pragma once

#include <filesystem>
#include <functional>

#include "Host/WidgetHost/detail/EventSource.hpp"
#include "Platform/System/Result.hpp"

// Notices when the time the user sees changes: the wall clock is set (by hand, NTP stepping it), which
// a timerfd on CLOCK_REALTIME armed far in the future with TFD_TIMER_CANCEL_ON_SET reports by failing
// its read with ECANCELED; or the system time zone changes, which replaces /etc/localtime (timedated
// renames a new link into place, an editor may write it), seen by inotify on its directory.
namespace widgethost {

class ClockChangeWatch {
public:
    ClockChangeWatch() = default;
    ClockChangeWatch(const ClockChangeWatch&) = delete;
    ClockChangeWatch& operator=(const ClockChangeWatch&) = delete;
    ~ClockChangeWatch();

    /// Starts watching; `changed` runs from the loop after every jump and zone change, with the
    /// process's zone already read again. The clock and the zone are watched apart, so that one
    /// failing leaves the other working: `clock` and `zone` say how each went, with the errno of the
    /// call that failed.
    struct Started {
        platform::Status<> clock = platform::Done{};
        platform::Status<> zone = platform::Done{};
    };
    Started start(sd_event* loop, std::function<void()> changed, std::filesystem::path zoneFile = "/etc/localtime");

private:
    static int onReadable(sd_event_source*, int fd, uint32_t events, void* self);
    static int onZoneEvent(sd_event_source*, int fd, uint32_t events, void* self);
    bool arm();
    platform::Status<> watchClock(sd_event* loop);
    platform::Status<> watchZone(sd_event* loop);

    int fd_ = -1;
    int zoneFd_ = -1;
    std::filesystem::path zoneFile_;
    detail::EventSourcePtr source_;
    detail::EventSourcePtr zoneSource_;
    std::function<void()> changed_;
};

}  // namespace widgethost
