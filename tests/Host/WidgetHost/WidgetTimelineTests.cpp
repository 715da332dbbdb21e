#include "Host/WidgetHost/WidgetTimeline.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace widgethost {
namespace {

using nlohmann::json;
using platform::Date;
using platform::TimelineReloadPolicy;

std::vector<TimelineEntry> entriesAt(std::initializer_list<double> milliseconds) {
    std::vector<TimelineEntry> entries;
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
    WidgetTimeline timeline{entriesAt({50'000, 400'000}), TimelineReloadPolicy::after(Date::fromSeconds(300))};
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

TEST(WidgetTimeline, DecodesATimelineAndSortsItsEntries) {
    auto result = json::parse(R"({"entries": [
        {"date": 2000.5, "content": {"a": 1}, "view": {"type": "text"}},
        {"date": 1000, "content": null, "view": null}],
        "policy": {"kind": "after", "date": 86400000}})");
    std::string why;
    auto timeline = decodeTimeline(result, &why);
    ASSERT_TRUE(timeline) << why;
    ASSERT_EQ(timeline->entries.size(), 2u);
    EXPECT_EQ(timeline->entries[0].date, Date::fromMilliseconds(1000));
    EXPECT_FALSE(timeline->entries[0].view);
    EXPECT_FALSE(timeline->entries[0].content);
    EXPECT_EQ(timeline->entries[1].date, Date::fromMilliseconds(2000.5));
    ASSERT_TRUE(timeline->entries[1].view);
    EXPECT_EQ((*timeline->entries[1].content)["a"], 1);
    EXPECT_EQ(timeline->policy.kind, TimelineReloadPolicy::Kind::after);
    EXPECT_EQ(timeline->policy.date, Date::fromMilliseconds(86400000));
}

TEST(WidgetTimeline, MalformedTimelinesAreRefusedWithAReason) {
    const char* cases[] = {
        R"([])",
        R"({"policy": {"kind": "never"}})",
        R"({"entries": {}, "policy": {"kind": "never"}})",
        R"({"entries": []})",
        R"({"entries": [], "policy": {"kind": "sometimes"}})",
        R"({"entries": [], "policy": {"kind": "after"}})",
        R"({"entries": [], "policy": {"kind": "after", "date": "tomorrow"}})",
        R"({"entries": [{"content": null}], "policy": {"kind": "never"}})",
        R"({"entries": [{"date": "1000"}], "policy": {"kind": "never"}})",
        R"({"entries": [{"date": 1000, "view": "text"}], "policy": {"kind": "never"}})",
        R"({"entries": [{"date": true}], "policy": {"kind": "never"}})",
    };
    for (const char* text : cases) {
        std::string why;
        EXPECT_FALSE(decodeTimeline(json::parse(text), &why)) << text;
        EXPECT_FALSE(why.empty()) << text;
    }
}

TEST(WidgetTimeline, TooManyEntriesAreRefused) {
    json entries = json::array();
    for (size_t i = 0; i <= maxTimelineEntries; ++i) entries.push_back({{"date", i}});
    EXPECT_FALSE(decodeTimeline({{"entries", entries}, {"policy", {{"kind", "never"}}}}));
    entries.erase(entries.begin());
    EXPECT_TRUE(decodeTimeline({{"entries", entries}, {"policy", {{"kind", "never"}}}}));
}

TEST(WidgetTimeline, DescriptionKeepsKnownFamiliesInOrder) {
    auto description = decodeDescription(json::parse(R"({"bundleIdentifier": "com.example.widget", "widgets": [
        {"kind": "Clock", "displayName": "Clock", "supportedFamilies": ["systemMedium", "systemExtraLarge", 3, "systemSmall"]},
        {"kind": "Notes"}]})"));
    ASSERT_TRUE(description);
    EXPECT_EQ(description->bundleIdentifier, "com.example.widget");
    ASSERT_EQ(description->widgets.size(), 2u);
    const auto* clock = description->find("Clock");
    ASSERT_TRUE(clock);
    EXPECT_EQ(clock->supportedFamilies,
              (std::vector{platform::WidgetFamily::systemMedium, platform::WidgetFamily::systemSmall}));
    EXPECT_EQ(description->find("Notes")->displayName, "Notes");
    EXPECT_TRUE(description->find("Notes")->supportedFamilies.empty());
    EXPECT_FALSE(description->find("clock"));
}

TEST(WidgetTimeline, DescriptionsWithoutKindsAreRefused) {
    for (const char* text : {R"({})", R"({"widgets": [{"kind": ""}]})", R"({"widgets": [{}]})", R"({"widgets": [1]})"})
        EXPECT_FALSE(decodeDescription(json::parse(text))) << text;
}

}  // namespace
}  // namespace widgethost
