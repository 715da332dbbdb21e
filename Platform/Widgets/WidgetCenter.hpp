#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "Platform/System/Services.hpp"

namespace platform {

/// The widget host as this application sees it, through the services in force.
class WidgetCenter {
public:
    static WidgetCenter& shared();

    /// Asks the host to rebuild the timelines of every widget of this application's extensions.
    /// Fire and forget: no host, no bus, or a failing host is ignored.
    void reloadAllTimelines() const;

    /// Asks the host for the placed widgets of this application's extensions. The completion runs
    /// exactly once, on a thread of its own, with the list, or with nothing on failure.
    void getCurrentConfigurations(std::function<void(std::optional<std::vector<WidgetInfo>>)> completion) const;
};

/// The D-Bus client behind the real services.
namespace WidgetCenterClient {
void reloadAllTimelines();
void getCurrentConfigurations(std::function<void(std::optional<std::vector<WidgetInfo>>)> completion);
}  // namespace WidgetCenterClient

}  // namespace platform
