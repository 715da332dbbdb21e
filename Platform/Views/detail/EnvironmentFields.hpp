#pragma once

#include <string_view>

#include "Platform/Views/View.hpp"

namespace platform::views::detail {

/// How a value set by an inner modifier combines with the same value set further out.
enum class Merge {
    innerWins,  // the modifier closer to the content decides
    sticky,     // once true anywhere around, true inside (disabling, hiding)
};

/// Calls `visit(key, member, merge)` for every environment value, with its key in the view tree's
/// JSON; merging, reading and writing walk this one list.
template <class Visit>
void forEachEnvironmentField(Visit&& visit) {
    visit("font", &EnvironmentValues::font, Merge::innerWins);
    visit("monospacedDigit", &EnvironmentValues::monospacedDigit, Merge::sticky);
    visit("foregroundStyle", &EnvironmentValues::foregroundStyle, Merge::innerWins);
    visit("lineLimit", &EnvironmentValues::lineLimit, Merge::innerWins);
    visit("minimumScaleFactor", &EnvironmentValues::minimumScaleFactor, Merge::innerWins);
    visit("multilineTextAlignment", &EnvironmentValues::multilineTextAlignment, Merge::innerWins);
    visit("disabled", &EnvironmentValues::disabled, Merge::sticky);
    visit("buttonStyle", &EnvironmentValues::buttonStyle, Merge::innerWins);
    visit("widgetAccentable", &EnvironmentValues::widgetAccentable, Merge::innerWins);
    visit("accessibilityHidden", &EnvironmentValues::accessibilityHidden, Merge::sticky);
}

/// Whether `key` names an environment value in the view tree's JSON.
inline bool isEnvironmentKey(std::string_view key) {
    bool found = false;
    forEachEnvironmentField([&](const char* k, auto, Merge) { found = found || key == k; });
    return found;
}

}  // namespace platform::views::detail
