#pragma once

#include <string_view>

#include "Platform/Views/Font.hpp"
#include "Platform/Views/Geometry.hpp"

// The system symbols the platform draws itself. Their size follows the font they are shown in.
namespace platform::views {

/// True for "play.fill", "stop.fill", "wifi.slash" and "power".
bool isKnownSymbol(std::string_view name);

/// The box a symbol takes at a font: one font size high, its width by the symbol's proportions.
/// Unknown names take a square box and draw nothing.
Size symbolSize(std::string_view name, const Font& font);

/// The gap between a label's symbol and its title.
double labelSpacing(const Font& font);

}  // namespace platform::views
