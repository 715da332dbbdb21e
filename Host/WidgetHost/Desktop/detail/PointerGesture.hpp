#pragma once

#include "Host/WidgetHost/PressTarget.hpp"

// Tells a click from a drag on the parts of a widget that GTK buttons do not cover. Coordinates are
// the surface's own, in points; while a drag moves the surface, the grab point stays under the
// pointer, so every motion reports how far the surface still has to go.
namespace widgethost::desktop::detail {

struct GestureEffect {
    enum class Kind { none, beginDrag, dragBy, endDrag, activate };
    Kind kind = Kind::none;
    double dx = 0;  // beginDrag and dragBy: how far to move the surface
    double dy = 0;
    PressTarget target = NoTarget{};  // activate: what the click meant
};

class PointerGesture {
public:
    /// `dragThreshold`: how far (in points) the pointer moves before a press becomes a drag.
    explicit PointerGesture(double dragThreshold) : threshold_(dragThreshold) {}

    /// The primary button went down at (x, y) over `target`.
    void press(double x, double y, PressTarget target);
    /// The pointer moved with the button down.
    GestureEffect motion(double x, double y);
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
    bool pressed_ = false;
    bool dragging_ = false;
    double startX_ = 0;
    double startY_ = 0;
    PressTarget target_ = NoTarget{};
};

}  // namespace widgethost::desktop::detail
