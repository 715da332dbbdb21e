#pragma once

#include "Host/WidgetHost/PressTarget.hpp"

// Tells a click from a drag on the parts of a widget that GTK buttons do not cover. Coordinates are
// the surface's own, in points, and the surface's origin on the output comes with each event: a
// drag is the pointer's travel since the press in the output's frame, which does not move with the
// surface, so the surface goes to where it was at the press plus that travel and never runs away.
namespace widgethost::desktop::detail {

/// Which surface position a compositor's pointer coordinates are relative to while the button is
/// held: where it was when the press began (Sway), or where it is now (KWin, X11).
enum class PointerFrame { pressTime, current };

struct GestureEffect {
    enum class Kind { none, beginDrag, dragBy, endDrag, activate };
    Kind kind = Kind::none;
    double dx = 0;  // beginDrag and dragBy: the pointer's travel since the press, on the output
    double dy = 0;
    PressTarget target = NoTarget{};  // activate: what the click meant
};

class PointerGesture {
public:
    /// `dragThreshold`: how far (in points) the pointer moves before a press becomes a drag.
    explicit PointerGesture(double dragThreshold, PointerFrame frame = PointerFrame::current)
        : threshold_(dragThreshold), frame_(frame) {}

    /// The primary button went down at (x, y) over `target`, the surface's origin being at
    /// (originX, originY) on the output.
    void press(double x, double y, PressTarget target, double originX = 0, double originY = 0);
    /// The pointer moved with the button down; the surface's origin is now at (originX, originY).
    GestureEffect motion(double x, double y, double originX = 0, double originY = 0);
    /// The button came up at (x, y) over `target`.
    GestureEffect release(double x, double y, const PressTarget& target);
    /// Forgets the press, as when the window manager took the drag over.
    void cancel();

    bool pressed() const { return pressed_; }
    bool dragging() const { return dragging_; }
    /// True while the press is on an enabled button, which shows its pressed look meanwhile.
    bool armed() const;

private:
    double threshold_;
    PointerFrame frame_;
    bool pressed_ = false;
    bool dragging_ = false;
    double startX_ = 0;
    double startY_ = 0;
    double originX_ = 0;  // the surface's origin at the press
    double originY_ = 0;
    PressTarget target_ = NoTarget{};
};

}  // namespace widgethost::desktop::detail
