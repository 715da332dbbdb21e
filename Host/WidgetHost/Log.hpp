#pragma once

#include <sstream>
#include <string_view>

#include "Platform/System/Files.hpp"

// One line per event on standard error, with its journal priority, so that a journal or a test
// harness can follow the host.
namespace widgethost {

using LogLevel = platform::LogPriority;

/// Debug lines are dropped unless verbose logging is on.
void setVerboseLogging(bool verbose);
bool verboseLogging();

void writeLogLine(LogLevel level, std::string_view line);

template <class... Parts>
void log(LogLevel level, const Parts&... parts) {
    if (level == LogLevel::debug && !verboseLogging()) return;
    std::ostringstream line;
    (line << ... << parts);
    writeLogLine(level, line.str());
}

}  // namespace widgethost
