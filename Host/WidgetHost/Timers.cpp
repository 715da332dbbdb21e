#include "Host/WidgetHost/Timers.hpp"

#include <algorithm>
#include <cmath>

#include "Host/WidgetHost/detail/EventSource.hpp"
#include "Platform/System/Services.hpp"

namespace widgethost {
namespace {

class EventLoopTimer final : public Timer {
public:
    explicit EventLoopTimer(detail::EventSourcePtr source) : source_(std::move(source)) {}

private:
    detail::EventSourcePtr source_;
};

// Microseconds on CLOCK_REALTIME. Dates the protocol lets through stay far below 2^63 µs; the clamp
// keeps any other date from wrapping around into the past.
std::uint64_t realtimeUsec(platform::Date date) {
    constexpr double latest = 9e18;
    return static_cast<std::uint64_t>(std::clamp(std::ceil(date.millisecondsSince1970 * 1000), 0.0, latest));
}

class EventLoopTimers final : public Timers {
public:
    explicit EventLoopTimers(sd_event* loop) : loop_(loop) {}

    platform::Date now() const override { return platform::services().now(); }
    std::chrono::steady_clock::time_point monotonicNow() const override { return std::chrono::steady_clock::now(); }

    TimerHandle at(platform::Date when, std::chrono::microseconds accuracy, std::function<void()> fire) override {
        return std::make_unique<EventLoopTimer>(detail::addTimerAt(loop_, CLOCK_REALTIME, realtimeUsec(when),
                                                                   static_cast<std::uint64_t>(accuracy.count()),
                                                                   std::move(fire)));
    }

    TimerHandle after(std::chrono::microseconds delay, std::function<void()> fire) override {
        return std::make_unique<EventLoopTimer>(
            detail::addTimerIn(loop_, static_cast<std::uint64_t>(std::max<std::int64_t>(0, delay.count())), std::move(fire)));
    }

private:
    sd_event* loop_;
};

}  // namespace

std::unique_ptr<Timers> eventLoopTimers(sd_event* loop) { return std::make_unique<EventLoopTimers>(loop); }

}  // namespace widgethost
