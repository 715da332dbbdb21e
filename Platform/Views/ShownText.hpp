#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// How much of a text a widget can show. A widget shows a few hundred characters of a text at most;
// a longer one is cut before it is measured or sent, since both cost in proportion to the whole
// text, and one extension's megabyte-long name must neither stall the host nor outgrow an answer.
namespace platform::views {

inline constexpr std::size_t shownCharacters = 1000;

/// The first `shownCharacters` characters of the UTF-8 `text`, with "…" where it was cut.
std::string shownPart(std::string_view text);

}  // namespace platform::views
