#include "Host/WidgetHost/Desktop/detail/SurfaceContent.hpp"

#include <gtest/gtest.h>

#include "Platform/Views/TextEngine.hpp"
#include "Platform/Views/View.hpp"

namespace {

using namespace widgethost::desktop::detail;
using platform::Date;
using platform::views::Appearance;
using platform::views::ButtonRegion;
using platform::views::Rect;

ButtonRegion region(Rect frame, std::string label, bool enabled = true, bool hidden = false) {
    ButtonRegion b;
    b.frame = frame;
    b.intent = {label + "Intent", {}};
    b.enabled = enabled;
    b.accessibilityHidden = hidden;
    b.accessibilityLabel = std::move(label);
    return b;
}

TEST(SurfaceContent, ExposesVisibleButtonsWithTheirRegionNameAndState) {
    std::vector<ButtonRegion> buttons = {
        region({100, 16, 20, 20}, "Mark", true, /*hidden=*/true),
        region({16, 100, 138, 30}, "Start tracking"),
        region({16, 140, 0, 30}, "Nothing to press"),
        region({16, 140, 138, 30}, "Stop tracking", /*enabled=*/false),
    };
    auto exposed = accessibleButtons(buttons);
    ASSERT_EQ(exposed.size(), 2u);
    EXPECT_EQ(exposed[0], (AccessibleButton{1, "Start tracking", true, {16, 100, 138, 30}}));
    EXPECT_EQ(exposed[1], (AccessibleButton{3, "Stop tracking", false, {16, 140, 138, 30}}));
    EXPECT_TRUE(accessibleButtons({}).empty());
}

TEST(SurfaceContent, AccessibleTextListsTheNonBlankTextsInOrderWithTimersAsShown) {
    auto started = Date::fromSeconds(1'700'000'000);
    auto other = started.addingSeconds(-60);
    std::vector<ReadableText> texts = {{"Design review", {}}, {"  ", {}}, {"", started}, {"", {}}, {"Today 3:10", {}}};
    // Two timers, each read by its start: the second one's text is the one the window shows.
    platform::views::Layout shown;
    shown.texts = {"Design review", "1:03:03", "1:02:03"};
    shown.liveTimers = {{0, 1, other}, {1, 2, started}};
    EXPECT_EQ(accessibleText(texts, shown), "Design review\n1:02:03\nToday 3:10");
    shown.texts[2] = "1:02:04";
    EXPECT_EQ(accessibleText(texts, shown), "Design review\n1:02:04\nToday 3:10");
    EXPECT_EQ(accessibleText({}, shown), "");
}

TEST(SurfaceContent, AScreenReaderReadsWhatIsNotHiddenAndLabelsForWhatTheyLabel) {
    namespace views = platform::views;
    auto started = Date::fromSeconds(1'700'000'000);
    auto tree = views::VStack(
        views::HorizontalAlignment::leading, 0,
        {views::HStack(views::VerticalAlignment::center, 0,
                       {views::Image("power").accessibilityHidden(true), views::Text("Secret").accessibilityHidden(true)}),
         views::Text("Design review"),
         views::TimerText(started).padding(views::Edges::all, 4),
         views::Image("wifi.slash").accessibilityLabel("Offline"),
         views::Text("12 %").accessibilityLabel("Twelve percent"),
         views::Button(platform::IntentValue{"Start", {}}, views::Label("Start tracking", "play.fill")),
         views::Text("Today").background(views::Text("behind"))})
                    .widgetURL("app://open");
    EXPECT_EQ(readableTexts(tree), (std::vector<ReadableText>{{"Design review", {}}, {"", started}, {"Offline", {}},
                                                               {"Twelve percent", {}}, {"Start tracking", {}},
                                                               {"Today", {}}, {"behind", {}}}));
}

TEST(SurfaceContent, ThePressedButtonIsTheTopmostUnderThePointer) {
    std::vector<ButtonRegion> buttons = {region({0, 0, 100, 100}, "Row"), region({10, 10, 20, 20}, "Inner")};
    EXPECT_EQ(buttonAt(buttons, 15, 15), 1u);
    EXPECT_EQ(buttonAt(buttons, 50, 50), 0u);
    EXPECT_EQ(buttonAt(buttons, 150, 50), buttons.size());
    // The right and bottom edges belong to the next pixel, not to the button.
    EXPECT_EQ(buttonAt(buttons, 100, 50), buttons.size());
}

TEST(SurfaceContent, OnlyChangedTextsArePaintedAgain) {
    namespace views = platform::views;
    auto text = [](std::string s, Rect frame) {
        views::draw::Text t;
        t.text = std::move(s);
        t.frame = frame;
        return views::DrawCommand{t};
    };
    views::Layout before;
    before.size = {170, 170};
    before.commands = {views::draw::Shape{{16, 100, 138, 30}, views::ShapeKind::capsule, views::CornerStyle::circular, views::Color::primary()},
                       text("Today", {16, 16, 40, 14}), text("0:00:59", {16, 40, 90, 28})};
    views::Layout ticked = before;
    ticked.commands[2] = text("0:01:00", {16, 40, 91, 28});
    auto frames = changedTexts(before, ticked);
    ASSERT_TRUE(frames);
    ASSERT_EQ(frames->size(), 2u);  // where it was and where it is, with a margin for the glyphs
    EXPECT_EQ((*frames)[0], (Rect{14, 38, 94, 32}));
    EXPECT_EQ((*frames)[1], (Rect{14, 38, 95, 32}));

    EXPECT_EQ(changedTexts(before, before), std::vector<Rect>{});

    views::Layout restyled = before;
    std::get<views::draw::Shape>(restyled.commands[0]).color = views::Color::black();
    EXPECT_EQ(changedTexts(before, restyled), std::nullopt);
    views::Layout shorter = before;
    shorter.commands.pop_back();
    EXPECT_EQ(changedTexts(before, shorter), std::nullopt);
    views::Layout reordered = before;
    std::swap(reordered.commands[0], reordered.commands[1]);
    EXPECT_EQ(changedTexts(before, reordered), std::nullopt);
    views::Layout rebacked = before;
    rebacked.containerBackground = views::Color::white();
    EXPECT_EQ(changedTexts(before, rebacked), std::nullopt);

    // A live timer is painted again only where its glyphs can be; any other text whole.
    ticked.commands[1] = text("Now", {16, 16, 40, 14});
    ticked.liveTimers = {{2, 1, Date::fromSeconds(0)}};
    auto glyphs = views::liveTextBounds(std::get<views::draw::Text>(ticked.commands[2]));
    ASSERT_NE(glyphs, (Rect{16, 40, 91, 28}));
    EXPECT_EQ(repaintParts(ticked, {{16, 16, 40, 14}, {16, 40, 91, 28}, {16, 40, 90, 28}}),
              (std::vector<Rect>{{16, 16, 40, 14}, glyphs, {16, 40, 90, 28}}));
}

TEST(SurfaceContent, PressedShadeFollowsTheAppearanceAndTheCapsule) {
    EXPECT_LT(pressedShade(Appearance::light).red, 0.5);
    EXPECT_GT(pressedShade(Appearance::dark).red, 0.5);
    EXPECT_GT(pressedShade(Appearance::light).alpha, 0);
    EXPECT_DOUBLE_EQ(pressedShadeRadius({16, 100, 138, 30}), 15);
    EXPECT_DOUBLE_EQ(pressedShadeRadius({0, 0, 20, 60}), 10);
}

}  // namespace
