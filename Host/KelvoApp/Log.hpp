#pragma once

#include <string_view>

namespace kelvo::app {

/// Writes one event line to standard error, prefixed with the program name. One write per line so
/// that lines of concurrent processes never interleave.
void logEvent(std::string_view line);

}  // namespace kelvo::app
