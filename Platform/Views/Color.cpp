#include "Platform/Views/Color.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace platform::views {
namespace {

// The label colours of the desktop's light and dark looks. Secondary text is fainter than primary
// but still reads at 4.5:1 on the widget's background, as small text needs.
constexpr RGBA primaryLight{0, 0, 0, 0.85};
constexpr RGBA secondaryLight{0, 0, 0, 0.56};
constexpr RGBA primaryDark{1, 1, 1, 0.85};
constexpr RGBA secondaryDark{1, 1, 1, 0.55};

std::string hex(const RGBA& c) {
    auto byte = [](double v) { return static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
    char text[16];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", byte(c.red), byte(c.green), byte(c.blue));
    std::string out = text;
    if (c.alpha != 1) {
        char a[24];
        std::snprintf(a, sizeof a, "@%.3g", c.alpha);
        out += a;
    }
    return out;
}

}  // namespace

Color Color::srgb(double red, double green, double blue, double alpha) {
    return Color{Kind::srgb, RGBA{red, green, blue, alpha}, RGBA{red, green, blue, alpha}, 1};
}

Color Color::srgb8(int red, int green, int blue) { return srgb(red / 255.0, green / 255.0, blue / 255.0); }

Color Color::primary() { return Color{Kind::primary, {}, {}, 1}; }
Color Color::secondary() { return Color{Kind::secondary, {}, {}, 1}; }
Color Color::white() { return srgb(1, 1, 1); }
Color Color::black() { return srgb(0, 0, 0); }
Color Color::dynamic(RGBA light, RGBA dark) { return Color{Kind::dynamic, light, dark, 1}; }

Color Color::withOpacity(double factor) const {
    Color c = *this;
    c.opacity *= factor;
    return c;
}

RGBA Color::resolved(Appearance appearance) const {
    bool inDark = appearance == Appearance::dark;
    RGBA base;
    switch (kind) {
    case Kind::srgb: base = light; break;
    case Kind::primary: base = inDark ? primaryDark : primaryLight; break;
    case Kind::secondary: base = inDark ? secondaryDark : secondaryLight; break;
    case Kind::dynamic: base = inDark ? dark : light; break;
    }
    base.alpha *= opacity;
    return base;
}

std::string describe(const Color& color) {
    std::string out;
    switch (color.kind) {
    case Color::Kind::srgb: out = hex(color.light); break;
    case Color::Kind::primary: out = "primary"; break;
    case Color::Kind::secondary: out = "secondary"; break;
    case Color::Kind::dynamic: out = "dynamic(" + hex(color.light) + "/" + hex(color.dark) + ")"; break;
    }
    if (color.opacity != 1) {
        char text[24];
        std::snprintf(text, sizeof text, "*%.3g", color.opacity);
        out += text;
    }
    return out;
}

}  // namespace platform::views
