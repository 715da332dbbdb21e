#include "Host/KelvoApp/DemoLedger.hpp"

#include <gtest/gtest.h>

#include "tests/Host/KelvoApp/TestDirectory.hpp"

namespace kelvo::app {
namespace {

constexpr double midnight = 1717970400;
Date at(double hours) { return Date::fromSeconds(midnight + hours * 3600); }

TEST(DemoLedgerTests, SeedsAFewHoursOfTodayAndThreeDistinctRecentPairs) {
    test::TestDirectory directory;
    auto ledger = Ledger::open(directory / "ledger.sqlite");
    ASSERT_TRUE(seedDemoLedger(ledger, at(15)));

    double today = ledger.trackedSeconds(at(0), at(24));
    EXPECT_GE(today, 2 * 3600);
    EXPECT_LE(today, 5 * 3600);
    EXPECT_FALSE(ledger.running());
    EXPECT_LE(*ledger.latestMoment(), at(15));

    auto recent = ledger.recent(5);
    ASSERT_EQ(recent.size(), 3u);
    EXPECT_EQ(recent[0].name, "Design review");
    EXPECT_EQ(recent[0].project, "Website redesign");
    EXPECT_EQ(recent[1].name, "Sprint planning");
    EXPECT_EQ(recent[1].project, "Mobile app");
    EXPECT_EQ(recent[2].name, "Weekly sync");
    EXPECT_FALSE(recent[2].project);
}

TEST(DemoLedgerTests, LeavesALedgerWithEntriesAlone) {
    test::TestDirectory directory;
    auto ledger = Ledger::open(directory / "ledger.sqlite");
    ledger.start("Mine", std::nullopt, at(9));
    EXPECT_FALSE(seedDemoLedger(ledger, at(15)));
    EXPECT_TRUE(ledger.recent(5).empty());

    ledger.stop(at(10));
    EXPECT_FALSE(seedDemoLedger(ledger, at(15)));
    EXPECT_EQ(ledger.recent(5).size(), 1u);
}

}  // namespace
}  // namespace kelvo::app
