#include "Host/WidgetHost/Desktop/detail/WindowManagerHints.hpp"

namespace widgethost::desktop::detail {

std::vector<std::string> unsupportedHints(const WindowManagerHints& hints) {
    if (!hints.running) return {};
    std::vector<std::string> missing;
    if (!hints.below) missing.push_back("keep below other windows");
    if (!hints.sticky) missing.push_back("show on every workspace");
    if (!hints.skipTaskbar) missing.push_back("stay out of the task bar");
    if (!hints.skipPager) missing.push_back("stay out of the pager");
    return missing;
}

bool bypassWindowManager(const WindowManagerHints& hints) {
    return hints.running && !hints.below && !hints.sticky && !hints.skipTaskbar && !hints.skipPager;
}

}  // namespace widgethost::desktop::detail
