#include "Host/WidgetHost/Desktop/DisplayChoice.hpp"

#include <gtk/gtk.h>
#include <wayland-client.h>

#include <cstdlib>
#include <cstring>

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

}  // namespace

DisplayKind chooseDisplay(const DisplayEnvironment& environment) {
    if (!environment.waylandDisplay.empty() && environment.layerShell) return DisplayKind::waylandLayerShell;
    if (!environment.x11Display.empty()) return DisplayKind::x11;
    return DisplayKind::none;
}

bool compositorHasLayerShell(const std::string& waylandDisplay) {
    wl_display* display = wl_display_connect(waylandDisplay.c_str());
    if (!display) return false;
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
    if (!env.waylandDisplay.empty()) env.layerShell = compositorHasLayerShell(env.waylandDisplay);
    return env;
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

}  // namespace widgethost::desktop
