#include "Host/KelvoApp/AppSnapshot.hpp"

#include <gtest/gtest.h>

#include "tests/Host/KelvoApp/TestDirectory.hpp"

namespace kelvo::app {
namespace {

constexpr double berlinMidnight = 1717970400;  // 2024-06-10 00:00 in Europe/Berlin
Date at(double hours) { return Date::fromSeconds(berlinMidnight + hours * 3600); }

class AppSnapshotTests : public ::testing::Test {
protected:
    test::TestDirectory directory;
    Ledger ledger = Ledger::open(directory / "ledger.sqlite");
    AccountState account;
    platform::Calendar berlin = *platform::Calendar::named("Europe/Berlin");

    WidgetSnapshot make(Date now, Lifecycle lifecycle = Lifecycle::running) {
        return makeSnapshot(ledger, account, lifecycle, now, berlin);
    }
};

TEST_F(AppSnapshotTests, TodayIsTheFinishedTimeOfTheLocalDayCutAtItsMidnights) {
    ledger.addFinished("Late night", std::nullopt, at(-1), at(1));  // one hour counts today
    ledger.addFinished("Morning", "Website redesign", at(9), at(10.5));
    ledger.addFinished("Yesterday", std::nullopt, at(-5), at(-3));
    ledger.start("Now", std::nullopt, at(14));  // the widget counts the running entry itself

    auto snapshot = make(at(15));
    ASSERT_TRUE(snapshot.today);
    EXPECT_EQ(snapshot.today->dayStart, at(0));
    EXPECT_DOUBLE_EQ(snapshot.today->baseSeconds, 2.5 * 3600);
    ASSERT_TRUE(snapshot.running);
    EXPECT_EQ(snapshot.running->name, "Now");
    EXPECT_EQ(snapshot.running->startTime, at(14));

    // Just after the next midnight the same ledger gives the new day nothing yet.
    auto tomorrow = make(at(24.01));
    EXPECT_EQ(tomorrow.today->dayStart, at(24));
    EXPECT_EQ(tomorrow.today->baseSeconds, 0);
}

TEST_F(AppSnapshotTests, TheNextDayStartsRightOnShortAndLateStartingDays) {
    struct Case {
        const char* zone;
        double moment, expected;  // seconds since 1970
    };
    const Case cases[] = {
        {"Europe/Berlin", 1711839600 + 12 * 3600, 1711922400},      // 2024-03-31 has 23 hours
        {"America/Sao_Paulo", 1541214000 + 12 * 3600, 1541300400},  // 2018-11-04 starts at 01:00
        {"America/Sao_Paulo", 1541300400 + 3600, 1541383200},       // and lasts 23 hours
    };
    for (const auto& c : cases) {
        auto calendar = platform::Calendar::named(c.zone);
        ASSERT_TRUE(calendar) << c.zone;
        EXPECT_EQ(startOfNextDay(*calendar, Date::fromSeconds(c.moment)), Date::fromSeconds(c.expected)) << c.zone;
    }
}

TEST_F(AppSnapshotTests, RecentEntriesCarryTheLedgersStableIds) {
    auto first = ledger.addFinished("Weekly sync", std::nullopt, at(8), at(9));
    ledger.addFinished("Design review", "Website redesign", at(9), at(10));
    ledger.addFinished("Weekly sync", std::nullopt, at(10), at(11));

    auto snapshot = make(at(12));
    ASSERT_EQ(snapshot.recent.size(), 2u);
    EXPECT_EQ(snapshot.recent[0].id, std::to_string(first.id));
    EXPECT_EQ(snapshot.recent[0].name, "Weekly sync");
    EXPECT_EQ(snapshot.recent[1].project, "Website redesign");
}

TEST_F(AppSnapshotTests, FlagsFollowTheAccountAndTheLifecycle) {
    ledger.addFinished("Morning", std::nullopt, at(9), at(10));
    ledger.start("Now", std::nullopt, at(11));

    auto normal = make(at(12));
    EXPECT_TRUE(normal.appRunning);
    EXPECT_TRUE(normal.loggedIn);
    EXPECT_FALSE(normal.offline);
    EXPECT_EQ(normal.canTrack, true);
    EXPECT_TRUE(normal.actionsEnabled());

    account.offline = true;
    auto offline = make(at(12));
    EXPECT_TRUE(offline.offline);
    EXPECT_EQ(offline.canTrack, false);
    EXPECT_FALSE(offline.actionsEnabled());
    EXPECT_TRUE(offline.running);

    account = {.loggedIn = false};
    auto loggedOut = make(at(12));
    EXPECT_FALSE(loggedOut.loggedIn);
    EXPECT_FALSE(loggedOut.running);
    EXPECT_FALSE(loggedOut.today);
    EXPECT_TRUE(loggedOut.recent.empty());

    account = {};
    auto exiting = make(at(12), Lifecycle::exiting);
    EXPECT_FALSE(exiting.appRunning);
    EXPECT_TRUE(exiting.running);  // the entry keeps running while the application is away
}

TEST_F(AppSnapshotTests, TheDocumentReadsBackAsTheWidgetReadsIt) {
    ledger.addFinished("Design review", "Website redesign", at(9), at(10));
    ledger.start(std::nullopt, std::nullopt, at(11));
    auto snapshot = make(at(12));

    auto decoded = WidgetSnapshot::decode(snapshot.encode());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->strings.openApp, "Open Kelvo to see your timer");
    EXPECT_EQ(decoded->deepLink, appDeepLink);
    ASSERT_TRUE(decoded->running);
    EXPECT_FALSE(decoded->running->name);
    EXPECT_EQ(decoded->recent.size(), 1u);
}

}  // namespace
}  // namespace kelvo::app
