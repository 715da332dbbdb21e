#include "Platform/Views/WidgetMetrics.hpp"

namespace platform::views {

Size widgetSize(WidgetFamily family) {
    switch (family) {
    case WidgetFamily::systemSmall: return {170, 170};
    case WidgetFamily::systemMedium: return {364, 170};
    }
    return {170, 170};
}

}  // namespace platform::views
