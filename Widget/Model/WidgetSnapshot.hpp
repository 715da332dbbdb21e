#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/System/Date.hpp"

namespace kelvo {

using platform::Date;

/// Everything the widget shows, as the Kelvo application last wrote it to "state.json".
struct WidgetSnapshot {
    struct RunningEntry {
        std::optional<std::string> name;
        std::optional<std::string> project;
        Date startTime;
    };

    struct TodayTotal {
        Date dayStart;  // any moment of the day that baseSeconds belongs to
        double baseSeconds = 0;
    };

    struct RecentEntry {
        std::string id;
        std::string name;
        std::optional<std::string> project;
    };

    /// The ten texts the widget shows, already translated by the application.
    struct Strings {
        std::string startTracking;
        std::string stopTracking;
        std::string today;
        std::string recent;
        std::string noRecent;
        std::string notTracking;
        std::string noDescription;
        std::string openApp;
        std::string loggedOut;
        std::string offline;

        /// The widget's own texts for the user's language, looked up afresh at each call.
        static Strings localized();
    };

    Date updatedAt;
    bool appRunning = false;
    bool loggedIn = false;
    bool offline = false;
    std::optional<bool> canTrack;
    std::optional<std::string> deepLink;
    std::optional<RunningEntry> running;
    std::optional<TodayTotal> today;
    std::vector<RecentEntry> recent;
    Strings strings;

    /// Starting and stopping are possible: the application runs, a user is logged in, and it can
    /// track now (`canTrack`, or not `offline` when the application did not say).
    bool actionsEnabled() const;

    /// The seconds tracked on the calendar day of `date`, without the running entry.
    double todayBaseSeconds(Date on) const;
    /// The moment from which a live timer counting up shows today's total including the running
    /// entry's share of the day; nothing when no entry runs.
    std::optional<Date> todayCountingReference(Date on) const;

    /// Made-up but plausible data for the gallery and placeholders, built for the current moment.
    static WidgetSnapshot preview();

    /// Strict reading of a snapshot document: any missing, null or mistyped required value, any
    /// mistyped optional value, or bytes that are not one UTF-8 JSON object give nothing.
    static std::optional<WidgetSnapshot> decode(const std::string& document);
    /// The snapshot document; `decode` reads it back to an equal value.
    std::string encode() const;
};

}  // namespace kelvo
