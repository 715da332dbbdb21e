#include "Platform/Views/Font.hpp"

#include <cstdio>

namespace platform::views {

int numericWeight(FontWeight weight) {
    switch (weight) {
    case FontWeight::ultraLight: return 100;
    case FontWeight::thin: return 200;
    case FontWeight::light: return 300;
    case FontWeight::regular: return 400;
    case FontWeight::medium: return 500;
    case FontWeight::semibold: return 600;
    case FontWeight::bold: return 700;
    case FontWeight::heavy: return 800;
    case FontWeight::black: return 900;
    }
    return 400;
}

std::string_view toString(FontWeight weight) {
    switch (weight) {
    case FontWeight::ultraLight: return "ultraLight";
    case FontWeight::thin: return "thin";
    case FontWeight::light: return "light";
    case FontWeight::regular: return "regular";
    case FontWeight::medium: return "medium";
    case FontWeight::semibold: return "semibold";
    case FontWeight::bold: return "bold";
    case FontWeight::heavy: return "heavy";
    case FontWeight::black: return "black";
    }
    return "regular";
}

std::string_view toString(FontDesign design) {
    return design == FontDesign::rounded ? "rounded" : "default";
}

std::string describe(const Font& font) {
    char size[32];
    std::snprintf(size, sizeof size, "%g", font.size);
    std::string out = size;
    out += "/";
    out += toString(font.weight);
    if (font.design != FontDesign::standard) {
        out += "/";
        out += toString(font.design);
    }
    if (font.monospacedDigit) out += "/mono";
    return out;
}

}  // namespace platform::views
