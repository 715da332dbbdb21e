#include "Platform/Widgets/WidgetCenter.hpp"

namespace platform {

WidgetCenter& WidgetCenter::shared() {
    static WidgetCenter center;
    return center;
}

void WidgetCenter::reloadAllTimelines() const { services().reloadAllTimelines(); }

std::optional<std::vector<WidgetInfo>> WidgetCenter::getCurrentConfigurations(std::chrono::milliseconds timeout) const {
    return services().getCurrentConfigurations(timeout);
}

}  // namespace platform
