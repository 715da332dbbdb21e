#pragma once

namespace platform::views {

/// A size in points.
struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

/// A rectangle in points, in the widget's own coordinates (origin at the top-left corner).
struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    bool contains(double px, double py) const { return px >= x && py >= y && px < x + width && py < y + height; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace platform::views
