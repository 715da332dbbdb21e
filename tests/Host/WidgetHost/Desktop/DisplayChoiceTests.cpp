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

TEST(DisplayChoice, AMissingCompositorIsNotADesktopWithoutLayerShell) {
    EXPECT_EQ(compositorHasLayerShell("widget-host-test-no-such-compositor"), std::nullopt);
    struct Case {
        const char* name;
        DisplayEnvironment environment;
        DisplayKind kind;
        std::string expected;
    };
    const Case cases[] = {
        {"stale Wayland display", {"/run/gone", "", false, false}, DisplayKind::none,
         "cannot open the Wayland display /run/gone; writing pictures instead"},
        {"stale Wayland display, X there", {"/run/gone", ":0", false, false}, DisplayKind::x11,
         "cannot open the Wayland display /run/gone; using the X server at :0"},
        {"Wayland without layer-shell or X", {"wayland-0", "", false, true}, DisplayKind::none,
         "this Wayland desktop has no layer-shell and no X server; writing pictures instead"},
        {"GNOME through XWayland", {"wayland-0", ":0", false, true}, DisplayKind::x11, ""},
        {"layer-shell", {"wayland-0", ":0", true, true}, DisplayKind::waylandLayerShell, ""},
        {"Xorg", {"", ":0", false, false}, DisplayKind::x11, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(displayNote(c.environment, c.kind), c.expected);
    }
}

}  // namespace
