#include "Host/WidgetHost/Desktop/LayerShellPlacement.hpp"

#include <gdk/gdkwayland.h>
#include <gtk-layer-shell.h>
#include <gtk/gtk.h>
#include <wayland-client.h>

#include <cstdlib>
#include <cstring>

#include "Host/WidgetHost/Desktop/detail/OutputName.hpp"

namespace widgethost::desktop {

// No protocol lets a client ask how its compositor counts pointer positions over a surface that
// moves under a held button, and a drag is too late to find out: the compositor's own name is the
// only hint there is. Only KWin counts from where the surface is now.
detail::PointerFrame LayerShellPlacement::compositorPointerFrame() {
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    return desktop && std::strstr(desktop, "KDE") ? detail::PointerFrame::current : detail::PointerFrame::pressTime;
}

GtkWidget* LayerShellPlacement::makeWindow(const SurfacePosition& corner) const {
    GtkWidget* widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(widget);
    gtk_layer_init_for_window(window);
    gtk_layer_set_layer(window, GTK_LAYER_SHELL_LAYER_BOTTOM);
    // "desktop" is the namespace that compositors keep on screen when they show the desktop.
    gtk_layer_set_namespace(window, "desktop");
    gtk_layer_set_keyboard_mode(window, GTK_LAYER_SHELL_KEYBOARD_MODE_NONE);
    // Zone 0: the compositor keeps the surface out of what panels reserve (their positive zones),
    // so margins count from the corner of what the panels leave free, not from the output's.
    gtk_layer_set_exclusive_zone(window, 0);
    gtk_layer_set_anchor(window, GTK_LAYER_SHELL_EDGE_LEFT, TRUE);
    gtk_layer_set_anchor(window, GTK_LAYER_SHELL_EDGE_TOP, TRUE);
    gtk_layer_set_margin(window, GTK_LAYER_SHELL_EDGE_LEFT, corner.x);
    gtk_layer_set_margin(window, GTK_LAYER_SHELL_EDGE_TOP, corner.y);
    return widget;
}

// A position the host asks for counts from the corner of the output the widget is on, as margins do.
SurfacePosition LayerShellPlacement::onDesktop(SurfacePosition asked, const std::string& currentOutput,
                                               const std::vector<detail::OutputArea>& areas) const {
    if (const auto* home = detail::homeOutput(currentOutput, areas)) {
        asked.x += home->x;
        asked.y += home->y;
    }
    return asked;
}

void LayerShellPlacement::move(GtkWindow* window, const SurfacePosition& corner, const detail::OutputArea* home) const {
    // A layer surface lies on one output, its margins counted from that output's corner.
    GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(window));
    for (int i = 0; home && i < gdk_display_get_n_monitors(display); ++i) {
        GdkMonitor* monitor = gdk_display_get_monitor(display, i);
        if (detail::outputName(monitor) != home->name) continue;
        if (gtk_layer_get_monitor(window) != monitor) gtk_layer_set_monitor(window, monitor);
        break;
    }
    gtk_layer_set_margin(window, GTK_LAYER_SHELL_EDGE_LEFT, corner.x - (home ? home->x : 0));
    gtk_layer_set_margin(window, GTK_LAYER_SHELL_EDGE_TOP, corner.y - (home ? home->y : 0));
    // New margins take effect with the surface's next commit. GTK commits when it draws, and it
    // draws on the compositor's frame callback, which a surface on no output never gets: commit now.
    GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window));
    if (gdkWindow && GDK_IS_WAYLAND_WINDOW(gdkWindow)) {
        if (wl_surface* surface = gdk_wayland_window_get_wl_surface(gdkWindow)) wl_surface_commit(surface);
    }
    gtk_widget_queue_draw(GTK_WIDGET(window));
}

}  // namespace widgethost::desktop
