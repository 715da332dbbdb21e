#include "Platform/Widgets/WidgetFamily.hpp"

namespace platform {

std::string_view toString(WidgetFamily family) {
    switch (family) {
    case WidgetFamily::systemSmall: return "systemSmall";
    case WidgetFamily::systemMedium: return "systemMedium";
    }
    return "systemSmall";
}

std::string_view toString(WidgetRenderingMode mode) {
    switch (mode) {
    case WidgetRenderingMode::fullColor: return "fullColor";
    case WidgetRenderingMode::accented: return "accented";
    case WidgetRenderingMode::vibrant: return "vibrant";
    }
    return "fullColor";
}

std::optional<WidgetFamily> widgetFamilyFromString(std::string_view name) {
    if (name == "systemSmall") return WidgetFamily::systemSmall;
    if (name == "systemMedium") return WidgetFamily::systemMedium;
    return std::nullopt;
}

std::optional<WidgetRenderingMode> widgetRenderingModeFromString(std::string_view name) {
    if (name == "fullColor") return WidgetRenderingMode::fullColor;
    if (name == "accented") return WidgetRenderingMode::accented;
    if (name == "vibrant") return WidgetRenderingMode::vibrant;
    return std::nullopt;
}

}  // namespace platform
