#include "Host/WidgetHost/Desktop/DisplayChoice.hpp"

#include <gtest/gtest.h>

namespace {

using namespace widgethost::desktop;

TEST(DisplayChoice, PrefersLayerShellThenX11ThenNothing) {
    struct Case {
        const char* name;
        DisplayEnvironment environment;
        DisplayKind expected;
    };
    const Case cases[] = {
        {"wlroots or Plasma", {"wayland-0", ":0", true}, DisplayKind::waylandLayerShell},
        {"wayland without X", {"wayland-0", "", true}, DisplayKind::waylandLayerShell},
        {"GNOME on Wayland goes through XWayland", {"wayland-0", ":0", false}, DisplayKind::x11},
        {"Wayland without layer-shell or X", {"wayland-0", "", false}, DisplayKind::none},
        {"Xorg", {"", ":1", false}, DisplayKind::x11},
        {"layer-shell claimed without Wayland", {"", "", true}, DisplayKind::none},
        {"nothing", {"", "", false}, DisplayKind::none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(chooseDisplay(c.environment), c.expected);
    }
}

TEST(DisplayChoice, AMissingCompositorHasNoLayerShell) {
    EXPECT_FALSE(compositorHasLayerShell("widget-host-test-no-such-compositor"));
}

}  // namespace
