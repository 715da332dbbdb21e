#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kelvo {

/// Seconds as "H:MM:SS", hours without upper limit; fractions are cut off and anything below one
/// second (negative, not a number) shows as 0:00:00.
std::string formattedDuration(double seconds);

/// The text itself, untrimmed, unless it holds nothing but white space and line breaks.
std::optional<std::string> nonBlank(std::string_view text);

}  // namespace kelvo
