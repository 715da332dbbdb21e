#include <gtest/gtest.h>

#include "Widget/Model/WidgetSnapshot.hpp"
#include "tests/Widget/support/TestContainer.hpp"

namespace kelvo {
namespace {

// Berlin local wall times in December 2026 (UTC+1), as dates.
Date berlin(int day, int hour, int minute = 0) {
    double seconds = 1796684400.0 /* 2026-12-08 00:00 */ + (day - 8) * 86400.0 + hour * 3600.0 + minute * 60.0;
    return Date::fromSeconds(seconds);
}

WidgetSnapshot withToday(Date dayStart, double base) {
    WidgetSnapshot s;
    s.today = WidgetSnapshot::TodayTotal{dayStart, base};
    return s;
}

TEST(TodayTotal, BaseSecondsCountOnlyOnTheirOwnDay) {
    testing::TestContainer container;
    struct Row {
        Date dayStart, moment;
        double expected;
    };
    const Row rows[] = {
        {berlin(8, 0), berlin(8, 23, 59), 5400},  // late the same day
        {berlin(8, 0), berlin(9, 0), 0},          // the next midnight
        {berlin(8, 13, 45), berlin(8, 8), 5400},  // only the calendar day matters
        {berlin(9, 0), berlin(8, 12), 0},         // stored for a later day
        {berlin(7, 0), berlin(8, 12), 0},         // stored for yesterday
    };
    for (const auto& row : rows)
        EXPECT_EQ(withToday(row.dayStart, 5400).todayBaseSeconds(row.moment), row.expected)
            << row.dayStart.secondsSince1970() << " " << row.moment.secondsSince1970();
    EXPECT_EQ(WidgetSnapshot{}.todayBaseSeconds(berlin(8, 12)), 0);
}

TEST(TodayTotal, CountingReferenceAddsTheRunningShareOfTheDay) {
    testing::TestContainer container;
    struct Row {
        const char* what;
        Date start;
        std::optional<WidgetSnapshot::TodayTotal> today;
        Date moment;
        Date expected;
    };
    const Row rows[] = {
        {"started today with a base", berlin(8, 9), WidgetSnapshot::TodayTotal{berlin(8, 0), 3600}, berlin(8, 15),
         berlin(8, 8)},
        {"started yesterday, counts from midnight", berlin(7, 22), std::nullopt, berlin(8, 1), berlin(8, 0)},
        {"base of yesterday counts as nothing", berlin(8, 9), WidgetSnapshot::TodayTotal{berlin(7, 0), 3600},
         berlin(8, 15), berlin(8, 9)},
        {"started exactly at the day start", berlin(8, 0), WidgetSnapshot::TodayTotal{berlin(8, 0), 600}, berlin(8, 5),
         berlin(8, 0).addingSeconds(-600)},
    };
    for (const auto& row : rows) {
        WidgetSnapshot s;
        s.running = WidgetSnapshot::RunningEntry{std::nullopt, std::nullopt, row.start};
        s.today = row.today;
        auto reference = s.todayCountingReference(row.moment);
        ASSERT_TRUE(reference) << row.what;
        EXPECT_EQ(reference->secondsSince1970(), row.expected.secondsSince1970()) << row.what;
    }
    // 09:00 start, 3600 s stored, seen at 15:00: a timer from the reference shows 7 hours.
    WidgetSnapshot s;
    s.running = WidgetSnapshot::RunningEntry{std::nullopt, std::nullopt, berlin(8, 9)};
    s.today = WidgetSnapshot::TodayTotal{berlin(8, 0), 3600};
    EXPECT_EQ(berlin(8, 15).secondsSince(*s.todayCountingReference(berlin(8, 15))), 7 * 3600);
}

TEST(TodayTotal, NoReferenceWithoutARunningEntry) {
    testing::TestContainer container;
    EXPECT_FALSE(withToday(berlin(8, 0), 100).todayCountingReference(berlin(8, 12)));
}

TEST(TodayTotal, MidnightOnAShortDayFollowsTheZone) {
    testing::TestContainer container({.timeZone = "America/Sao_Paulo"});
    // 2018-11-04 has no midnight in Sao Paulo; its first moment is 01:00 (03:00 UTC).
    Date firstMoment = Date::fromSeconds(1541300400);
    WidgetSnapshot s;
    s.running = WidgetSnapshot::RunningEntry{std::nullopt, std::nullopt, Date::fromSeconds(1541300400 - 7200)};
    EXPECT_EQ(s.todayCountingReference(firstMoment.addingSeconds(3600))->secondsSince1970(),
              firstMoment.secondsSince1970());
}

}  // namespace
}  // namespace kelvo
