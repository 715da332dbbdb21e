#pragma once

#include <string>
#include <vector>

// What an X11 window manager does for the widget windows, as its _NET_SUPPORTED list says.
namespace widgethost::desktop::detail {

struct WindowManagerHints {
    bool running = false;  // a window manager answers _NET_SUPPORTING_WM_CHECK
    bool below = false;
    bool sticky = false;
    bool skipTaskbar = false;
    bool skipPager = false;
};

/// What the window manager will not do for the widgets, in words for the log; empty when it does
/// everything or when none runs yet (one may still start with the session).
std::vector<std::string> unsupportedHints(const WindowManagerHints& hints);

/// Whether the widget windows should bypass the window manager (override-redirect): one that keeps
/// none of the hints also places windows itself and ignores moves (weston's Xwayland), while an
/// override-redirect window sits exactly where the host puts it and is in no task bar or pager.
bool bypassWindowManager(const WindowManagerHints& hints);

}  // namespace widgethost::desktop::detail
