#include "Widget/Views/TextUtilities.hpp"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace kelvo {
namespace {

// White space and line breaks as Unicode counts them (Zs, tab, LF to CR, NEL, the line and
// paragraph separators).
bool isWhitespaceOrNewline(std::uint32_t c) {
    return c == 0x20 || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Decodes one UTF-8 sequence at `i`, returning its length; malformed bytes count as one
// non-blank character.
std::size_t decode(std::string_view s, std::size_t i, std::uint32_t& c) {
    auto b = static_cast<unsigned char>(s[i]);
    std::size_t n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > s.size()) {
        c = 0xFFFD;
        return 1;
    }
    c = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
    for (std::size_t k = 1; k < n; ++k) {
        auto cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) {
            c = 0xFFFD;
            return 1;
        }
        c = (c << 6) | (cc & 0x3F);
    }
    return n;
}

}  // namespace

std::string formattedDuration(double seconds) {
    std::int64_t total = 0;
    // Truncation toward zero; the clamp keeps far-out values from overflowing.
    if (std::isfinite(seconds) && seconds >= 1) total = static_cast<std::int64_t>(std::min(seconds, 9.2e18));
    char text[48];
    std::snprintf(text, sizeof text, "%" PRId64 ":%02d:%02d", total / 3600, static_cast<int>(total % 3600 / 60),
                  static_cast<int>(total % 60));
    return text;
}

std::optional<std::string> nonBlank(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t c;
        i += decode(text, i, c);
        if (!isWhitespaceOrNewline(c)) return std::string(text);
    }
    return std::nullopt;
}

}  // namespace kelvo
