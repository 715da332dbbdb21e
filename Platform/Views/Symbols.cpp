#include "Platform/Views/Symbols.hpp"

namespace platform::views {
namespace {

double widthInEm(std::string_view name) {
    if (name == "play.fill") return 0.8;
    if (name == "stop.fill") return 0.85;
    if (name == "wifi.slash") return 1.2;
    if (name == "power") return 1.0;
    return 1.0;
}

}  // namespace

bool isKnownSymbol(std::string_view name) {
    return name == "play.fill" || name == "stop.fill" || name == "wifi.slash" || name == "power";
}

Size symbolSize(std::string_view name, const Font& font) { return {widthInEm(name) * font.size, font.size}; }

double labelSpacing(const Font& font) { return font.size * 0.35; }

}  // namespace platform::views
