#pragma once

#include <functional>
#include <string_view>

#include "Platform/Views/Font.hpp"

namespace platform::views {

/// How a text of one font fits into a width.
struct TextMeasurement {
    double width = 0;   // the widest line; an ellipsized line counts with the full width it was given
    double height = 0;  // the lines shown
    int lines = 0;      // lines shown
    bool truncated = false;  // more lines were needed, or a line was cut with an ellipsis
};

/// The layout's only view of fonts, so that layout runs (and is tested) without a text engine.
struct TextMeasurer {
    /// Wraps `text` at `maxWidth` (infinite: no wrapping) and shows at most `maxLines` lines
    /// (0: no limit), the last one ending in an ellipsis when the text goes on.
    std::function<TextMeasurement(std::string_view text, const Font& font, double maxWidth, int maxLines)> measure;
    /// The height of one line of the font.
    std::function<double(const Font& font)> lineHeight;
};

}  // namespace platform::views
