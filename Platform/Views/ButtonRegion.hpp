#pragma once

#include <string>

#include "Platform/Intents/Intent.hpp"
#include "Platform/Views/Geometry.hpp"

namespace platform::views {

/// A button as laid out: where it is, what a press runs, and what a screen reader calls it.
struct ButtonRegion {
    Rect frame;
    IntentValue intent;
    bool enabled = true;  // the button's own flag AND every flag around it
    bool accessibilityHidden = false;
    std::string accessibilityLabel;  // its accessibility label, else the texts of its label joined by spaces
};

}  // namespace platform::views
