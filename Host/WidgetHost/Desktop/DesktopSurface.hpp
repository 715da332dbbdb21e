#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Host/WidgetHost/Desktop/WidgetMenu.hpp"
#include "Host/WidgetHost/PressTarget.hpp"
#include "Platform/Views/WidgetRenderer.hpp"

// One placed widget on the desktop: an undecorated GTK 3 window below the other windows, on every
// workspace and out of the task bar (a bottom layer-shell surface on Wayland), painting the layout
// it is handed at the monitor's scale and laying nothing out itself. Buttons are also real,
// transparent GTK buttons over their frames, so screen readers reach them. How the window meets the
// display is its `Placement`'s. Runs on GLib's main loop; GTK must have been started.
namespace widgethost::desktop {

/// The top-left corner of the widget, in desktop pixels (the layer-shell margins on Wayland), or,
/// where an output is named, from that output's top-left corner.
struct SurfacePosition {
    int x = 0;
    int y = 0;
    std::string output = {};  // a connector or model name; empty for the primary output
    friend bool operator==(const SurfacePosition&, const SurfacePosition&) = default;
};

class Placement;

/// Why a widget is somewhere else than before: the user dragged it (which is theirs to keep), the
/// window manager put it elsewhere than asked, or it had to move to stay on screen (an output or
/// its panels changed). Only the first changes where the widget is kept.
enum class MoveCause { user, windowManager, keptOnScreen };

struct SurfaceSettings {
    platform::WidgetFamily family = platform::WidgetFamily::systemSmall;
    SurfacePosition position;  // as saved: from its output's corner
    platform::views::Appearance appearance = platform::views::Appearance::light;
    platform::WidgetRenderingMode renderingMode = platform::WidgetRenderingMode::fullColor;
    std::string title;  // the window's title, which names the widget to window lists and screen readers
    std::string role;   // the X11 window role, which tells the host's windows apart (the widget's id)
};

struct SurfaceCallbacks {
    /// A click or screen-reader press that means something: a `RunIntent` or an `OpenLink`.
    std::function<void(const PressTarget&)> activated;
    /// The user dragged the widget elsewhere, it had to move to stay on screen, or the window
    /// manager put or kept it somewhere else than asked; runs once the move has settled, with the
    /// position from the corner of the output the widget is on. The widget returns to where it is
    /// kept (its last position from the user) whenever the screen has room for it there again; a
    /// widget whose output is gone sits on the primary one meanwhile, unreported.
    std::function<void(SurfacePosition, MoveCause)> moved;
    /// What the widget's menu offers.
    WidgetMenuHandlers menu;
};

class DesktopSurface {
public:
    /// `placement` outlives the surface.
    DesktopSurface(const Placement& placement, SurfaceSettings settings, SurfaceCallbacks callbacks);
    DesktopSurface(const DesktopSurface&) = delete;
    DesktopSurface& operator=(const DesktopSurface&) = delete;
    ~DesktopSurface();

    /// Shows `view` as laid out in `layout` for the widget's family (the window appears with the first
    /// one); a second passing is a new layout with its live timers moved on, of which only what
    /// changed is painted again. A null view or layout hides the window.
    void show(const platform::views::WidgetView* view, const platform::views::WidgetLayoutInfo* layout);
    void setAppearance(platform::views::Appearance appearance);
    /// Moves the widget as near `position` (on the desktop; on Wayland, on the widget's output) as
    /// keeps it mostly on an output; returns where it went, from that output's corner.
    SurfacePosition moveTo(SurfacePosition position);
    /// Puts the widget where it is kept again, as near as the outputs and their panels let it be.
    void keepOnScreen();

    /// Where the widget is now, from the corner of the output it is on.
    SurfacePosition position() const;
    /// True while the window is on screen (mapped).
    bool mapped() const;
    platform::WidgetFamily family() const;
    /// The layout now on screen, if anything is shown.
    const platform::views::WidgetLayoutInfo* layout() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace widgethost::desktop
