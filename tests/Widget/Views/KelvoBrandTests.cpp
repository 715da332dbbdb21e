#include <gtest/gtest.h>

#include "Widget/Intents/TimerIntents.hpp"
#include "Widget/Views/ActionButton.hpp"
#include "Widget/Views/KelvoMark.hpp"
#include "Widget/Views/KelvoPalette.hpp"
#include "tests/Widget/Views/ViewTesting.hpp"

namespace kelvo {
namespace {

using namespace platform::views;
using platform::WidgetRenderingMode;
using testing::environment;

TEST(KelvoPalette, BrandColours) {
    EXPECT_EQ(describe(KelvoPalette::pink()), "#EC84FF");
    EXPECT_EQ(describe(KelvoPalette::aubergine()), "#2C1338");
    EXPECT_EQ(KelvoPalette::background().resolved(Appearance::dark), (RGBA{31 / 255.0, 14 / 255.0, 40 / 255.0, 1}));
    EXPECT_EQ(KelvoPalette::background().resolved(Appearance::light), (RGBA{1, 1, 1, 1}));
    // Made once: every call gives the same value.
    EXPECT_EQ(&KelvoPalette::pink(), &KelvoPalette::pink());
}

struct ModeColours {
    WidgetRenderingMode mode;
    Color glyph;
    Color disc;
};

class KelvoMarkColours : public ::testing::TestWithParam<ModeColours> {};

TEST_P(KelvoMarkColours, GlyphAndDiscFollowTheRenderingMode) {
    auto layout = testing::layOutView(KelvoMark{28}.body(environment(platform::WidgetFamily::systemSmall, GetParam().mode)));
    const auto* glyph = testing::symbolCommand(layout, "power");
    ASSERT_TRUE(glyph);
    EXPECT_EQ(glyph->color, GetParam().glyph);
    EXPECT_DOUBLE_EQ(glyph->font.size, 28 * 0.55);
    EXPECT_EQ(glyph->font.weight, FontWeight::heavy);
    const auto* disc = testing::shapeBehind(layout, glyph->frame);
    ASSERT_TRUE(disc);
    EXPECT_EQ(disc->kind, ShapeKind::circle);
    EXPECT_EQ(disc->color, GetParam().disc);
    EXPECT_EQ(disc->frame.width, 28);
    EXPECT_EQ(disc->frame.height, 28);
    for (const auto& b : layout.boxes) {
        if (b.kind == "Image" || b.kind == "Shape") {
            EXPECT_NE(b.details.find("a11y-hidden"), std::string::npos);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    KelvoMark, KelvoMarkColours,
    ::testing::Values(ModeColours{WidgetRenderingMode::fullColor, KelvoPalette::aubergine(), KelvoPalette::pink()},
                      ModeColours{WidgetRenderingMode::accented, Color::primary(), Color::primary().withOpacity(0.2)},
                      ModeColours{WidgetRenderingMode::vibrant, Color::primary(), Color::primary().withOpacity(0.2)}));

struct ButtonCase {
    bool enabled;
    WidgetRenderingMode mode;
    Color foreground;
    Color fill;
};

class ActionButtonColours : public ::testing::TestWithParam<ButtonCase> {};

TEST_P(ActionButtonColours, FollowEnabledStateThenRenderingMode) {
    const auto& c = GetParam();
    ActionButton<StartTrackingIntent> button{"Start tracking", "play.fill", StartTrackingIntent{}, c.enabled};
    auto layout = testing::layOutView(button.body(environment(platform::WidgetFamily::systemSmall, c.mode)));
    const auto* title = testing::textCommand(layout, "Start tracking");
    const auto* symbol = testing::symbolCommand(layout, "play.fill");
    ASSERT_TRUE(title && symbol);
    EXPECT_EQ(title->color, c.foreground);
    EXPECT_EQ(symbol->color, c.foreground);
    const auto* pill = testing::shapeBehind(layout, title->frame);
    ASSERT_TRUE(pill);
    EXPECT_EQ(pill->kind, ShapeKind::capsule);
    EXPECT_EQ(pill->style, CornerStyle::continuous);
    EXPECT_EQ(pill->color, c.fill);
    ASSERT_EQ(layout.buttons.size(), 1u);
    EXPECT_EQ(layout.buttons[0].enabled, c.enabled);
    EXPECT_EQ(layout.buttons[0].intent, StartTrackingIntent{}.value());
}

INSTANTIATE_TEST_SUITE_P(
    ActionButton, ActionButtonColours,
    ::testing::Values(
        ButtonCase{true, WidgetRenderingMode::fullColor, KelvoPalette::aubergine(), KelvoPalette::pink()},
        ButtonCase{true, WidgetRenderingMode::accented, Color::primary(), Color::primary().withOpacity(0.15)},
        ButtonCase{true, WidgetRenderingMode::vibrant, Color::primary(), Color::primary().withOpacity(0.15)},
        ButtonCase{false, WidgetRenderingMode::fullColor, Color::secondary(), Color::primary().withOpacity(0.08)},
        ButtonCase{false, WidgetRenderingMode::accented, Color::secondary(), Color::primary().withOpacity(0.08)}));

TEST(ActionButton, IsAFullWidthPillTheLabelsHeightPlusFourteen) {
    ActionButton<StopTrackingIntent> button{"Stop", "stop.fill", StopTrackingIntent{}, true};
    auto layout = testing::layOutView(button.body(environment()));
    const auto& region = layout.buttons.at(0);
    EXPECT_EQ(region.frame.x, 16);
    EXPECT_EQ(region.frame.width, 138);                 // the whole content width of a small widget
    EXPECT_NEAR(region.frame.height, 12 * 1.2 + 14, 1e-9);  // one 12-point line and 7 above and below
    EXPECT_EQ(region.accessibilityLabel, "Stop");
    const auto* title = testing::textCommand(layout, "Stop");
    EXPECT_EQ(title->font, Font::system(12, FontWeight::semibold));
    EXPECT_EQ(title->maxLines, 1);
}

TEST(ActionButton, ALongTitleShrinksToTheMinimumThenTruncates) {
    auto titleOf = [](std::string title) {
        ActionButton<StartTrackingIntent> button{title, "play.fill", StartTrackingIntent{}, true};
        auto layout = testing::layOutView(button.body(environment()));
        return *testing::textCommand(layout, title);
    };
    // 138 wide, less the 9.6 symbol and 4.2 gap, leaves 124.2 for the title: 6 points a character.
    auto fits = titleOf(std::string(20, 'a'));
    EXPECT_EQ(fits.font.size, 12);
    auto shrinks = titleOf(std::string(22, 'a'));  // 132 at 12 points, 124.2 wanted
    EXPECT_LT(shrinks.font.size, 12);
    EXPECT_GE(shrinks.font.size, 9.6);
    EXPECT_EQ(shrinks.frame.width <= 124.2, true);
    auto cut = titleOf(std::string(40, 'a'));  // even at 9.6 points too wide
    EXPECT_DOUBLE_EQ(cut.font.size, 9.6);
    EXPECT_DOUBLE_EQ(cut.frame.width, 124.2);
    EXPECT_EQ(cut.maxLines, 1);
}

}  // namespace
}  // namespace kelvo
