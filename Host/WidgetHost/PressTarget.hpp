#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "Platform/Intents/Intent.hpp"
#include "Platform/Views/WidgetRenderer.hpp"

// What a press on a drawn widget means: run a button's intent, nothing (a disabled button), or
// open the widget's link.
namespace widgethost {

struct RunIntent {
    platform::IntentValue intent;
    std::string label;
};
struct DisabledButton {
    std::string label;
};
struct OpenLink {
    std::string url;
};
struct NoTarget {};

using PressTarget = std::variant<RunIntent, DisabledButton, OpenLink, NoTarget>;

/// The button a screen reader or `widgetctl` names: its accessibility label (or title) equal to
/// `label`; failing that, equal ignoring case and surrounding blanks. The first in tree order wins.
const platform::views::ButtonRegion* buttonNamed(const std::vector<platform::views::ButtonRegion>& buttons,
                                                 std::string_view label);

/// What a press at a point (in points, widget coordinates) hits. Buttons drawn later lie on top.
PressTarget pressAt(const platform::views::WidgetLayoutInfo& layout, double x, double y);

/// What a press on a button means.
PressTarget pressOn(const platform::views::ButtonRegion& button);

/// Whether a link may be handed to the desktop's URL opener: a scheme, no leading "-" that the
/// opener could take for an option, no control characters.
bool isOpenableLink(std::string_view url);

}  // namespace widgethost
