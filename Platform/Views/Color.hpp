#pragma once

#include <string>

namespace platform::views {

/// The desktop's light or dark look, which dynamic and hierarchical colours follow.
enum class Appearance { light, dark };

/// A colour in sRGB with straight (not premultiplied) alpha, each component 0...1.
struct RGBA {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;
    friend bool operator==(const RGBA&, const RGBA&) = default;
};

/// A colour as views name it: fixed, one of the hierarchical foreground levels, or a pair that
/// follows the appearance. The painter resolves it for the widget's appearance.
struct Color {
    enum class Kind { srgb, primary, secondary, dynamic };

    Kind kind = Kind::primary;
    RGBA light;  // srgb: the colour; dynamic: the colour in light appearance
    RGBA dark;   // dynamic: the colour in dark appearance
    double opacity = 1;

    static Color srgb(double red, double green, double blue, double alpha = 1);
    /// From 8-bit components, as brand colours are usually given.
    static Color srgb8(int red, int green, int blue);
    static Color primary();
    static Color secondary();
    static Color white();
    static Color black();
    /// Resolved anew for each appearance.
    static Color dynamic(RGBA light, RGBA dark);

    /// The same colour with its opacity multiplied by `factor`.
    Color withOpacity(double factor) const;

    /// The concrete colour in an appearance.
    RGBA resolved(Appearance appearance) const;

    friend bool operator==(const Color&, const Color&) = default;
};

/// A short readable form for dumps: "#EC84FF", "primary", "secondary@0.15", "dynamic(#FFFFFF/#1F0E28)".
std::string describe(const Color& color);

}  // namespace platform::views
