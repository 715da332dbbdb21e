#include "Host/WidgetHost/Log.hpp"

namespace widgethost {
namespace {

bool verbose = false;

std::string_view prefix(LogLevel level) {
    switch (level) {
    case LogLevel::debug: return "widget-host: debug: ";
    case LogLevel::info: return "widget-host: ";
    case LogLevel::warning: return "widget-host: warning: ";
    case LogLevel::error: return "widget-host: error: ";
    }
    return "widget-host: ";
}

}  // namespace

void setVerboseLogging(bool on) { verbose = on; }
bool verboseLogging() { return verbose; }

void writeLogLine(LogLevel level, std::string_view line) { platform::logLine(level, prefix(level), line); }

}  // namespace widgethost
