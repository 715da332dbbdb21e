#pragma once

#include <optional>
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
    bool waylandOpened = false;  // a compositor answered at $WAYLAND_DISPLAY
};

/// Layer-shell when Wayland has it, else X11 when there is an X server (XWayland included), else none:
/// a plain Wayland toplevel would sit in the task bar and could not be placed, so it is no widget.
DisplayKind chooseDisplay(const DisplayEnvironment& environment);

/// The session as the environment variables describe it; asks the Wayland compositor about
/// layer-shell when there is one.
DisplayEnvironment currentDisplayEnvironment();

/// Whether the compositor at `waylandDisplay` advertises the layer-shell protocol; nothing when no
/// compositor answers there.
std::optional<bool> compositorHasLayerShell(const std::string& waylandDisplay);

/// What the log says about the session when it chose `kind`, "" when there is nothing to say:
/// a Wayland display that cannot be opened is not a desktop without layer-shell.
std::string displayNote(const DisplayEnvironment& environment, DisplayKind kind);

std::string_view toString(DisplayKind kind);

/// Starts GTK on the chosen backend, without its GL probe (which costs tens of megabytes). False
/// when the display cannot be opened; `kind` must not be `none`. Call once, before any window.
bool startGtk(DisplayKind kind);

/// Ends the process with status 1 and a line in the log when the display GTK opened goes away
/// (the X server, Xwayland or the compositor ended), where GTK would end it without a word.
void exitWhenTheDisplayIsLost();

}  // namespace widgethost::desktop
