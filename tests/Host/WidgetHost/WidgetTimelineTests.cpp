#include "Host/WidgetHost/WidgetTimeline.hpp"

#include <gtest/gtest.h>

namespace widgethost {
namespace {

using platform::Date;
using platform::TimelineReloadPolicy;

std::vector<EncodedEntry> entriesAt(std::initializer_list<double> milliseconds) {
    std::vector<EncodedEntry> entries;
    for (double ms : milliseconds) entries.push_back({Date::fromMilliseconds(ms), nullptr, nullptr});
    return entries;
}

TEST(WidgetTimeline, ShowsTheEntryWhoseDateWasReachedLast) {
    auto entries = entriesAt({1000, 2000, 3000});
    struct Case {
        double now;
        size_t shown;
    };
    for (auto c : {Case{0, 0}, Case{999, 0}, Case{1000, 0}, Case{1999.5, 0}, Case{2000, 1}, Case{2999, 1},
                   Case{3000, 2}, Case{1e12, 2}})
        EXPECT_EQ(entryShownAt(entries, Date::fromMilliseconds(c.now)), c.shown) << c.now;
    EXPECT_EQ(entryShownAt({}, Date::fromMilliseconds(5)), std::nullopt);
}

TEST(WidgetTimeline, NextChangeIsTheFirstDateStillAhead) {
    auto entries = entriesAt({1000, 2000});
    EXPECT_EQ(nextEntryChange(entries, Date::fromMilliseconds(0)), Date::fromMilliseconds(1000));
    EXPECT_EQ(nextEntryChange(entries, Date::fromMilliseconds(1000)), Date::fromMilliseconds(2000));
    EXPECT_EQ(nextEntryChange(entries, Date::fromMilliseconds(2000)), std::nullopt);
}

TEST(WidgetTimeline, ReloadFollowsThePolicyButNeverTooSoon) {
    Date answered = Date::fromSeconds(100);
    EncodedTimeline timeline{entriesAt({50'000, 400'000}), TimelineReloadPolicy::after(Date::fromSeconds(300))};
    EXPECT_EQ(nextTimelineRequest(timeline, answered, 5), Date::fromSeconds(300));
    timeline.policy = TimelineReloadPolicy::after(Date::fromSeconds(1));  // already past
    EXPECT_EQ(nextTimelineRequest(timeline, answered, 5), Date::fromSeconds(105));
    timeline.policy = TimelineReloadPolicy::atEnd();
    EXPECT_EQ(nextTimelineRequest(timeline, answered, 5), Date::fromSeconds(400));
    timeline.entries.clear();
    EXPECT_EQ(nextTimelineRequest(timeline, answered, 5), Date::fromSeconds(105));
    timeline.policy = TimelineReloadPolicy::never();
    EXPECT_EQ(nextTimelineRequest(timeline, answered, 5), std::nullopt);
}

}  // namespace
}  // namespace widgethost
