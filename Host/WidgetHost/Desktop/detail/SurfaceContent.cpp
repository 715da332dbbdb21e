#include "Host/WidgetHost/Desktop/detail/SurfaceContent.hpp"

#include <algorithm>
#include <cmath>

namespace widgethost::desktop::detail {

std::vector<AccessibleButton> accessibleButtons(const std::vector<platform::views::ButtonRegion>& buttons) {
    std::vector<AccessibleButton> out;
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const auto& button = buttons[i];
        if (button.accessibilityHidden || !(button.frame.width > 0) || !(button.frame.height > 0)) continue;
        out.push_back({i, button.accessibilityLabel, button.enabled, button.frame});
    }
    return out;
}

std::string accessibleText(const std::vector<std::string>& texts) {
    std::string out;
    for (const auto& text : texts) {
        if (std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t' || c == '\n'; })) continue;
        if (!out.empty()) out += '\n';
        out += text;
    }
    return out;
}

unsigned millisecondsToNextSecond(platform::Date now) {
    double ms = now.millisecondsSince1970;
    double intoSecond = ms - std::floor(ms / 1000) * 1000;
    // A little after the turn, so that the text laid out then already shows the new second.
    return static_cast<unsigned>(std::ceil(1000 - intoSecond)) + 5;
}

std::size_t buttonAt(const std::vector<platform::views::ButtonRegion>& buttons, double x, double y) {
    for (std::size_t i = buttons.size(); i-- > 0;)
        if (buttons[i].frame.contains(x, y)) return i;
    return buttons.size();
}

platform::views::RGBA pressedShade(platform::views::Appearance appearance) {
    if (appearance == platform::views::Appearance::dark) return {1, 1, 1, 0.16};
    return {0, 0, 0, 0.14};
}

double pressedShadeRadius(const platform::views::Rect& frame) {
    return std::max(0.0, std::min(frame.width, frame.height) / 2);
}

}  // namespace widgethost::desktop::detail
