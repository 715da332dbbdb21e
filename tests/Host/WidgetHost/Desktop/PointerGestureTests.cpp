#include "Host/WidgetHost/Desktop/detail/PointerGesture.hpp"

#include <gtest/gtest.h>

namespace {

using widgethost::DisabledButton;
using widgethost::NoTarget;
using widgethost::OpenLink;
using widgethost::PressTarget;
using widgethost::RunIntent;
using widgethost::desktop::detail::GestureEffect;
using widgethost::desktop::detail::PointerGesture;
using Kind = GestureEffect::Kind;

const PressTarget link = OpenLink{"app://open"};
const PressTarget start = RunIntent{{"StartIntent", {}}, "Start"};
const PressTarget stop = RunIntent{{"StopIntent", {}}, "Stop"};

TEST(PointerGesture, AClickOutsideButtonsOpensTheLinkEvenAfterAJitter) {
    PointerGesture gesture(8);
    gesture.press(10, 10, link);
    EXPECT_EQ(gesture.motion(13, 14).kind, Kind::none);  // 5 points: still a click
    auto effect = gesture.release(13, 14, link);
    ASSERT_EQ(effect.kind, Kind::activate);
    EXPECT_EQ(std::get<OpenLink>(effect.target).url, "app://open");
    EXPECT_FALSE(gesture.pressed());
}

// A compositor that follows the surface the way the gesture tells it to, and reports the pointer
// relative to the surface as it was at the press (Sway) or as it is now (KWin).
TEST(PointerGesture, ADragMovesTheSurfaceByExactlyThePointersTravelInEitherFrame) {
    using widgethost::desktop::detail::PointerFrame;
    struct Case {
        const char* name;
        PointerFrame frame;
        double stepX, stepY;  // the pointer's travel per motion, on the output
    };
    const Case cases[] = {
        {"press-time frame, down and right", PointerFrame::pressTime, 30, 20},
        {"press-time frame, up and left", PointerFrame::pressTime, -30, -10},
        {"current frame, down and right", PointerFrame::current, 30, 20},
        {"current frame, left and down", PointerFrame::current, -30, 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PointerGesture gesture(8, c.frame);
        const double startX = 100, startY = 100, grabX = 340, grabY = 6;
        double surfaceX = startX, surfaceY = startY;
        gesture.press(grabX, grabY, link, surfaceX, surfaceY);
        for (int k = 1; k <= 10; ++k) {
            double pointerX = startX + grabX + c.stepX * k, pointerY = startY + grabY + c.stepY * k;
            double originX = c.frame == PointerFrame::pressTime ? startX : surfaceX;
            double originY = c.frame == PointerFrame::pressTime ? startY : surfaceY;
            auto effect = gesture.motion(pointerX - originX, pointerY - originY, surfaceX, surfaceY);
            ASSERT_EQ(effect.kind, k == 1 ? Kind::beginDrag : Kind::dragBy);
            surfaceX = startX + effect.dx;
            surfaceY = startY + effect.dy;
        }
        EXPECT_DOUBLE_EQ(surfaceX, startX + 10 * c.stepX);
        EXPECT_DOUBLE_EQ(surfaceY, startY + 10 * c.stepY);
        EXPECT_EQ(gesture.release(0, 0, link).kind, Kind::endDrag);
        EXPECT_FALSE(gesture.dragging());
    }
}

TEST(PointerGesture, AButtonRunsOnlyWhenReleasedOnItself) {
    struct Case {
        const char* name;
        PressTarget releasedOn;
        Kind expected;
    };
    const Case cases[] = {
        {"same button", start, Kind::activate},
        {"another button", stop, Kind::none},
        {"outside buttons", link, Kind::none},
        {"nothing", NoTarget{}, Kind::none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PointerGesture gesture(8);
        gesture.press(50, 100, start);
        EXPECT_TRUE(gesture.armed());
        // Pressing a button never starts a drag, however far the pointer goes.
        EXPECT_EQ(gesture.motion(150, 30).kind, Kind::none);
        auto effect = gesture.release(150, 30, c.releasedOn);
        EXPECT_EQ(effect.kind, c.expected);
        if (c.expected == Kind::activate) {
            EXPECT_EQ(std::get<RunIntent>(effect.target).intent.type, "StartIntent");
        }
        EXPECT_FALSE(gesture.armed());
    }
}

TEST(PointerGesture, ADisabledButtonOrEmptySpaceDoesNothingButCanBeDragged) {
    for (const PressTarget& target : {PressTarget{DisabledButton{"Stop"}}, PressTarget{NoTarget{}}}) {
        PointerGesture gesture(8);
        gesture.press(20, 20, target);
        EXPECT_FALSE(gesture.armed());
        EXPECT_EQ(gesture.release(20, 20, target).kind, Kind::none);

        gesture.press(20, 20, target);
        EXPECT_EQ(gesture.motion(40, 20).kind, Kind::beginDrag);
        EXPECT_EQ(gesture.release(40, 20, target).kind, Kind::endDrag);
    }
}

TEST(PointerGesture, EventsWithoutAPressAndAfterACancelAreIgnored) {
    PointerGesture gesture(8);
    EXPECT_EQ(gesture.motion(100, 100).kind, Kind::none);
    EXPECT_EQ(gesture.release(100, 100, link).kind, Kind::none);

    gesture.press(10, 10, link);
    EXPECT_EQ(gesture.motion(40, 40).kind, Kind::beginDrag);
    gesture.cancel();  // the window manager took the move over
    EXPECT_FALSE(gesture.dragging());
    EXPECT_EQ(gesture.motion(60, 60).kind, Kind::none);
    EXPECT_EQ(gesture.release(60, 60, link).kind, Kind::none);
}

}  // namespace
