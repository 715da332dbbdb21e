#include "Host/KelvoApp/Ledger.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/Host/KelvoApp/TestDirectory.hpp"

namespace kelvo::app {
namespace {

// 2024-06-10 00:00 in Europe/Berlin; the ledger itself knows no zones, it only clips at given bounds.
constexpr double midnight = 1717970400;
Date at(double hoursAfterMidnight) { return Date::fromSeconds(midnight + hoursAfterMidnight * 3600); }

class LedgerTests : public ::testing::Test {
protected:
    test::TestDirectory directory;
    Ledger ledger = Ledger::open(directory / "ledger.sqlite");
};

TEST_F(LedgerTests, StartStopsTheRunningEntryAtTheSameMoment) {
    auto first = ledger.start("Design review", "Website redesign", at(9));
    auto second = ledger.start(std::nullopt, std::nullopt, at(10.5));

    auto running = ledger.running();
    ASSERT_TRUE(running);
    EXPECT_EQ(running->id, second.id);
    EXPECT_FALSE(running->name);
    EXPECT_EQ(running->start, at(10.5));
    // The first entry ended where the second began: 1.5 hours tracked.
    EXPECT_DOUBLE_EQ(ledger.trackedSeconds(at(0), at(24)), 1.5 * 3600);
    EXPECT_NE(first.id, second.id);
}

TEST_F(LedgerTests, StopEndsTheRunningEntryAndIsHarmlessWhenNothingRuns) {
    EXPECT_FALSE(ledger.stop(at(8)));
    ledger.start("Weekly sync", std::nullopt, at(9));
    auto stopped = ledger.stop(at(9.25));
    ASSERT_TRUE(stopped);
    EXPECT_EQ(stopped->end, at(9.25));
    EXPECT_FALSE(ledger.running());
    EXPECT_FALSE(ledger.stop(at(10)));
}

TEST_F(LedgerTests, AnEntryNeverEndsBeforeItStarts) {
    ledger.start("Late", std::nullopt, at(12));
    auto stopped = ledger.stop(at(11));
    ASSERT_TRUE(stopped);
    EXPECT_EQ(stopped->end, at(12));
    EXPECT_EQ(ledger.trackedSeconds(at(0), at(24)), 0);
}

TEST_F(LedgerTests, EmptyNamesAndProjectsAreStoredAsNone) {
    ledger.start("", "", at(9));
    auto running = ledger.running();
    ASSERT_TRUE(running);
    EXPECT_FALSE(running->name);
    EXPECT_FALSE(running->project);
}

TEST_F(LedgerTests, TrackedSecondsCountOnlyTheFinishedPartsWithinTheBounds) {
    struct Case {
        const char* what;
        double start, end;  // hours after midnight
        double expectedSeconds;
    };
    const Case cases[] = {
        {"inside the day", 9, 10.5, 1.5 * 3600},
        {"started yesterday", -2, 1, 3600},
        {"ends tomorrow", 23, 26, 3600},
        {"spans the whole day", -1, 25, 24 * 3600},
        {"yesterday only", -5, -1, 0},
        {"tomorrow only", 24, 25, 0},
        {"ends exactly at midnight", -1, 0, 0},
        {"fraction of a millisecond", 9, 9 + 0.0005 / 3600, 0.0005},
    };
    for (const auto& c : cases) {
        test::TestDirectory own;
        auto fresh = Ledger::open(own / "ledger.sqlite");
        fresh.addFinished("Work", std::nullopt, at(c.start), at(c.end));
        EXPECT_NEAR(fresh.trackedSeconds(at(0), at(24)), c.expectedSeconds, 1e-6) << c.what;
    }
}

TEST_F(LedgerTests, TrackedSecondsLeaveTheRunningEntryOut) {
    ledger.addFinished("Done", std::nullopt, at(8), at(9));
    ledger.start("Still going", std::nullopt, at(10));
    EXPECT_DOUBLE_EQ(ledger.trackedSeconds(at(0), at(24)), 3600);
}

TEST_F(LedgerTests, RecentIsDistinctNewestFirstWithIdsThatStay) {
    auto sync = ledger.addFinished("Weekly sync", std::nullopt, at(8), at(8.5));
    auto planning = ledger.addFinished("Sprint planning", "Mobile app", at(9), at(10));
    ledger.addFinished("Sprint planning", "Website redesign", at(10), at(11));  // same name, other project
    ledger.addFinished(std::nullopt, "Mobile app", at(11), at(11.5));            // no name: not offered
    ledger.addFinished("   ", std::nullopt, at(11.5), at(11.6));                 // blank name: not offered
    ledger.addFinished("Weekly sync", std::nullopt, at(12), at(12.5));           // tracked again
    ledger.addFinished("Sprint planning", "Mobile app", at(13), at(14));         // tracked again
    ledger.start("Running only", std::nullopt, at(15));                          // not finished: not offered

    auto list = ledger.recent(10);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].name, "Sprint planning");
    EXPECT_EQ(list[0].project, "Mobile app");
    EXPECT_EQ(list[0].id, std::to_string(planning.id));
    EXPECT_EQ(list[1].name, "Weekly sync");
    EXPECT_FALSE(list[1].project);
    EXPECT_EQ(list[1].id, std::to_string(sync.id));
    EXPECT_EQ(list[2].project, "Website redesign");

    EXPECT_EQ(ledger.recent(2).size(), 2u);
}

TEST_F(LedgerTests, EverythingSurvivesReopening) {
    ledger.addFinished("Design review", "Website redesign", at(8), at(9));
    ledger.start("Sprint planning", "Mobile app", at(10));
    EXPECT_TRUE(ledger.claim("A.json", at(10)));
    EXPECT_FALSE(ledger.claim("A.json", at(11)));
    auto file = ledger.file();
    ledger = Ledger::open(directory / "other.sqlite");  // let go of the first file

    auto reopened = Ledger::open(file);
    auto running = reopened.running();
    ASSERT_TRUE(running);
    EXPECT_EQ(running->name, "Sprint planning");
    EXPECT_EQ(running->start, at(10));
    EXPECT_DOUBLE_EQ(reopened.trackedSeconds(at(0), at(24)), 3600);
    EXPECT_EQ(reopened.recent(5).size(), 1u);
    EXPECT_TRUE(reopened.hasReceipt("A.json"));
    EXPECT_EQ(reopened.latestMoment(), at(10));
}

TEST_F(LedgerTests, AFailedTransactionLeavesNoTrace) {
    ledger.start("Before", std::nullopt, at(9));
    EXPECT_THROW(ledger.transaction([&] {
        ledger.claim("B.json", at(10));
        ledger.start("During", std::nullopt, at(10));
        throw std::runtime_error("interrupted");
    }),
                 std::runtime_error);
    EXPECT_FALSE(ledger.hasReceipt("B.json"));
    auto running = ledger.running();
    ASSERT_TRUE(running);
    EXPECT_EQ(running->name, "Before");
    EXPECT_EQ(ledger.trackedSeconds(at(0), at(24)), 0);
}

TEST_F(LedgerTests, OpeningAnUnusableFileThrows) {
    EXPECT_THROW(Ledger::open(directory / "missing-directory" / "ledger.sqlite"), std::exception);
    std::filesystem::create_directory(directory / "a-directory");
    EXPECT_THROW(Ledger::open(directory / "a-directory"), std::exception);
}

}  // namespace
}  // namespace kelvo::app
