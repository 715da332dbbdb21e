#include "Host/WidgetHost/Log.hpp"

#include <unistd.h>

#include <string>

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

void writeLogLine(LogLevel level, std::string_view line) {
    // One write per line keeps lines whole when extensions share the same standard error.
    std::string text(prefix(level));
    text += line;
    text += '\n';
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, data, left);
        if (n <= 0) return;
        data += n;
        left -= static_cast<size_t>(n);
    }
}

}  // namespace widgethost
