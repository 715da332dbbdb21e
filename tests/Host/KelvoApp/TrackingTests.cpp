#include "Host/KelvoApp/Tracking.hpp"

#include <gtest/gtest.h>

#include "tests/Host/KelvoApp/TestDirectory.hpp"

namespace kelvo::app {
namespace {

constexpr double base = 1717970400;
Date at(double minutes) { return Date::fromSeconds(base + minutes * 60); }

class TrackingTests : public ::testing::Test {
protected:
    test::TestDirectory directory;
    Ledger ledger = Ledger::open(directory / "ledger.sqlite");
    AccountState account;

    Outcome run(WidgetCommand::Action action, double issuedMinutes, double nowMinutes,
                std::optional<std::string> name = std::nullopt, std::optional<std::string> project = std::nullopt) {
        return carryOut(ledger, WidgetCommand{action, std::move(name), std::move(project), at(issuedMinutes)}, account,
                        at(nowMinutes));
    }
};

TEST_F(TrackingTests, TheEffectiveMomentStaysBetweenTheLedgersLatestMomentAndNow) {
    struct Case {
        const char* what;
        double issued, now;
        double expected;
    };
    ledger.addFinished("Earlier", std::nullopt, at(0), at(30));
    const Case cases[] = {
        {"issued in between", 40, 60, 40},
        {"issued in the future", 90, 60, 60},
        {"issued before the latest end", 10, 60, 30},
        {"clock behind the ledger", 40, 20, 30},
    };
    for (const auto& c : cases) EXPECT_EQ(effectiveMoment(ledger, at(c.issued), at(c.now)), at(c.expected)) << c.what;
}

TEST_F(TrackingTests, StartBeginsAnEntryWithoutNameAfterStoppingTheRunningOne) {
    EXPECT_EQ(run(WidgetCommand::Action::startRecent, 10, 11, "Design review", "Website redesign"), Outcome::started);
    EXPECT_EQ(run(WidgetCommand::Action::start, 25, 26), Outcome::started);

    auto running = ledger.running();
    ASSERT_TRUE(running);
    EXPECT_FALSE(running->name);
    EXPECT_FALSE(running->project);
    EXPECT_EQ(running->start, at(25));
    EXPECT_DOUBLE_EQ(ledger.trackedSeconds(at(0), at(60)), 15 * 60);
}

TEST_F(TrackingTests, AStopIssuedBeforeTheStartCannotMakeANegativeEntry) {
    run(WidgetCommand::Action::start, 30, 31);
    EXPECT_EQ(run(WidgetCommand::Action::stop, 20, 32), Outcome::stopped);
    EXPECT_EQ(ledger.trackedSeconds(at(0), at(60)), 0);
    EXPECT_FALSE(ledger.running());
}

TEST_F(TrackingTests, StopWithNothingRunningChangesNothing) {
    EXPECT_EQ(run(WidgetCommand::Action::stop, 5, 6), Outcome::nothingToStop);
    EXPECT_TRUE(ledger.isEmpty());
}

TEST_F(TrackingTests, NoCommandIsCarriedOutWhileTrackingIsImpossible) {
    ledger.start("Running", std::nullopt, at(0));
    const std::pair<const char*, AccountState> states[] = {
        {"logged out", {.loggedIn = false}},
        {"offline", {.offline = true}},
        {"tracking disabled", {.trackingDisabled = true}},
    };
    for (const auto& [what, state] : states) {
        account = state;
        EXPECT_EQ(run(WidgetCommand::Action::stop, 10, 10), Outcome::refused) << what;
        EXPECT_EQ(run(WidgetCommand::Action::startRecent, 10, 10, "Other"), Outcome::refused) << what;
        auto running = ledger.running();
        ASSERT_TRUE(running) << what;
        EXPECT_EQ(running->name, "Running") << what;
    }
}

}  // namespace
}  // namespace kelvo::app
