#include "Platform/Views/ShownText.hpp"

namespace platform::views {

std::string shownPart(std::string_view text) {
    if (text.size() <= shownCharacters) return std::string(text);
    std::size_t characters = 0, end = 0;
    while (end < text.size()) {
        // A UTF-8 continuation byte belongs to the character before it.
        if ((static_cast<unsigned char>(text[end]) & 0xC0) != 0x80 && characters++ == shownCharacters) break;
        ++end;
    }
    if (end == text.size()) return std::string(text);
    return std::string(text.substr(0, end)) + "\u2026";
}

}  // namespace platform::views
