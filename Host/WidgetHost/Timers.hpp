#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "Platform/System/Date.hpp"

typedef struct sd_event sd_event;

// The host's clocks and timers behind one seam, so that its scheduling runs on a fake clock in tests.
namespace widgethost {

/// A pending timer; destroying it cancels it.
class Timer {
public:
    virtual ~Timer() = default;
};
using TimerHandle = std::unique_ptr<Timer>;

class Timers {
public:
    virtual ~Timers() = default;
    /// The wall clock.
    virtual platform::Date now() const = 0;
    /// Time that passes also when the wall clock is set, for back-off and time-outs.
    virtual std::chrono::steady_clock::time_point monotonicNow() const = 0;
    /// Runs `fire` once when the wall clock reaches `when` (at once when it has); a wall-clock timer
    /// follows when the clock is set.
    virtual TimerHandle at(platform::Date when, std::chrono::microseconds accuracy, std::function<void()> fire) = 0;
    /// Runs `fire` once after `delay` of monotonic time.
    virtual TimerHandle after(std::chrono::microseconds delay, std::function<void()> fire) = 0;
};

/// Timers on an sd-event loop; the wall clock is `platform::services().now`.
std::unique_ptr<Timers> eventLoopTimers(sd_event* loop);

}  // namespace widgethost
