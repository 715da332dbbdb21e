#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform::views {

/// A link as the widget URL modifier takes it: text that parses as an absolute or relative URL
/// reference (RFC 3986), kept exactly as given.
struct URL {
    std::string string;

    /// Nothing for text that is not a URL reference: empty text, spaces, characters outside the
    /// URL's character set, a broken percent escape, a bad scheme or a second '#'.
    static std::optional<URL> parse(std::string_view text);
};

}  // namespace platform::views
