#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

enum class WidgetFamily { systemSmall, systemMedium };
enum class WidgetRenderingMode { fullColor, accented, vibrant };

std::string_view toString(WidgetFamily family);
std::string_view toString(WidgetRenderingMode mode);
std::optional<WidgetFamily> widgetFamilyFromString(std::string_view name);
std::optional<WidgetRenderingMode> widgetRenderingModeFromString(std::string_view name);

/// What a view can read of where it is drawn.
struct WidgetEnvironment {
    WidgetFamily widgetFamily = WidgetFamily::systemSmall;
    WidgetRenderingMode widgetRenderingMode = WidgetRenderingMode::fullColor;
};

}  // namespace platform
