#pragma once

#include <map>
#include <memory>

#include "Host/WidgetHost/Timers.hpp"

namespace widgethost {

/// Timers on a clock that moves only when a test advances it. Both clocks advance together unless
/// the test sets the wall clock, as a user or NTP would.
class FakeTimers final : public Timers {
public:
    explicit FakeTimers(platform::Date start) : wall_(start) {}

    platform::Date now() const override { return wall_; }
    std::chrono::steady_clock::time_point monotonicNow() const override { return monotonic_; }

    TimerHandle at(platform::Date when, std::chrono::microseconds, std::function<void()> fire) override {
        return add(Due{true, when, {}}, std::move(fire));
    }
    TimerHandle after(std::chrono::microseconds delay, std::function<void()> fire) override {
        return add(Due{false, {}, monotonic_ + delay}, std::move(fire));
    }

    /// Moves both clocks forward by `ms`, firing every timer that comes due, in order of due time.
    void advance(double ms) {
        auto endWall = wall_.addingSeconds(ms / 1000);
        auto endMonotonic = monotonic_ + std::chrono::microseconds(static_cast<long long>(ms * 1000));
        for (;;) {
            auto next = earliest(endWall, endMonotonic);
            if (!next) break;
            auto [key, step] = *next;
            wall_ = wall_.addingSeconds(step / 1000);
            monotonic_ += std::chrono::microseconds(static_cast<long long>(step * 1000));
            auto fire = std::move(pending_.at(key).fire);
            pending_.erase(key);
            fire();
        }
        wall_ = endWall;
        monotonic_ = endMonotonic;
    }
    /// Sets the wall clock without firing anything; `advance(0)` fires what is due then.
    void setWallClock(platform::Date date) { wall_ = date; }
    std::size_t pending() const { return pending_.size(); }

private:
    struct Due {
        bool wall;
        platform::Date date;
        std::chrono::steady_clock::time_point time;
    };
    struct Pending {
        Due due;
        std::function<void()> fire;
    };
    class Handle final : public Timer {
    public:
        Handle(FakeTimers& owner, std::uint64_t key) : owner_(owner), key_(key) {}
        ~Handle() override { owner_.pending_.erase(key_); }

    private:
        FakeTimers& owner_;
        std::uint64_t key_;
    };

    TimerHandle add(Due due, std::function<void()> fire) {
        auto key = nextKey_++;
        pending_.emplace(key, Pending{due, std::move(fire)});
        return std::make_unique<Handle>(*this, key);
    }

    // The key of the timer due first within the end, with the milliseconds until it is due.
    std::optional<std::pair<std::uint64_t, double>> earliest(platform::Date endWall,
                                                             std::chrono::steady_clock::time_point endMonotonic) {
        std::optional<std::pair<std::uint64_t, double>> best;
        for (const auto& [key, pending] : pending_) {
            double in = pending.due.wall
                            ? pending.due.date.millisecondsSince1970 - wall_.millisecondsSince1970
                            : std::chrono::duration<double, std::milli>(pending.due.time - monotonic_).count();
            double limit = std::chrono::duration<double, std::milli>(endMonotonic - monotonic_).count();
            if (pending.due.wall) limit = endWall.millisecondsSince1970 - wall_.millisecondsSince1970;
            in = std::max(0.0, in);
            if (in <= limit && (!best || in < best->second)) best = {{key, in}};
        }
        return best;
    }

    platform::Date wall_;
    std::chrono::steady_clock::time_point monotonic_{};
    std::uint64_t nextKey_ = 1;
    std::map<std::uint64_t, Pending> pending_;
};

}  // namespace widgethost
