#include "Host/WidgetHost/PressTarget.hpp"

#include <algorithm>
#include <cctype>

namespace widgethost {
namespace {

using platform::views::ButtonRegion;

std::string_view trimmed(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

const ButtonRegion* buttonNamed(const std::vector<ButtonRegion>& buttons, std::string_view label) {
    for (const auto& button : buttons)
        if (button.accessibilityLabel == label) return &button;
    auto wanted = trimmed(label);
    if (wanted.empty()) return nullptr;
    for (const auto& button : buttons)
        if (equalIgnoringCase(trimmed(button.accessibilityLabel), wanted)) return &button;
    return nullptr;
}

PressTarget pressOn(const ButtonRegion& button) {
    if (!button.enabled) return DisabledButton{button.accessibilityLabel};
    return RunIntent{button.intent, button.accessibilityLabel};
}

PressTarget pressAt(const platform::views::WidgetLayoutInfo& layout, double x, double y) {
    for (auto it = layout.buttons.rbegin(); it != layout.buttons.rend(); ++it)
        if (it->frame.contains(x, y)) return pressOn(*it);
    if (layout.widgetURL && isOpenableLink(*layout.widgetURL)) return OpenLink{*layout.widgetURL};
    return NoTarget{};
}

bool isOpenableLink(std::string_view url) {
    auto colon = url.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    if (!std::isalpha(static_cast<unsigned char>(url[0]))) return false;
    for (size_t i = 1; i < colon; ++i) {
        char c = url[i];
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '.' && c != '-') return false;
    }
    return std::none_of(url.begin(), url.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

}  // namespace widgethost
