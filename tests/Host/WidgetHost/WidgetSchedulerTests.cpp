#include "Host/WidgetHost/WidgetScheduler.hpp"

#include <gtest/gtest.h>

#include "FakeTimers.hpp"

namespace widgethost {
namespace {

using platform::Date;
using platform::TimelineReloadPolicy;

// 2024-05-14T10:30:00.250Z: a quarter second past a whole second.
constexpr double start = 1715682600250;

class WidgetSchedulerTest : public testing::Test {
protected:
    // What the scheduler asked for, as "reload A@ms" or "redraw A@ms", ms from the start.
    std::vector<std::string> events;
    double base = start;  // what the offsets count from
    FakeTimers timers{Date::fromMilliseconds(start)};
    WidgetScheduler scheduler{timers, {[this](const std::string& id) { note("reload", id); },
                                       [this](const std::string& id) { note("redraw", id); }}};

    void note(const char* what, const std::string& id) {
        events.push_back(std::string(what) + " " + id + "@" +
                         std::to_string(static_cast<long long>(timers.now().millisecondsSince1970 - base)));
    }
    EncodedTimeline timeline(std::vector<double> entryOffsets, TimelineReloadPolicy policy) {
        EncodedTimeline t{{}, policy};
        for (double ms : entryOffsets) t.entries.push_back({Date::fromMilliseconds(base + ms), nullptr, nullptr});
        return t;
    }
};

TEST_F(WidgetSchedulerTest, ReloadsFollowThePolicyButNeverSoonerThanFiveSeconds) {
    using Kind = TimelineReloadPolicy::Kind;
    struct Case {
        Kind kind;
        double date;  // from now, for `after`
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {Kind::after, 60'000, {"reload A@60000"}},
        {Kind::after, -1'000, {"reload A@5000"}},
        {Kind::atEnd, 0, {"reload A@90000"}},
        {Kind::never, 0, {}},
        // The latest date the protocol accepts: no request within the day, and no overflow into the past.
        {Kind::after, 8.64e15 - start, {}},
    };
    for (const auto& c : cases) {
        events.clear();
        base = timers.now().millisecondsSince1970;
        scheduler.timelineArrived("A", timeline({0, 90'000}, {c.kind, Date::fromMilliseconds(base + c.date)}));
        timers.advance(100'000);
        EXPECT_EQ(events, c.expected);
        scheduler.forget("A");
    }
}

TEST_F(WidgetSchedulerTest, AReloadGoesOutAtOnceAndTheRequestsWithinTwentyMillisecondsAfterBecomeOne) {
    scheduler.requestReload("A");
    timers.advance(10);
    scheduler.requestReload("B");
    scheduler.requestReload("A");
    scheduler.requestReload("A");
    timers.advance(15);
    scheduler.requestReload("A");
    timers.advance(100);
    scheduler.requestReload("B");
    EXPECT_EQ(events, (std::vector<std::string>{"reload A@0", "reload B@10", "reload A@20", "reload A@40", "reload B@125"}));
}

TEST_F(WidgetSchedulerTest, ARefusedAnswerIsAskedAgainAfterThirtySeconds) {
    scheduler.timelineArrived("A", timeline({0}, TimelineReloadPolicy::after(Date::fromMilliseconds(start + 10'000))));
    scheduler.answerRefused("A");  // replaces the policy's date
    timers.advance(60'000);
    EXPECT_EQ(events, (std::vector<std::string>{"reload A@30000"}));
}

TEST_F(WidgetSchedulerTest, EachEntryIsDrawnWhenItComesDue) {
    auto t = timeline({-5'000, 2'000, 7'000}, TimelineReloadPolicy::never());
    // The host draws again when told; each drawing reports what it shows.
    scheduler.showing("A", t.entries, false);
    timers.advance(3'000);
    scheduler.showing("A", t.entries, false);
    timers.advance(10'000);
    scheduler.showing("A", t.entries, false);
    timers.advance(10'000);
    EXPECT_EQ(events, (std::vector<std::string>{"redraw A@2000", "redraw A@7000"}));
}

TEST_F(WidgetSchedulerTest, LiveTimersTickJustAfterEachWholeSecondUntilNoneShows) {
    scheduler.showing("A", {}, true);
    scheduler.showing("B", {}, true);
    timers.advance(1'000);  // ticks at .005 past the second: 755 ms from the start
    scheduler.showing("B", {}, false);
    timers.advance(1'000);
    scheduler.forget("A");
    timers.advance(5'000);
    EXPECT_EQ(events, (std::vector<std::string>{"redraw A@755", "redraw B@755", "redraw A@1755"}));
    EXPECT_FALSE(scheduler.ticking());
    EXPECT_EQ(timers.pending(), 0u);
}

}  // namespace
}  // namespace widgethost
