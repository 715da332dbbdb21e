#include "Host/WidgetHost/Desktop/PointerOutput.hpp"

#include <gtk/gtk.h>

namespace widgethost::desktop {

const detail::OutputArea* outputUnderPointer(DisplayKind kind, const std::vector<detail::OutputArea>& outputs) {
    GdkDisplay* gdk = gdk_display_get_default();
    // Wayland tells a client where the pointer is only over its own surfaces.
    if (gdk && kind == DisplayKind::x11) {
        GdkSeat* seat = gdk_display_get_default_seat(gdk);
        if (GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr) {
            int x = 0;
            int y = 0;
            gdk_device_get_position(pointer, nullptr, &x, &y);
            for (const auto& output : outputs)
                if (x >= output.x && x < output.x + output.width && y >= output.y && y < output.y + output.height)
                    return &output;
        }
    }
    return detail::homeOutput("", outputs);
}

}  // namespace widgethost::desktop
