#include "Host/WidgetHost/Desktop/Placement.hpp"

#include <gtest/gtest.h>

#include "Host/WidgetHost/Desktop/LayerShellPlacement.hpp"
#include "Host/WidgetHost/Desktop/X11Placement.hpp"

namespace {

using namespace widgethost::desktop;

// A 1920 × 1080 primary output with a 1280 × 1024 one to its right.
const std::vector<detail::OutputArea> outputs = {{0, 0, 1920, 1080, "DP-1", true}, {1920, 0, 1280, 1024, "HDMI-1", false}};

TEST(Placement, AMoveTheHostAsksForLandsOnAnOutputCountedAsTheDisplayCountsIt) {
    const X11Placement x11(WindowManagement::hints);
    const LayerShellPlacement layerShell(detail::PointerFrame::pressTime);
    struct Case {
        const Placement* placement;
        SurfacePosition asked;
        std::string currentOutput;
        SurfacePosition landed;  // on the desktop, naming the output holding the widget
    };
    const Case cases[] = {
        // On X11 a position is the desktop's, whichever output the widget is on.
        {&x11, {100, 100}, "HDMI-1", {100, 100, "DP-1"}},
        {&x11, {2000, 40}, "DP-1", {2000, 40, "HDMI-1"}},
        {&x11, {-150, 50}, "DP-1", {0, 50, "DP-1"}},  // stopped at the edge, wholly on the output
        {&x11, {1900, 1000}, "", {1920, 854, "HDMI-1"}},  // clamped onto the output holding its centre
        // With layer-shell it counts from the corner of the output the widget is on.
        {&layerShell, {100, 100}, "HDMI-1", {2020, 100, "HDMI-1"}},
        {&layerShell, {100, 100}, "DP-1", {100, 100, "DP-1"}},
        {&layerShell, {100, 100}, "DP-9", {100, 100, "DP-1"}},  // an output that is gone: the primary's corner
        {&layerShell, {1200, 900}, "HDMI-1", {3030, 854, "HDMI-1"}},
        {&layerShell, {-100, 0}, "HDMI-1", {1750, 0, "DP-1"}},  // over the edge onto the next output
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.asked.x << "," << c.asked.y << " on " << c.currentOutput);
        EXPECT_EQ(c.placement->landing(c.asked, c.currentOutput, 170, 170, outputs), c.landed);
    }
}

}  // namespace
