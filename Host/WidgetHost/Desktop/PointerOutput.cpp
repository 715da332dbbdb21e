#include "Host/WidgetHost/Desktop/PointerOutput.hpp"

#include <gtk/gtk.h>

#include "Host/WidgetHost/Desktop/detail/OutputName.hpp"

namespace widgethost::desktop {

std::optional<OutputGeometry> outputUnderPointer(DisplayKind kind) {
    GdkDisplay* gdk = gdk_display_get_default();
    if (!gdk) return std::nullopt;
    GdkMonitor* monitor = nullptr;
    // Wayland tells a client where the pointer is only over its own surfaces.
    if (kind == DisplayKind::x11) {
        GdkSeat* seat = gdk_display_get_default_seat(gdk);
        if (GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr) {
            int x = 0;
            int y = 0;
            gdk_device_get_position(pointer, nullptr, &x, &y);
            monitor = gdk_display_get_monitor_at_point(gdk, x, y);
        }
    }
    if (!monitor) monitor = gdk_display_get_primary_monitor(gdk);
    if (!monitor && gdk_display_get_n_monitors(gdk) > 0) monitor = gdk_display_get_monitor(gdk, 0);
    if (!monitor) return std::nullopt;
    GdkRectangle r;
    gdk_monitor_get_geometry(monitor, &r);
    // Positions count from the corner of the output they are kept on.
    return OutputGeometry{r.width, r.height, detail::outputName(monitor), gdk_monitor_is_primary(monitor) != FALSE};
}

}  // namespace widgethost::desktop
