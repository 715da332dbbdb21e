#pragma once

#include <cstddef>

#include "Host/KelvoApp/Ledger.hpp"
#include "Host/KelvoApp/Tracking.hpp"
#include "Platform/System/Calendar.hpp"
#include "Widget/Model/WidgetSnapshot.hpp"

namespace kelvo::app {

/// How many recent pairs the snapshot carries; the widget shows the first three.
inline constexpr std::size_t recentLimit = 5;

/// The link that opens the application on its timer.
inline constexpr const char* appDeepLink = "kelvo://timer";

/// The application's own English texts for the widget.
WidgetSnapshot::Strings englishStrings();

enum class Lifecycle { running, exiting };

/// The widget's view of the application's state at `now`. Today's total counts the finished entries
/// of the calendar day of `now`, cut off at its midnights; the running entry is left to the widget,
/// which counts it live. A logged-out user has no entries to show. `updatedAt` is left to the writer.
WidgetSnapshot makeSnapshot(const Ledger& ledger, const AccountState& account, Lifecycle lifecycle, Date now,
                            const platform::Calendar& calendar);

/// The first moment of the calendar day after the one that holds `date`.
Date startOfNextDay(const platform::Calendar& calendar, Date date);

}  // namespace kelvo::app
