#include "Host/WidgetHost/Desktop/detail/PointerGesture.hpp"

#include <cmath>
#include <utility>

namespace widgethost::desktop::detail {
namespace {

bool sameButton(const PressTarget& a, const PressTarget& b) {
    const auto* x = std::get_if<RunIntent>(&a);
    const auto* y = std::get_if<RunIntent>(&b);
    return x && y && x->intent == y->intent && x->label == y->label;
}

}  // namespace

void PointerGesture::press(double x, double y, PressTarget target, double originX, double originY) {
    pressed_ = true;
    dragging_ = false;
    startX_ = x;
    startY_ = y;
    originX_ = originX;
    originY_ = originY;
    target_ = std::move(target);
}

bool PointerGesture::armed() const { return pressed_ && std::holds_alternative<RunIntent>(target_); }

GestureEffect PointerGesture::motion(double x, double y, double originX, double originY) {
    if (!pressed_) return {};
    // Back to the output's frame: the point plus the origin it is relative to, minus where the press was.
    bool moving = frame_ == PointerFrame::current;
    double dx = x + (moving ? originX : originX_) - (startX_ + originX_);
    double dy = y + (moving ? originY : originY_) - (startY_ + originY_);
    if (dragging_) return {GestureEffect::Kind::dragBy, dx, dy};
    // A press on a button stays a press wherever the pointer goes, as with any push button.
    if (armed() || std::hypot(dx, dy) < threshold_) return {};
    dragging_ = true;
    return {GestureEffect::Kind::beginDrag, dx, dy};
}

GestureEffect PointerGesture::release(double, double, const PressTarget& target) {
    if (!pressed_) return {};
    pressed_ = false;
    if (std::exchange(dragging_, false)) return {GestureEffect::Kind::endDrag};
    PressTarget pressedOn = std::exchange(target_, NoTarget{});
    // A button runs only when the pointer comes up on the same button it went down on.
    if (std::holds_alternative<RunIntent>(pressedOn)) {
        if (!sameButton(pressedOn, target)) return {};
        return {GestureEffect::Kind::activate, 0, 0, std::move(pressedOn)};
    }
    if (std::holds_alternative<OpenLink>(pressedOn)) return {GestureEffect::Kind::activate, 0, 0, std::move(pressedOn)};
    return {};
}

void PointerGesture::cancel() {
    pressed_ = false;
    dragging_ = false;
    target_ = NoTarget{};
}

}  // namespace widgethost::desktop::detail
