#pragma once

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Views/TextMeasurer.hpp"

// A text measurer with round numbers and no fonts, so layout tests can assert frames exactly:
// every character is half the font size wide (digits of monospaced fonts 0.6), a line is 1.2
// times the font size high, and lines break at spaces (inside a word when it is too long).
namespace platform::views::testing {

inline double charWidth(char c, const Font& font) {
    if (font.monospacedDigit && c >= '0' && c <= '9') return font.size * 0.6;
    return font.size * 0.5;
}

inline double textWidth(std::string_view s, const Font& font) {
    double w = 0;
    for (char c : s) w += charWidth(c, font);
    return w;
}

inline std::vector<std::string> wrapLines(std::string_view text, const Font& font, double maxWidth) {
    std::vector<std::string> lines;
    std::string line;
    auto fits = [&](const std::string& s) { return textWidth(s, font) <= maxWidth + 1e-9; };
    std::size_t i = 0;
    while (i <= text.size()) {
        std::size_t end = text.find_first_of(" \n", i);
        if (end == std::string_view::npos) end = text.size();
        std::string word(text.substr(i, end - i));
        std::string candidate = line.empty() ? word : line + " " + word;
        if (fits(candidate)) {
            line = candidate;
        } else {
            if (!line.empty()) lines.push_back(line);
            line.clear();
            // A word wider than a line breaks between characters.
            for (char c : word) {
                if (!line.empty() && !fits(line + c)) {
                    lines.push_back(line);
                    line.clear();
                }
                line += c;
            }
        }
        if (end < text.size() && text[end] == '\n') {
            lines.push_back(line);
            line.clear();
        }
        i = end + 1;
    }
    lines.push_back(line);
    return lines;
}

inline TextMeasurer fakeTextMeasurer() {
    TextMeasurer m;
    m.lineHeight = [](const Font& font) { return font.size * 1.2; };
    m.measure = [](std::string_view text, const Font& font, double maxWidth, int maxLines) {
        auto lines = wrapLines(text, font, maxWidth);
        TextMeasurement r;
        r.truncated = maxLines > 0 && static_cast<int>(lines.size()) > maxLines;
        if (r.truncated) lines.resize(static_cast<std::size_t>(maxLines));
        r.lines = static_cast<int>(lines.size());
        for (const auto& l : lines) r.width = std::max(r.width, textWidth(l, font));
        // An ellipsized line takes the whole width it was given.
        if (r.truncated) r.width = maxWidth;
        r.height = r.lines * font.size * 1.2;
        return r;
    };
    return m;
}

}  // namespace platform::views::testing
