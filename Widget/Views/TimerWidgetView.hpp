#pragma once

#include <optional>
#include <string>

#include "Platform/Views/View.hpp"
#include "Platform/Widgets/WidgetFamily.hpp"
#include "Widget/Timeline/TimerEntry.hpp"

namespace kelvo {

/// The link the widget opens when it has none of its own: the bundle's "KelvoWidgetDeepLink",
/// when that is a string that parses as a URL. Read once per process.
std::optional<std::string> fallbackWidgetDeepLink();

/// The view of one timeline entry: the timer layouts while the application runs with a user
/// logged in, a message otherwise; with the widget's link and background.
struct TimerWidgetView {
    TimerEntry entry;

    platform::views::View body(const platform::WidgetEnvironment& environment) const;

    /// The state-selected layout, without link and background.
    platform::views::View content(const platform::WidgetEnvironment& environment) const;
    /// What the message layout says when the timer layouts cannot be shown.
    std::string message() const;
    /// The snapshot's own link when it parses, else the fallback.
    std::optional<std::string> widgetURL() const;
};

}  // namespace kelvo
