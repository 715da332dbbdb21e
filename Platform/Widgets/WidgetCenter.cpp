#include "Platform/Widgets/WidgetCenter.hpp"

namespace platform {

WidgetCenter& WidgetCenter::shared() {
    static WidgetCenter center;
    return center;
}

void WidgetCenter::reloadAllTimelines() const { services().reloadAllTimelines(); }

void WidgetCenter::getCurrentConfigurations(
    std::function<void(std::optional<std::vector<WidgetInfo>>)> completion) const {
    services().getCurrentConfigurations(std::move(completion));
}

}  // namespace platform
