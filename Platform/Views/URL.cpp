#include "Platform/Views/URL.hpp"

#include <cctype>

namespace platform::views {
namespace {

bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

bool allowed(char c) {
    auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u)) return true;
    switch (c) {
    // unreserved, general and sub delimiters
    case '-': case '.': case '_': case '~':
    case ':': case '/': case '?': case '#': case '[': case ']': case '@':
    case '!': case '$': case '&': case '\'': case '(': case ')': case '*': case '+': case ',': case ';': case '=':
        return true;
    default: return false;
    }
}

}  // namespace

std::optional<URL> URL::parse(std::string_view text) {
    if (text.empty()) return std::nullopt;
    bool fragment = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size()) return std::nullopt;
            if (!isHex(text[i + 1]) || !isHex(text[i + 2])) return std::nullopt;
            i += 2;
            continue;
        }
        if (!allowed(c)) return std::nullopt;
        if (c == '#') {
            if (fragment) return std::nullopt;
            fragment = true;
        }
    }
    // A colon before the first '/', '?' or '#' ends a scheme, which must start with a letter and
    // hold only letters, digits, '+', '-' and '.'.
    auto end = text.find_first_of(":/?#");
    if (end != std::string_view::npos && text[end] == ':') {
        if (end == 0 || !std::isalpha(static_cast<unsigned char>(text[0]))) return std::nullopt;
        for (std::size_t i = 1; i < end; ++i) {
            auto u = static_cast<unsigned char>(text[i]);
            if (!std::isalnum(u) && text[i] != '+' && text[i] != '-' && text[i] != '.') return std::nullopt;
        }
    }
    return URL{std::string(text)};
}

}  // namespace platform::views
