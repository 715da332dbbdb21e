#include <gtest/gtest.h>

#include "Host/WidgetHost/Desktop/detail/WindowManagerHints.hpp"

namespace {

using widgethost::desktop::detail::WindowManagerHints;

TEST(WindowManagerHints, OnlyAWindowManagerThatKeepsNoHintIsBypassed) {
    struct Case {
        const char* name;
        WindowManagerHints hints;
        std::size_t missing;
        bool bypassed;
    };
    const Case cases[] = {
        {"all kept (openbox)", {true, true, true, true, true}, 0, false},
        {"none kept (weston)", {true, false, false, false, false}, 4, true},
        {"only sticky kept", {true, false, true, false, false}, 3, false},
        // The session may start the window manager after the host: never bypass one that is not there yet.
        {"no window manager yet", {false, false, false, false, false}, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(widgethost::desktop::detail::unsupportedHints(c.hints).size(), c.missing);
        EXPECT_EQ(widgethost::desktop::detail::bypassWindowManager(c.hints), c.bypassed);
    }
}

}  // namespace
