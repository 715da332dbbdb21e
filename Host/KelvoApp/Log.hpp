#pragma once

#include <string_view>

#include "Platform/System/Files.hpp"

namespace kelvo::app {

/// Writes one event line to standard error with its journal priority, prefixed with the program
/// name. One write per line so that lines of concurrent processes never interleave.
void logEvent(std::string_view line, platform::LogPriority priority = platform::LogPriority::info);

}  // namespace kelvo::app
