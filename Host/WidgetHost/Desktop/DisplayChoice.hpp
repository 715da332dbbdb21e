#pragma once

#include <string>
#include <string_view>

// Where the widgets' windows go: a layer-shell surface on Wayland desktops that offer it, an X11
// window (native, or through XWayland where Wayland has no layer-shell, as on GNOME), or nowhere.
namespace widgethost::desktop {

enum class DisplayKind { none, x11, waylandLayerShell };

/// What the session offers, read before GTK starts.
struct DisplayEnvironment {
    std::string waylandDisplay;  // $WAYLAND_DISPLAY
    std::string x11Display;      // $DISPLAY
    bool layerShell = false;     // the Wayland compositor advertises zwlr_layer_shell_v1
};

/// Layer-shell when Wayland has it, else X11 when there is an X server (XWayland included), else none:
/// a plain Wayland toplevel would sit in the task bar and could not be placed, so it is no widget.
DisplayKind chooseDisplay(const DisplayEnvironment& environment);

/// The session as the environment variables describe it; asks the Wayland compositor about
/// layer-shell when there is one.
DisplayEnvironment currentDisplayEnvironment();

/// True when the compositor at `waylandDisplay` advertises the layer-shell protocol.
bool compositorHasLayerShell(const std::string& waylandDisplay);

std::string_view toString(DisplayKind kind);

/// Starts GTK on the chosen backend, without its GL probe (which costs tens of megabytes). False
/// when the display cannot be opened; `kind` must not be `none`. Call once, before any window.
bool startGtk(DisplayKind kind);

}  // namespace widgethost::desktop
