#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "Widget/Timeline/TimerProvider.hpp"
#include "tests/Widget/support/TestContainer.hpp"

namespace kelvo {
namespace {

using nlohmann::json;
using platform::TimelineProviderContext;
using testing::minimalSnapshot;
using testing::TestContainer;

platform::Timeline<TimerEntry> timeline(const TimelineProviderContext& context = {}) {
    platform::Timeline<TimerEntry> result;
    int calls = 0;
    TimerProvider{}.getTimeline(context, [&](const auto& t) {
        result = t;
        ++calls;
    });
    EXPECT_EQ(calls, 1);
    return result;
}

TimerEntry snapshotEntry(bool preview) {
    TimerEntry result;
    TimerProvider{}.getSnapshot(TimelineProviderContext{.isPreview = preview}, [&](const auto& e) { result = e; });
    return result;
}

TEST(TimerProvider, TimelineIsNowAndTheNextMidnightWithOneSnapshot) {
    struct Row {
        const char* zone;
        double nowSeconds, midnightSeconds;
    };
    const Row rows[] = {
        {"Europe/Berlin", 1796738400, 1796770800},        // 15:00 -> 00:00 tomorrow
        {"Europe/Berlin", 1796684400, 1796770800},        // exactly midnight -> the next one
        {"Europe/Berlin", 1774785600, 1774821600},        // 2026-03-29 14:00, a 23-hour day -> 03-30 00:00
        {"America/Sao_Paulo", 1541289600, 1541300400},    // 2018-11-03 21:00 -> 11-04 01:00, the day's first moment
    };
    for (const auto& row : rows) {
        TestContainer container({.timeZone = row.zone, .nowMilliseconds = row.nowSeconds * 1000});
        container.writeState(minimalSnapshot().dump());
        auto t = timeline({.family = platform::WidgetFamily::systemMedium, .isPreview = true});
        ASSERT_EQ(t.entries.size(), 2u);
        EXPECT_EQ(t.entries[0].date.secondsSince1970(), row.nowSeconds) << row.zone;
        EXPECT_EQ(t.entries[1].date.secondsSince1970(), row.midnightSeconds) << row.zone << " " << row.nowSeconds;
        EXPECT_EQ(t.policy.kind, platform::TimelineReloadPolicy::Kind::after);
        EXPECT_EQ(t.policy.date, t.entries[1].date);
        ASSERT_TRUE(t.entries[0].snapshot && t.entries[1].snapshot);
        EXPECT_EQ(t.entries[1].snapshot->encode(), t.entries[0].snapshot->encode());
    }
}

TEST(TimerProvider, TimelineWithoutSnapshotStillHasTwoEntriesAndLeavesTheMarkerFirst) {
    TestContainer container;
    std::filesystem::create_directories(container.hostDirectory());
    auto t = timeline();
    ASSERT_EQ(t.entries.size(), 2u);
    EXPECT_FALSE(t.entries[0].snapshot);
    EXPECT_FALSE(t.entries[1].snapshot);
    EXPECT_TRUE(std::filesystem::exists(container.hostDirectory() / "active"));
}

TEST(TimerProvider, PlaceholderIsTheSampleAndTouchesNothing) {
    TestContainer container;
    auto entry = TimerProvider{}.placeholder({});
    EXPECT_EQ(entry.date, container.now());
    ASSERT_TRUE(entry.snapshot);
    EXPECT_EQ(entry.snapshot->running->name, "Design review");
    EXPECT_TRUE(std::filesystem::is_empty(container.root()));
}

TEST(TimerProvider, GallerySnapshotShowsLiveDataOnlyWhenTheWidgetCouldAct) {
    struct Row {
        const char* what;
        json change;  // merged into the stored snapshot; null: no snapshot at all
        bool applicationRunning;
        bool previewShowsSample;
    };
    const Row rows[] = {
        {"no snapshot", nullptr, true, true},
        {"fit snapshot", json::object(), true, false},
        {"stored appRunning false", {{"appRunning", false}}, true, true},
        {"application not running", json::object(), false, true},
        {"offline without canTrack", {{"offline", true}}, true, true},
        {"offline with canTrack", {{"offline", true}, {"canTrack", true}}, true, false},
        {"logged out", {{"loggedIn", false}}, true, true},
    };
    for (const auto& row : rows) {
        TestContainer container({.applicationRunning = row.applicationRunning});
        if (!row.change.is_null()) {
            json doc = minimalSnapshot();
            doc.merge_patch(row.change);
            container.writeState(doc.dump());
        }
        auto preview = snapshotEntry(true);
        auto live = snapshotEntry(false);
        EXPECT_EQ(preview.date, container.now());
        ASSERT_TRUE(preview.snapshot) << row.what;
        EXPECT_EQ(preview.snapshot->strings.today == "Today" && preview.snapshot->recent.size() == 3,
                  row.previewShowsSample)
            << row.what;
        // Outside a preview the entry carries exactly what was loaded.
        EXPECT_EQ(live.snapshot.has_value(), !row.change.is_null()) << row.what;
        if (live.snapshot) {
            EXPECT_EQ(live.snapshot->appRunning, row.applicationRunning && row.change.value("appRunning", true));
        }
        EXPECT_FALSE(std::filesystem::exists(container.hostDirectory() / "active")) << row.what;
    }
}

}  // namespace
}  // namespace kelvo
