#include "Host/WidgetHost/Desktop/DisplayChoice.hpp"

#include <X11/Xlib.h>
#include <gdk/gdkwayland.h>
#include <gdk/gdkx.h>
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Host/WidgetHost/Log.hpp"

namespace widgethost::desktop {
namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

void noteGlobal(void* found, wl_registry*, uint32_t, const char* interface, uint32_t) {
    if (std::strcmp(interface, "zwlr_layer_shell_v1") == 0) *static_cast<bool*>(found) = true;
}

void ignoreRemoval(void*, wl_registry*, uint32_t) {}

[[noreturn]] void displayLost() {
    log(LogLevel::error, "lost the display (its server or compositor ended); exiting");
    std::fflush(nullptr);
    // Nothing is half-written at this point; the windows' toolkit is unusable, so no clean-up runs.
    std::_Exit(1);
}

int onXConnectionError(Display*) { displayLost(); }

gboolean onWaylandHangUp(gint, GIOCondition, gpointer) { displayLost(); }

}  // namespace

DisplayKind chooseDisplay(const DisplayEnvironment& environment) {
    if (!environment.waylandDisplay.empty() && environment.layerShell) return DisplayKind::waylandLayerShell;
    if (!environment.x11Display.empty()) return DisplayKind::x11;
    return DisplayKind::none;
}

std::optional<bool> compositorHasLayerShell(const std::string& waylandDisplay) {
    wl_display* display = wl_display_connect(waylandDisplay.c_str());
    if (!display) return std::nullopt;
    bool found = false;
    static const wl_registry_listener listener{noteGlobal, ignoreRemoval};
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, &found);
    wl_display_roundtrip(display);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return found;
}

DisplayEnvironment currentDisplayEnvironment() {
    DisplayEnvironment env;
    env.waylandDisplay = environment("WAYLAND_DISPLAY");
    env.x11Display = environment("DISPLAY");
    if (!env.waylandDisplay.empty()) {
        auto layerShell = compositorHasLayerShell(env.waylandDisplay);
        env.waylandOpened = layerShell.has_value();
        env.layerShell = layerShell.value_or(false);
    }
    return env;
}

std::string displayNote(const DisplayEnvironment& environment, DisplayKind kind) {
    if (environment.waylandDisplay.empty() || kind == DisplayKind::waylandLayerShell) return "";
    std::string fallback = kind == DisplayKind::x11 ? "using the X server at " + environment.x11Display
                                                    : std::string("writing pictures instead");
    if (!environment.waylandOpened)
        return "cannot open the Wayland display " + environment.waylandDisplay + "; " + fallback;
    if (kind == DisplayKind::none) return "this Wayland desktop has no layer-shell and no X server; " + fallback;
    return "";
}

std::string_view toString(DisplayKind kind) {
    switch (kind) {
    case DisplayKind::none: return "none";
    case DisplayKind::x11: return "x11";
    case DisplayKind::waylandLayerShell: return "wayland-layer-shell";
    }
    return "none";
}

bool startGtk(DisplayKind kind) {
    if (kind == DisplayKind::none) return false;
    // GTK 3 otherwise loads GL to find out what it could do with it, for nothing the widgets need.
    setenv("GDK_GL", "disable", 1);
    gdk_set_allowed_backends(kind == DisplayKind::x11 ? "x11" : "wayland");
    return gtk_init_check(nullptr, nullptr);
}

void exitWhenTheDisplayIsLost() {
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return;
    if (GDK_IS_X11_DISPLAY(display)) {
        // Replaces GDK's handler, which exits without a word.
        XSetIOErrorHandler(onXConnectionError);
        return;
    }
    if (GDK_IS_WAYLAND_DISPLAY(display)) {
        // GDK ends the process when reading from a closed connection; this watch is looked at first.
        int fd = wl_display_get_fd(gdk_wayland_display_get_wl_display(display));
        GSource* source = g_unix_fd_source_new(fd, static_cast<GIOCondition>(G_IO_HUP | G_IO_ERR));
        g_source_set_priority(source, G_PRIORITY_HIGH);
        g_source_set_callback(source, G_SOURCE_FUNC(onWaylandHangUp),
                              nullptr, nullptr);
        g_source_attach(source, nullptr);
        g_source_unref(source);
    }
}

}  // namespace widgethost::desktop
