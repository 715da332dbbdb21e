#include "Host/WidgetHost/Desktop/X11Placement.hpp"

#include <X11/Xatom.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <vector>

#include "Host/WidgetHost/Desktop/detail/WindowManagerHints.hpp"
#include "Host/WidgetHost/Log.hpp"

namespace widgethost::desktop {
namespace {

// A root window property of 32-bit cardinals; empty when it is not there.
std::vector<long> rootCardinals(GdkDisplay* display, const char* name) {
    Display* xdisplay = gdk_x11_display_get_xdisplay(display);
    Window root = gdk_x11_window_get_xid(gdk_screen_get_root_window(gdk_display_get_default_screen(display)));
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    gdk_x11_display_error_trap_push(display);
    int r = XGetWindowProperty(xdisplay, root, gdk_x11_get_xatom_by_name_for_display(display, name), 0, 4096, False,
                               XA_CARDINAL, &type, &format, &count, &after, &data);
    gdk_x11_display_error_trap_pop_ignored(display);
    std::vector<long> values;
    // Xlib hands 32-bit items over as longs.
    if (r == Success && data && type == XA_CARDINAL && format == 32) {
        const auto* items = reinterpret_cast<const long*>(data);
        values.assign(items, items + count);
    }
    if (data) XFree(data);
    return values;
}

// The work area of the current workspace, in GDK's (scaled) desktop coordinates; empty where the
// window manager publishes none.
DesktopArea workAreaOf(GdkDisplay* display) {
    auto areas = rootCardinals(display, "_NET_WORKAREA");
    auto current = rootCardinals(display, "_NET_CURRENT_DESKTOP");
    std::size_t desktop = current.empty() ? 0 : static_cast<std::size_t>(current.front());
    if (areas.size() < 4 * (desktop + 1)) desktop = 0;
    if (areas.size() < 4) return {};
    const long* area = &areas[4 * desktop];
    // The property counts device pixels; with a window scale GDK counts fewer. Rounded inwards, so
    // that a widget never reaches a panel's pixel.
    long scale = gdk_window_get_scale_factor(gdk_screen_get_root_window(gdk_display_get_default_screen(display)));
    if (scale < 1) scale = 1;
    long left = (area[0] + scale - 1) / scale;
    long top = (area[1] + scale - 1) / scale;
    long right = (area[0] + area[2]) / scale;
    long bottom = (area[1] + area[3]) / scale;
    if (right <= left || bottom <= top) return {};
    return {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left), static_cast<int>(bottom - top)};
}

GdkFilterReturn onRootEvent(GdkXEvent* xevent, GdkEvent*, gpointer changed) {
    const auto* event = static_cast<const XEvent*>(xevent);
    if (event->type != PropertyNotify) return GDK_FILTER_CONTINUE;
    GdkDisplay* display = gdk_x11_lookup_xdisplay(event->xproperty.display);
    if (!display) return GDK_FILTER_CONTINUE;
    Atom atom = event->xproperty.atom;
    if (atom == gdk_x11_get_xatom_by_name_for_display(display, "_NET_WORKAREA") ||
        atom == gdk_x11_get_xatom_by_name_for_display(display, "_NET_CURRENT_DESKTOP"))
        (*static_cast<std::function<void()>*>(changed))();
    return GDK_FILTER_CONTINUE;
}

}  // namespace

X11Placement::~X11Placement() {
    if (followed_)
        gdk_window_remove_filter(gdk_screen_get_root_window(gdk_display_get_default_screen(followed_)), onRootEvent,
                                 &workAreaChanged_);
}

std::vector<detail::OutputArea> X11Placement::outputs(GdkDisplay* display) const {
    auto areas = Placement::outputs(display);
    if (!GDK_IS_X11_DISPLAY(display)) return areas;
    // One work area spans the whole root window, whatever outputs it covers: each output gets its part.
    return detail::withWorkArea(std::move(areas), workArea(display));
}

// A drag asks on every pointer motion, and a list of widgets once per widget: the followed work area
// is read from the server again only after the window manager changed it.
DesktopArea X11Placement::workArea(GdkDisplay* display) const {
    if (display != followed_) return workAreaOf(display);
    if (!workArea_) workArea_ = workAreaOf(display);
    return *workArea_;
}

void X11Placement::followWorkArea(GdkDisplay* display, std::function<void()> changed) {
    if (followed_ || !GDK_IS_X11_DISPLAY(display)) return;
    followed_ = display;
    workAreaChanged_ = [this, changed = std::move(changed)] {
        workArea_.reset();
        if (changed) changed();
    };
    GdkWindow* root = gdk_screen_get_root_window(gdk_display_get_default_screen(display));
    gdk_window_set_events(root, static_cast<GdkEventMask>(gdk_window_get_events(root) | GDK_PROPERTY_CHANGE_MASK));
    gdk_window_add_filter(root, onRootEvent, &workAreaChanged_);
}

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
