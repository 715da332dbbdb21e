#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Host/WidgetHost/Desktop/DisplayChoice.hpp"
#include "Host/WidgetHost/Desktop/detail/KeepOnOutput.hpp"
#include "Host/WidgetHost/Desktop/detail/PointerGesture.hpp"

typedef struct _GdkDisplay GdkDisplay;
typedef struct _GtkWidget GtkWidget;
typedef struct _GtkWindow GtkWindow;

// How widget windows sit on one kind of display: what makes a window a desktop widget there, how it
// is put somewhere, where the display says it is and how pointer positions count. One strategy is
// chosen per display when the first window is made; the windows themselves never ask which it is.
namespace widgethost::desktop {

class Placement {
public:
    virtual ~Placement() = default;

    /// A new, still hidden window for a widget whose corner is at `corner` on the desktop, set up to
    /// stay below other windows, on every workspace and out of the task bar.
    virtual GtkWidget* makeWindow(const SurfacePosition& corner) const = 0;

    /// Where widgets may be, in desktop coordinates: the outputs there are now, each with the part
    /// that panels leave free where the display tells it.
    virtual std::vector<detail::OutputArea> outputs(GdkDisplay* display) const;
    /// Runs `changed` whenever the part of the outputs that panels leave free may have changed,
    /// for as long as the placement lives; nothing where the display does not tell it.
    virtual void followWorkArea(GdkDisplay*, std::function<void()>) {}

    /// A position the host asked for, on the desktop: the host counts it as the display does, which
    /// `currentOutput` (the output the widget is on now) may be the origin of.
    virtual SurfacePosition onDesktop(SurfacePosition asked, const std::string& currentOutput,
                                      const std::vector<detail::OutputArea>& areas) const = 0;

    /// Puts the window's corner at `corner` (desktop coordinates) on `home`, the output holding it.
    virtual void move(GtkWindow* window, const SurfacePosition& corner, const detail::OutputArea* home) const = 0;

    /// Where the display really shows the window, on displays that place windows themselves and tell
    /// where they put them; nothing where the host's word is final.
    virtual std::optional<std::pair<int, int>> shownAt(GtkWindow* window) const = 0;
    /// How long the display may take to carry out a move or a map before `shownAt` is asked; nothing
    /// where the host's word is final.
    virtual std::optional<unsigned> settleMilliseconds() const = 0;

    /// The window's origin in the frame that pointer positions on the desktop are given in.
    virtual std::pair<double, double> pointerOrigin(const SurfacePosition& corner, double x, double y, double rootX,
                                                    double rootY) const = 0;
    /// Which window position pointer positions count from while a button is held.
    virtual detail::PointerFrame dragFrame() const = 0;

    /// True where a window closed from outside is gone from the display and has to be made again;
    /// false where it just stays open.
    virtual bool closingRemovesWindow() const = 0;
    /// True where a second's repaint can be drawn on the window at once rather than on the next frame.
    virtual bool paintsAtOnce() const = 0;

    /// Where a widget asked at `asked` goes: counted on the desktop, kept wholly in an output's usable
    /// part, and naming the output it is on.
    SurfacePosition landing(const SurfacePosition& asked, const std::string& currentOutput, int width, int height,
                            const std::vector<detail::OutputArea>& areas) const;
};

/// The strategy for `display` (not `none`); GTK must have been started on it.
std::unique_ptr<Placement> placementFor(DisplayKind display);

/// A desktop position kept wholly in the usable part of one of `areas`, naming the output holding it.
SurfacePosition keptOnOutputs(SurfacePosition corner, int width, int height, const std::vector<detail::OutputArea>& areas);

}  // namespace widgethost::desktop
