#include "Host/WidgetHost/Desktop/X11Placement.hpp"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include "Host/WidgetHost/Desktop/detail/WindowManagerHints.hpp"
#include "Host/WidgetHost/Log.hpp"

namespace widgethost::desktop {

WindowManagement X11Placement::windowManagementOfScreen() {
    GdkScreen* screen = gdk_screen_get_default();
    if (!screen || !GDK_IS_X11_SCREEN(screen)) return WindowManagement::hints;
    auto supports = [screen](const char* atom) {
        return gdk_x11_screen_supports_net_wm_hint(screen, gdk_atom_intern_static_string(atom)) != FALSE;
    };
    std::string name = gdk_x11_screen_get_window_manager_name(screen);
    detail::WindowManagerHints hints{name != "unknown", supports("_NET_WM_STATE_BELOW"), supports("_NET_WM_STATE_STICKY"),
                                     supports("_NET_WM_STATE_SKIP_TASKBAR"), supports("_NET_WM_STATE_SKIP_PAGER")};
    auto missing = detail::unsupportedHints(hints);
    if (missing.empty()) return WindowManagement::hints;
    std::string list;
    for (const auto& what : missing) list += (list.empty() ? "" : ", ") + what;
    if (detail::bypassWindowManager(hints)) {
        log(LogLevel::warning, "the window manager (", name, ") will not ", list,
            " for the widgets; they bypass it, sit where they are put and may cover other windows");
        return WindowManagement::bypassed;
    }
    log(LogLevel::warning, "the window manager (", name, ") will not ", list, " for the widgets");
    return WindowManagement::hints;
}

GtkWidget* X11Placement::makeWindow(const SurfacePosition& corner) const {
    bool bypassed = management_ == WindowManagement::bypassed;
    GtkWidget* widget = gtk_window_new(bypassed ? GTK_WINDOW_POPUP : GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(widget);
    if (!bypassed) {
        // Of the window types, only a dock below the others stays through "show desktop" and clicks
        // on the desktop window on xfwm4, metacity, mutter and openbox alike.
        gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DOCK);
        gtk_window_set_keep_below(window, TRUE);
        gtk_window_stick(window);
        gtk_window_set_skip_taskbar_hint(window, TRUE);
        gtk_window_set_skip_pager_hint(window, TRUE);
        gtk_window_set_accept_focus(window, FALSE);
        gtk_window_set_focus_on_map(window, FALSE);
        // A widget draws once a second at most and nothing animates it, so it does without the
        // window manager's frame timing, which GDK asks the X server about every frame where no
        // window manager answers.
        g_signal_connect(widget, "realize", G_CALLBACK(+[](GtkWidget* realized, gpointer) {
                             if (GdkWindow* w = gtk_widget_get_window(realized); w && GDK_IS_X11_WINDOW(w))
                                 gdk_x11_window_set_frame_sync_enabled(w, FALSE);
                         }),
                         nullptr);
    }
    gtk_window_move(window, corner.x, corner.y);
    return widget;
}

void X11Placement::move(GtkWindow* window, const SurfacePosition& corner, const detail::OutputArea*) const {
    gtk_window_move(window, corner.x, corner.y);
}

std::optional<std::pair<int, int>> X11Placement::shownAt(GtkWindow* window) const {
    int x = 0;
    int y = 0;
    gtk_window_get_position(window, &x, &y);
    return std::pair{x, y};
}

}  // namespace widgethost::desktop
