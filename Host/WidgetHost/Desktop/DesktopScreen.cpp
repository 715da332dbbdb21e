#include "Host/WidgetHost/Desktop/DesktopScreen.hpp"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include "Host/WidgetHost/Desktop/detail/WindowManagerHints.hpp"
#include "Host/WidgetHost/Log.hpp"

namespace widgethost::desktop {

DesktopScreen::DesktopScreen(DisplayKind display, platform::views::Appearance appearance, ScreenHandlers handlers,
                             platform::WidgetRenderingMode renderingMode)
    : display_(display), appearance_(appearance), handlers_(std::move(handlers)), renderingMode_(renderingMode) {}

void DesktopScreen::show(const std::string& id, platform::WidgetFamily family, SurfacePosition position,
                         const std::string& title, const platform::views::WidgetView* view,
                         const platform::views::WidgetLayoutInfo* layout) {
    auto it = surfaces_.find(id);
    if (it == surfaces_.end()) {
        // A widget that never showed anything gets no window yet.
        if (!view) return;
        SurfaceSettings settings{display_, windowManagement(), family, position, appearance_, renderingMode_, title, id};
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
    it->second->show(view ? std::optional(*view) : std::nullopt, layout ? std::optional(*layout) : std::nullopt);
}

WindowManagement DesktopScreen::windowManagement() {
    if (windowManagement_) return *windowManagement_;
    windowManagement_ = WindowManagement::hints;
    GdkScreen* screen = gdk_screen_get_default();
    if (display_ != DisplayKind::x11 || !screen || !GDK_IS_X11_SCREEN(screen)) return *windowManagement_;
    auto supports = [screen](const char* atom) {
        return gdk_x11_screen_supports_net_wm_hint(screen, gdk_atom_intern_static_string(atom)) != FALSE;
    };
    std::string name = gdk_x11_screen_get_window_manager_name(screen);
    detail::WindowManagerHints hints{name != "unknown", supports("_NET_WM_STATE_BELOW"), supports("_NET_WM_STATE_STICKY"),
                                     supports("_NET_WM_STATE_SKIP_TASKBAR"), supports("_NET_WM_STATE_SKIP_PAGER")};
    auto missing = detail::unsupportedHints(hints);
    if (missing.empty()) return *windowManagement_;
    std::string list;
    for (const auto& what : missing) list += (list.empty() ? "" : ", ") + what;
    if (detail::bypassWindowManager(hints)) {
        windowManagement_ = WindowManagement::bypassed;
        log(LogLevel::warning, "the window manager (", name, ") will not ", list,
            " for the widgets; they bypass it, sit where they are put and may cover other windows");
    } else {
        log(LogLevel::warning, "the window manager (", name, ") will not ", list, " for the widgets");
    }
    return *windowManagement_;
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

}  // namespace widgethost::desktop
