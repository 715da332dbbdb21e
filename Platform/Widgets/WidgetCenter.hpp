#pragma once

#include <chrono>
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

    /// Asks the host for the placed widgets of this application's extensions, blocking the calling
    /// thread for at most `timeout`: the list, or nothing on failure or when no answer came in time.
    std::optional<std::vector<WidgetInfo>> getCurrentConfigurations(std::chrono::milliseconds timeout) const;
};

/// The D-Bus client behind the real services.
namespace WidgetCenterClient {
void reloadAllTimelines();
std::optional<std::vector<WidgetInfo>> getCurrentConfigurations(std::chrono::milliseconds timeout);
}  // namespace WidgetCenterClient

}  // namespace platform
