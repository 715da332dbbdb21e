#include "Host/KelvoApp/AppSnapshot.hpp"

namespace kelvo::app {

WidgetSnapshot::Strings englishStrings() {
    return {
        .startTracking = "Start tracking",
        .stopTracking = "Stop tracking",
        .today = "Today",
        .recent = "Recent",
        .noRecent = "Your recent tracking shows up here",
        .notTracking = "Not tracking",
        .noDescription = "No description",
        .openApp = "Open Kelvo to see your timer",
        .loggedOut = "Log in to Kelvo to start tracking",
        .offline = "Offline",
    };
}

Date startOfNextDay(const platform::Calendar& calendar, Date date) {
    Date dayStart = calendar.startOfDay(date);
    // Adding a day to the day's start and taking that day's start again is right also when either
    // day begins later than midnight.
    if (auto later = calendar.dateByAddingDays(1, dayStart)) {
        Date next = calendar.startOfDay(*later);
        if (next > dayStart) return next;
    }
    return dayStart.addingSeconds(86400);
}

WidgetSnapshot makeSnapshot(const Ledger& ledger, const AccountState& account, Lifecycle lifecycle, Date now,
                            const platform::Calendar& calendar) {
    WidgetSnapshot snapshot;
    snapshot.updatedAt = now;
    snapshot.appRunning = lifecycle == Lifecycle::running;
    snapshot.loggedIn = account.loggedIn;
    snapshot.offline = account.offline;
    snapshot.canTrack = account.canTrack();
    snapshot.deepLink = appDeepLink;
    snapshot.strings = englishStrings();
    if (!account.loggedIn) return snapshot;

    if (auto entry = ledger.running()) snapshot.running = WidgetSnapshot::RunningEntry{entry->name, entry->project, entry->start};

    Date dayStart = calendar.startOfDay(now);
    snapshot.today = WidgetSnapshot::TodayTotal{dayStart, ledger.trackedSeconds(dayStart, startOfNextDay(calendar, now))};

    for (auto& work : ledger.recent(recentLimit))
        snapshot.recent.push_back({std::move(work.id), std::move(work.name), std::move(work.project)});
    return snapshot;
}

}  // namespace kelvo::app
