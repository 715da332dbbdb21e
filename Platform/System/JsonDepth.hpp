#pragma once

#include <cstddef>
#include <string_view>

namespace platform {

/// How deep any JSON document read from outside the process may nest. Copying, printing and
/// destroying a parsed document recurse once per level, so a deeper one could overflow the stack;
/// nothing this system exchanges comes near it.
inline constexpr std::size_t maxJsonDepth = 128;

/// Whether the arrays and objects in `text` nest at most `limit` deep. Brackets inside strings do
/// not count. Run it before parsing text from outside; it reads the text once and allocates nothing.
bool jsonDepthWithin(std::string_view text, std::size_t limit = maxJsonDepth);

}  // namespace platform
