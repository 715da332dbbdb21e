#include "Host/WidgetHost/Desktop/DesktopScreen.hpp"

#include <gtk/gtk.h>

namespace widgethost::desktop {

DesktopScreen::DesktopScreen(DisplayKind display, platform::views::Appearance appearance, ScreenHandlers handlers)
    : display_(display), appearance_(appearance), handlers_(std::move(handlers)) {}

void DesktopScreen::show(const std::string& id, platform::WidgetFamily family, SurfacePosition position,
                         const std::string& title, const platform::views::WidgetView* view) {
    auto it = surfaces_.find(id);
    if (it == surfaces_.end()) {
        // A widget that never showed anything gets no window yet.
        if (!view) return;
        SurfaceSettings settings{display_, family, position, appearance_, title, id};
        SurfaceCallbacks callbacks;
        callbacks.activated = [this, id](const PressTarget& target) {
            if (handlers_.activated) handlers_.activated(id, target);
        };
        callbacks.moved = [this, id](SurfacePosition moved) {
            if (handlers_.moved) handlers_.moved(id, moved);
        };
        callbacks.menu.heading = [this, id] { return handlers_.menuHeading ? handlers_.menuHeading(id) : std::string(); };
        callbacks.menu.remove = [this, id] {
            if (handlers_.remove) handlers_.remove(id);
        };
        callbacks.menu.openGallery = [this] {
            if (handlers_.openGallery) handlers_.openGallery();
        };
        it = surfaces_.emplace(id, std::make_unique<DesktopSurface>(std::move(settings), std::move(callbacks))).first;
    }
    it->second->show(view ? std::optional(*view) : std::nullopt);
}

void DesktopScreen::remove(const std::string& id) { surfaces_.erase(id); }

SurfacePosition DesktopScreen::move(const std::string& id, SurfacePosition position) {
    // A widget without a window yet is kept on an output when its window is made.
    if (auto it = surfaces_.find(id); it != surfaces_.end()) return it->second->moveTo(position);
    return position;
}

void DesktopScreen::setAppearance(platform::views::Appearance appearance) {
    appearance_ = appearance;
    for (auto& [id, surface] : surfaces_) surface->setAppearance(appearance);
}

const DesktopSurface* DesktopScreen::surface(const std::string& id) const {
    auto it = surfaces_.find(id);
    return it == surfaces_.end() ? nullptr : it->second.get();
}

std::optional<OutputGeometry> DesktopScreen::outputUnderPointer() const {
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return std::nullopt;
    GdkMonitor* monitor = nullptr;
    // Wayland tells a client where the pointer is only over its own surfaces.
    if (display_ == DisplayKind::x11) {
        GdkSeat* seat = gdk_display_get_default_seat(display);
        if (GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr) {
            int x = 0;
            int y = 0;
            gdk_device_get_position(pointer, nullptr, &x, &y);
            monitor = gdk_display_get_monitor_at_point(display, x, y);
        }
    }
    if (!monitor) monitor = gdk_display_get_primary_monitor(display);
    if (!monitor && gdk_display_get_n_monitors(display) > 0) monitor = gdk_display_get_monitor(display, 0);
    if (!monitor) return std::nullopt;
    GdkRectangle r;
    gdk_monitor_get_geometry(monitor, &r);
    // Layer-shell positions are margins from the output's own corner.
    if (display_ == DisplayKind::waylandLayerShell) return OutputGeometry{0, 0, r.width, r.height};
    return OutputGeometry{r.x, r.y, r.width, r.height};
}

}  // namespace widgethost::desktop
