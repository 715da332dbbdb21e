#include "Host/KelvoApp/Log.hpp"

#include "Platform/System/Files.hpp"

namespace kelvo::app {

void logEvent(std::string_view line) { platform::logLine("kelvo-app: ", line); }

}  // namespace kelvo::app
