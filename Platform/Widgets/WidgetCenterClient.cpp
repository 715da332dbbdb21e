// Placeholder until the D-Bus client lands; replaced in the same series of changes.
#include "Platform/Widgets/WidgetCenter.hpp"

namespace platform::WidgetCenterClient {
void reloadAllTimelines() {}
void getCurrentConfigurations(std::function<void(std::optional<std::vector<WidgetInfo>>)> completion) {
    completion(std::nullopt);
}
}  // namespace platform::WidgetCenterClient
