#include "Host/WidgetHost/PressTarget.hpp"

#include <gtest/gtest.h>

namespace widgethost {
namespace {

using platform::views::ButtonRegion;
using platform::views::WidgetLayoutInfo;

ButtonRegion button(std::string label, platform::views::Rect frame, bool enabled = true, std::string intent = "Run") {
    ButtonRegion region;
    region.frame = frame;
    region.intent = {std::move(intent), {{"name", label}}};
    region.enabled = enabled;
    region.accessibilityLabel = std::move(label);
    return region;
}

WidgetLayoutInfo medium() {
    WidgetLayoutInfo layout;
    layout.buttons = {
        button("Start tracking", {16, 120, 160, 34}, true, "StartTrackingIntent"),
        button("Start tracking: Design review", {200, 20, 24, 24}, false, "StartRecentIntent"),
        button("Start tracking: Weekly sync", {200, 50, 24, 24}, true, "StartRecentIntent"),
    };
    layout.widgetURL = "kelvo://timer";
    return layout;
}

TEST(PressTarget, FindsButtonsByExactLabelFirst) {
    auto layout = medium();
    const auto* found = buttonNamed(layout.buttons, "Start tracking");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->intent.type, "StartTrackingIntent");
    found = buttonNamed(layout.buttons, "Start tracking: Weekly sync");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->frame.y, 50);
}

TEST(PressTarget, FallsBackToCaseAndBlankInsensitiveMatching) {
    auto layout = medium();
    const auto* found = buttonNamed(layout.buttons, "  start TRACKING: weekly sync ");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->accessibilityLabel, "Start tracking: Weekly sync");
    EXPECT_FALSE(buttonNamed(layout.buttons, "Start"));
    EXPECT_FALSE(buttonNamed(layout.buttons, ""));
    EXPECT_FALSE(buttonNamed(layout.buttons, "   "));
}

TEST(PressTarget, PressesByPoint) {
    auto layout = medium();
    struct Case {
        double x, y;
        const char* expected;  // "run:<intent>", "disabled", "open:<url>"
    };
    const Case cases[] = {
        {16, 120, "run:StartTrackingIntent"},     // top-left corner is inside
        {175.9, 153.9, "run:StartTrackingIntent"},
        {176, 120, "open:kelvo://timer"},          // right edge is outside
        {210, 30, "disabled"},
        {210, 60, "run:StartRecentIntent"},
        {5, 5, "open:kelvo://timer"},
    };
    for (const auto& c : cases) {
        auto target = pressAt(layout, c.x, c.y);
        std::string got = std::visit(
            [](const auto& t) -> std::string {
                using T = std::decay_t<decltype(t)>;
                if constexpr (std::is_same_v<T, RunIntent>) return "run:" + t.intent.type;
                if constexpr (std::is_same_v<T, DisabledButton>) return "disabled";
                if constexpr (std::is_same_v<T, OpenLink>) return "open:" + t.url;
                return "none";
            },
            target);
        EXPECT_EQ(got, c.expected) << c.x << "," << c.y;
    }
}

TEST(PressTarget, TheButtonOnTopWins) {
    WidgetLayoutInfo layout;
    layout.buttons = {button("Below", {0, 0, 100, 100}, true, "Below"), button("Above", {10, 10, 20, 20}, true, "Above")};
    auto target = pressAt(layout, 15, 15);
    ASSERT_TRUE(std::holds_alternative<RunIntent>(target));
    EXPECT_EQ(std::get<RunIntent>(target).intent.type, "Above");
}

TEST(PressTarget, OutsideButtonsWithoutAUsableLinkDoesNothing) {
    WidgetLayoutInfo layout;
    EXPECT_TRUE(std::holds_alternative<NoTarget>(pressAt(layout, 1, 1)));
    layout.widgetURL = "--help";
    EXPECT_TRUE(std::holds_alternative<NoTarget>(pressAt(layout, 1, 1)));
}

TEST(PressTarget, OnlyLinksWithASchemeReachTheOpener) {
    for (const char* good : {"kelvo://timer", "https://example.com/a?b=c", "mailto:a@b.c", "x-y.z+w:rest"})
        EXPECT_TRUE(isOpenableLink(good)) << good;
    for (const char* bad : {"", "timer", "://x", "-x:y", "--version", "1abc:x", "a b:c", "kelvo://ti\nmer", "http://a\x7f"})
        EXPECT_FALSE(isOpenableLink(bad)) << bad;
}

}  // namespace
}  // namespace widgethost
