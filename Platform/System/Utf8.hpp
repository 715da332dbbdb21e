#pragma once

#include <string_view>

namespace platform {

/// Whether `text` is UTF-8 as D-Bus and JSON take it: no overlong forms, no surrogates, nothing
/// past U+10FFFF.
bool isValidUtf8(std::string_view text);

}  // namespace platform
