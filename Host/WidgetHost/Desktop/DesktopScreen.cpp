#include "Host/WidgetHost/Desktop/DesktopScreen.hpp"

#include <gtk/gtk.h>

namespace widgethost::desktop {

DesktopScreen::DesktopScreen(DisplayKind display, platform::views::Appearance appearance, ScreenHandlers handlers,
                             platform::WidgetRenderingMode renderingMode)
    : display_(display), appearance_(appearance), handlers_(std::move(handlers)), renderingMode_(renderingMode) {
    gboolean prefersDark = FALSE;
    g_object_get(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", &prefersDark, nullptr);
    userPrefersDarkTheme_ = prefersDark;
    if (appearance == platform::views::Appearance::dark) setAppearance(appearance);
}

void DesktopScreen::show(const std::string& id, platform::WidgetFamily family, SurfacePosition position,
                         const std::string& title, const platform::views::WidgetView* view,
                         const platform::views::WidgetLayoutInfo* layout) {
    auto it = surfaces_.find(id);
    // A window takes its size from its family: a resized widget gets a new one, where it was kept.
    if (it != surfaces_.end() && it->second->family() != family) {
        surfaces_.erase(it);
        it = surfaces_.end();
    }
    if (it == surfaces_.end()) {
        // A widget that never showed anything gets no window yet.
        if (!view) return;
        auto& placement = this->placement();
        SurfaceSettings settings{family, position, appearance_, renderingMode_, title, id};
        SurfaceCallbacks callbacks;
        callbacks.activated = [this, id](const PressTarget& target) {
            if (handlers_.activated) handlers_.activated(id, target);
        };
        callbacks.moved = [this, id](SurfacePosition moved, MoveCause cause) {
            if (handlers_.moved) handlers_.moved(id, moved, cause);
        };
        callbacks.menu.heading = [this, id] { return handlers_.menuHeading ? handlers_.menuHeading(id) : std::string(); };
        callbacks.menu.remove = [this, id] {
            if (handlers_.remove) handlers_.remove(id);
        };
        callbacks.menu.openGallery = [this] {
            if (handlers_.openGallery) handlers_.openGallery();
        };
        callbacks.menu.sizes = [this, id] { return handlers_.sizes ? handlers_.sizes(id) : MenuSizes{}; };
        callbacks.menu.resize = [this, id](platform::WidgetFamily chosen) {
            if (handlers_.resize) handlers_.resize(id, chosen);
        };
        it = surfaces_.emplace(id, std::make_unique<DesktopSurface>(placement, std::move(settings), std::move(callbacks))).first;
    }
    it->second->show(view, layout);
}

void DesktopScreen::remove(const std::string& id) { surfaces_.erase(id); }

SurfacePosition DesktopScreen::move(const std::string& id, SurfacePosition position) {
    // A widget without a window yet is kept on an output when its window is made.
    if (auto it = surfaces_.find(id); it != surfaces_.end()) return it->second->moveTo(position);
    return position;
}

void DesktopScreen::setAppearance(platform::views::Appearance appearance) {
    appearance_ = appearance;
    // Menus are drawn by the theme; its dark variant where the desktop prefers dark, else the user's choice.
    gboolean dark = appearance == platform::views::Appearance::dark || userPrefersDarkTheme_;
    g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", dark, nullptr);
    for (auto& [id, surface] : surfaces_) surface->setAppearance(appearance);
}

Placement& DesktopScreen::placement() {
    if (!placement_) {
        placement_ = placementFor(display_);
        // Panels that come, go or change size move the widgets out of their way.
        placement_->followWorkArea(gdk_display_get_default(), [this] {
            for (auto& [id, surface] : surfaces_) surface->keepOnScreen();
        });
    }
    return *placement_;
}

std::vector<detail::OutputArea> DesktopScreen::outputs() {
    GdkDisplay* display = gdk_display_get_default();
    return display ? placement().outputs(display) : std::vector<detail::OutputArea>{};
}

const DesktopSurface* DesktopScreen::surface(const std::string& id) const {
    auto it = surfaces_.find(id);
    return it == surfaces_.end() ? nullptr : it->second.get();
}

}  // namespace widgethost::desktop
