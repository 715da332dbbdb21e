#include "Host/KelvoApp/Log.hpp"

namespace kelvo::app {

void logEvent(std::string_view line, platform::LogPriority priority) { platform::logLine(priority, "kelvo-app: ", line); }

}  // namespace kelvo::app
