#pragma once

#include <string>

namespace platform::views {

enum class FontWeight { ultraLight, thin, light, regular, medium, semibold, bold, heavy, black };
enum class FontDesign { standard, rounded };

/// The system font by size in points, weight and design; digits may be of one width.
struct Font {
    double size = 13;
    FontWeight weight = FontWeight::regular;
    FontDesign design = FontDesign::standard;
    bool monospacedDigit = false;

    static Font system(double size, FontWeight weight = FontWeight::regular,
                       FontDesign design = FontDesign::standard) {
        return Font{size, weight, design, false};
    }
    Font withMonospacedDigit() const {
        Font f = *this;
        f.monospacedDigit = true;
        return f;
    }
    Font scaled(double factor) const {
        Font f = *this;
        f.size *= factor;
        return f;
    }

    friend bool operator==(const Font&, const Font&) = default;
};

/// CSS-like numeric weight: 100 (thin) to 900 (black).
int numericWeight(FontWeight weight);
std::string_view toString(FontWeight weight);
std::string_view toString(FontDesign design);
/// "13/semibold", "26/semibold/rounded/mono".
std::string describe(const Font& font);

}  // namespace platform::views
