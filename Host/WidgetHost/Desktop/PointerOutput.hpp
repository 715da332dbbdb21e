#pragma once

#include <optional>
#include <string>

#include "Host/WidgetHost/Desktop/DisplayChoice.hpp"

// Which output the user is looking at, for placing a new widget there.
namespace widgethost::desktop {

/// An output of the desktop: its size, and the name widget positions on it are kept under.
struct OutputGeometry {
    int width = 0;
    int height = 0;
    std::string name = {};
    bool primary = false;
};

/// The output under the pointer on GDK's default display; the primary (else the first) output
/// where the pointer's place is unknown, as on Wayland; nothing when there is no output.
std::optional<OutputGeometry> outputUnderPointer(DisplayKind kind);

}  // namespace widgethost::desktop
