#include "Widget/Views/KelvoPalette.hpp"

namespace kelvo::KelvoPalette {

using platform::views::Color;
using platform::views::RGBA;

// Function-local statics: made once, safely, by whichever thread asks first.
const Color& pink() {
    static const Color color = Color::srgb8(236, 132, 255);
    return color;
}

const Color& aubergine() {
    static const Color color = Color::srgb8(44, 19, 56);
    return color;
}

const Color& background() {
    static const Color color = Color::dynamic(RGBA{1, 1, 1, 1}, RGBA{31 / 255.0, 14 / 255.0, 40 / 255.0, 1});
    return color;
}

}  // namespace kelvo::KelvoPalette
