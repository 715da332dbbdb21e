#include "Platform/Views/Layout.hpp"

#include <gtest/gtest.h>

#include "tests/Platform/Views/FakeTextMeasurer.hpp"

namespace platform::views {
namespace {

// Layouts here use the fake measurer: characters are half the font size wide, lines 1.2 times
// its size high. Margins are zero unless a test says otherwise.
Layout run(const View& view, Size size, double margin = 0, Date now = {}) {
    LayoutOptions options;
    options.size = size;
    options.contentMargin = margin;
    options.now = now;
    return layOut(view, options, testing::fakeTextMeasurer());
}

// The boxes of one kind, in tree order.
std::vector<PlacedBox> boxes(const Layout& layout, const std::string& kind) {
    std::vector<PlacedBox> out;
    for (const auto& b : layout.boxes)
        if (b.kind == kind) out.push_back(b);
    return out;
}

std::vector<draw::Text> texts(const Layout& layout) {
    std::vector<draw::Text> out;
    for (const auto& c : layout.commands)
        if (const auto* t = std::get_if<draw::Text>(&c)) out.push_back(*t);
    return out;
}

View text(std::string s, double size = 10) { return Text(std::move(s)).font(Font::system(size)); }

TEST(Layout, SpacersShareTheFreeHeightEqually) {
    auto view = VStack(HorizontalAlignment::leading, 0, {text("A"), Spacer(6), text("B"), Spacer(8), text("C")})
                    .frame(std::nullopt, infinity, std::nullopt, infinity, Alignment::leading());
    auto layout = run(view, {100, 100});
    auto spacers = boxes(layout, "Spacer");
    auto t = texts(layout);
    ASSERT_EQ(spacers.size(), 2u);
    ASSERT_EQ(t.size(), 3u);
    // 100 - 3 × 12 leaves 64 for the two spacers.
    EXPECT_EQ(spacers[0].frame, (Rect{0, 12, 0, 32}));
    EXPECT_EQ(spacers[1].frame, (Rect{0, 56, 0, 32}));
    EXPECT_EQ(t[0].frame.y, 0);
    EXPECT_EQ(t[1].frame.y, 44);
    EXPECT_EQ(t[2].frame.y, 88);
}

TEST(Layout, SpacersNeverShrinkBelowTheirMinimum) {
    auto view = VStack(HorizontalAlignment::leading, 0, {text("A", 40), Spacer(6), Spacer(8)});
    auto layout = run(view, {100, 58});  // 48 for the text leaves 10, less than 6 + 8
    auto spacers = boxes(layout, "Spacer");
    EXPECT_EQ(spacers[0].frame.height, 6);
    EXPECT_EQ(spacers[1].frame.height, 8);
}

TEST(Layout, TextBesideASpacerGetsAllButTheSpacersMinimum) {
    auto view = HStack(VerticalAlignment::center, 0, {text("aaaa bbbb cccc").lineLimit(1), Spacer(4)});
    auto layout = run(view, {50, 20});
    auto t = texts(layout);
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].frame.width, 46);
    EXPECT_EQ(boxes(layout, "Spacer")[0].frame, (Rect{46, 10, 4, 0}));
}

TEST(Layout, LessFlexibleChildrenAreSizedFirst) {
    // The short text is less flexible, so it is offered the space first and keeps all of it.
    auto view = HStack(VerticalAlignment::top, 0, {text("aaaaaaaaaa").lineLimit(1), text("bb").lineLimit(1)});
    auto layout = run(view, {40, 20});
    auto t = texts(layout);
    EXPECT_EQ(t[1].frame, (Rect{30, 4, 10, 12}));
    EXPECT_EQ(t[0].frame.width, 30);
    EXPECT_EQ(t[0].maxLines, 1);
}

TEST(Layout, EqualColumnsBesideADivider) {
    auto column = [](std::string s) {
        return text(std::move(s)).frame(std::nullopt, infinity, std::nullopt, infinity, Alignment::topLeading());
    };
    auto view = HStack(VerticalAlignment::top, 14, {column("left"), Divider(), column("right")});
    auto layout = run(view, {364, 170}, 16);
    auto frames = boxes(layout, "Frame");
    ASSERT_EQ(frames.size(), 2u);
    // 332 wide, less two gaps of 14 and the divider's 1, shared equally.
    EXPECT_EQ(frames[0].frame, (Rect{16, 16, 151.5, 138}));
    EXPECT_EQ(boxes(layout, "Divider")[0].frame, (Rect{181.5, 16, 1, 138}));
    EXPECT_EQ(frames[1].frame, (Rect{196.5, 16, 151.5, 138}));
    EXPECT_EQ(texts(layout)[1].frame, (Rect{196.5, 16, 25, 12}));
}

TEST(Layout, DividerInAVerticalStackIsAHorizontalLine) {
    auto layout = run(VStack(HorizontalAlignment::center, 0, {text("ab"), Divider(), text("cd")}), {80, 60});
    auto divider = boxes(layout, "Divider")[0].frame;
    EXPECT_EQ(divider.width, 80);  // a divider takes all the width its stack is offered
    EXPECT_EQ(divider.height, 1);
}

TEST(Layout, InfiniteFrameTakesEverythingAndAlignsItsContent) {
    auto view = text("abcd").frame(std::nullopt, infinity, std::nullopt, infinity,
                                   Alignment{HorizontalAlignment::trailing, VerticalAlignment::bottom});
    auto layout = run(view, {100, 50});
    EXPECT_EQ(boxes(layout, "Frame")[0].frame, (Rect{0, 0, 100, 50}));
    EXPECT_EQ(texts(layout)[0].frame, (Rect{80, 38, 20, 12}));
}

TEST(Layout, FixedFrameCentresItsContentAndTheRootIsCentred) {
    auto layout = run(text("ab").frame(30, 20), {100, 100}, 16);
    EXPECT_EQ(boxes(layout, "Frame")[0].frame, (Rect{35, 40, 30, 20}));
    EXPECT_EQ(texts(layout)[0].frame, (Rect{45, 44, 10, 12}));
    EXPECT_EQ(layout.contentFrame, (Rect{16, 16, 68, 68}));
}

TEST(Layout, StackAlignmentPlacesChildrenOnTheCrossAxis) {
    auto layout = run(VStack(HorizontalAlignment::trailing, 2, {text("a"), text("abcd")}), {100, 100});
    auto t = texts(layout);
    EXPECT_EQ(t[0].frame, (Rect{55, 37, 5, 12}));
    EXPECT_EQ(t[1].frame, (Rect{40, 51, 20, 12}));

    auto row = run(HStack(VerticalAlignment::bottom, 0, {text("a", 20), text("b")}), {100, 100});
    auto r = texts(row);
    EXPECT_EQ(r[0].frame.y + r[0].frame.height, r[1].frame.y + r[1].frame.height);
}

TEST(Layout, TextWrapsAndStopsAtItsLineLimitWithAnEllipsis) {
    auto layout = run(text("one two three four five six").lineLimit(2).frame(60, std::nullopt), {100, 100});
    auto t = texts(layout)[0];
    EXPECT_EQ(t.frame.height, 24);
    EXPECT_EQ(t.frame.width, 60);
    EXPECT_EQ(t.maxLines, 2);

    auto unlimited = texts(run(text("one two three four five six").frame(60, std::nullopt), {100, 100}))[0];
    EXPECT_EQ(unlimited.frame.height, 36);
    EXPECT_EQ(unlimited.frame.width, 50);  // "three four", the widest line
}

TEST(Layout, TextShowsNoMoreLinesThanTheOfferedHeightHolds) {
    auto t = texts(run(text("one two three four five six").frame(60, 25), {100, 100}))[0];
    EXPECT_EQ(t.frame.height, 24);
    EXPECT_EQ(t.maxLines, 2);
    // At least one line, even when less is offered.
    auto tight = texts(run(text("one two three").frame(60, 5), {100, 100}))[0];
    EXPECT_EQ(tight.maxLines, 1);
}

struct ShrinkCase {
    double width;
    double expectedSizeLow;
    double expectedSizeHigh;
    double expectedWidth;
};

class TextShrinking : public ::testing::TestWithParam<ShrinkCase> {};

TEST_P(TextShrinking, ShrinksToTheMinimumScaleBeforeTruncating) {
    const auto& c = GetParam();
    auto view = text("abcdefghij").lineLimit(1).minimumScaleFactor(0.5).frame(c.width, std::nullopt);
    auto t = texts(run(view, {100, 100}))[0];
    EXPECT_GE(t.font.size, c.expectedSizeLow);
    EXPECT_LE(t.font.size, c.expectedSizeHigh);
    EXPECT_NEAR(t.frame.width, c.expectedWidth, 0.2);
    EXPECT_LE(t.frame.width, c.width);
}

INSTANTIATE_TEST_SUITE_P(Layout, TextShrinking,
                         ::testing::Values(ShrinkCase{60, 10, 10, 50},   // fits: full size
                                           ShrinkCase{40, 7.9, 8, 40},   // shrinks to just under 8 pt
                                           ShrinkCase{20, 5, 5, 20}));   // 0.5 is not enough: cut at 5 pt

TEST(Layout, MeasuresAndDrawsOnlyTheFirstThousandCharactersOfAText) {
    // Measuring costs in proportion to the text: a megabyte-long name must not reach the measurer.
    std::size_t longest = 0;
    TextMeasurer counting = testing::fakeTextMeasurer();
    counting.measure = [&, fake = counting.measure](std::string_view s, const Font& f, double w, int lines) {
        longest = std::max(longest, s.size());
        return fake(s, f, w, lines);
    };
    const std::string ellipsis = "\u2026";
    struct Case {
        std::string text;
        std::string shown;
    } cases[] = {
        {std::string(1000, 'a'), std::string(1000, 'a')},
        {std::string(1'000'000, 'a'), std::string(1000, 'a') + ellipsis},
        // Cut between characters, never inside one: 2 and 3 bytes each.
        {std::string(999, 'a') + "\u00e9\u00e9", std::string(999, 'a') + "\u00e9" + ellipsis},
        {[] { std::string s; for (int i = 0; i < 2000; ++i) s += "\u4e2d"; return s; }(),
         [&] { std::string s; for (int i = 0; i < 1000; ++i) s += "\u4e2d"; return s + ellipsis; }()},
    };
    for (const auto& c : cases) {
        for (const View& view : {Text(c.text), Label(c.text, "play.fill")}) {
            longest = 0;
            LayoutOptions options;
            options.size = {300, 300};
            auto layout = layOut(view.font(Font::system(10)), options, counting);
            ASSERT_EQ(texts(layout).size(), 1u);
            EXPECT_EQ(texts(layout)[0].text, c.shown);
            EXPECT_LE(longest, c.shown.size());
        }
    }
}

TEST(Layout, PillSpansTheFullWidthOfItsColumn) {
    auto pill = Label("Go", "play.fill")
                    .font(Font::system(12))
                    .lineLimit(1)
                    .frame(std::nullopt, infinity, std::nullopt, std::nullopt, Alignment::center())
                    .padding(Edges::vertical, 7)
                    .background(Capsule(CornerStyle::continuous).fill(Color::black()));
    auto layout = run(VStack(HorizontalAlignment::leading, 0, {text("a long title here"), pill}), {150, 100});
    auto capsule = boxes(layout, "Shape")[0].frame;
    EXPECT_EQ(capsule.x, 0);
    EXPECT_EQ(capsule.width, 150);
    EXPECT_NEAR(capsule.height, 14.4 + 14, 1e-9);
    // Symbol 9.6 wide, a gap of 4.2, the title 12: centred in the pill.
    auto label = boxes(layout, "Label")[0].frame;
    EXPECT_NEAR(label.width, 25.8, 1e-9);
    EXPECT_NEAR(label.x, (150 - 25.8) / 2, 1e-9);
}

TEST(Layout, ButtonsAreEnabledOnlyWhenEveryFlagAroundThemIs) {
    IntentValue a{"A", {}}, b{"B", {{"name", "x"}}};
    auto buttons = [&](bool outerDisabled) {
        auto view = VStack(HorizontalAlignment::leading, 4,
                           {Button(a, text("First")).disabled(false), Button(b, text("Second")).disabled(true)})
                        .disabled(outerDisabled);
        return run(view, {100, 100}).buttons;
    };
    auto enabled = buttons(false);
    ASSERT_EQ(enabled.size(), 2u);
    EXPECT_TRUE(enabled[0].enabled);
    EXPECT_FALSE(enabled[1].enabled);
    EXPECT_EQ(enabled[1].intent, b);
    auto disabled = buttons(true);
    EXPECT_FALSE(disabled[0].enabled);  // disabled(false) inside cannot undo the outer flag
    EXPECT_FALSE(disabled[1].enabled);
}

TEST(Layout, ButtonRegionsCarryFrameAndAccessibilityLabel) {
    auto view = HStack(VerticalAlignment::center, 0,
                       {Button({"Go", {}}, Label("Start", "play.fill").font(Font::system(10))).buttonStyle(ButtonStyle::plain),
                        Spacer(0),
                        Button({"Row", {}}, Image("play.fill").frame(22, 22)).buttonStyle(ButtonStyle::plain)
                            .accessibilityLabel("Start tracking: Weekly sync")})
                    .accessibilityHidden(false);
    auto layout = run(view, {100, 30});
    ASSERT_EQ(layout.buttons.size(), 2u);
    EXPECT_EQ(layout.buttons[0].accessibilityLabel, "Start");
    EXPECT_EQ(layout.buttons[1].accessibilityLabel, "Start tracking: Weekly sync");
    EXPECT_EQ(layout.buttons[1].frame, (Rect{78, 4, 22, 22}));
    EXPECT_FALSE(layout.buttons[1].accessibilityHidden);

    auto hidden = run(Button({"Go", {}}, text("x")).accessibilityHidden(true), {50, 50});
    EXPECT_TRUE(hidden.buttons[0].accessibilityHidden);
}

TEST(Layout, LiveTimersShowElapsedTimeAtTheGivenMoment) {
    Date start = Date::fromSeconds(1000);
    auto layout = run(VStack(HorizontalAlignment::leading, 0, {TimerText(start), TimerText(start.addingSeconds(10000))}),
                      {100, 100}, 0, start.addingSeconds(3725.9));
    EXPECT_TRUE(layout.hasLiveTimers);
    EXPECT_EQ(layout.texts, (std::vector<std::string>{"1:02:05", "0:00:00"}));
    EXPECT_FALSE(run(text("static"), {50, 50}).hasLiveTimers);
    EXPECT_EQ(timerText(start, start.addingSeconds(360000)), "100:00:00");
    EXPECT_EQ(timerText(start, start.addingSeconds(1e300)), "2500000000000:00:00");
}

// A second passing must leave the layout as a fresh one at the new moment would be, or ask for one.
TEST(Layout, LiveTimersMoveOnInPlaceOnlyWhileTheirDigitsAloneChange) {
    Date start = Date::fromSeconds(1000);
    struct Case {
        const char* name;
        bool monospaced;
        double from, to;  // seconds since start
        std::optional<std::size_t> changed;  // frames repainted; nothing: lay out again
    };
    for (auto c : {Case{"a second", true, 3725, 3726, 1}, Case{"the same second", true, 3725, 3725.5, 0},
                   Case{"another digit", true, 35999, 36000, std::nullopt},
                   Case{"proportional digits", false, 3725, 3726, std::nullopt}}) {
        SCOPED_TRACE(c.name);
        Font font = c.monospaced ? Font::system(20).withMonospacedDigit() : Font::system(20);
        auto view = VStack(HorizontalAlignment::leading, 2, {text("Design"), TimerText(start).font(font), text("after")});
        Layout layout = run(view, {170, 170}, 16, start.addingSeconds(c.from));
        Layout before = layout;
        auto frames = advanceLiveTimers(layout, start.addingSeconds(c.to));
        if (!c.changed) {
            EXPECT_FALSE(frames);
            EXPECT_EQ(layout.texts, before.texts);
            continue;
        }
        ASSERT_TRUE(frames);
        EXPECT_EQ(frames->size(), *c.changed);
        Layout fresh = run(view, {170, 170}, 16, start.addingSeconds(c.to));
        EXPECT_EQ(layout.texts, fresh.texts);
        auto moved = texts(layout);
        auto expected = texts(fresh);
        ASSERT_EQ(moved.size(), expected.size());
        for (std::size_t i = 0; i < moved.size(); ++i) {
            EXPECT_EQ(moved[i].text, expected[i].text);
            EXPECT_EQ(moved[i].frame, expected[i].frame);
        }
        if (*c.changed) {
            EXPECT_EQ((*frames)[0], moved[1].frame);
        }
    }
}

TEST(Layout, WidgetUrlAndContainerBackgroundComeFromTheirModifiers) {
    auto view = text("x").widgetURL("kelvo://timer").containerBackground(Color::black());
    auto layout = run(view, {170, 170}, 16);
    EXPECT_EQ(layout.widgetURL, "kelvo://timer");
    ASSERT_TRUE(layout.containerBackground);
    EXPECT_EQ(*layout.containerBackground, Color::black());
    EXPECT_FALSE(run(text("x").widgetURL(std::nullopt), {50, 50}).widgetURL);
}

TEST(Layout, ModifiersCloserToTheContentWin) {
    auto t = texts(run(text("x", 10).font(Font::system(20)).foregroundStyle(Color::secondary())
                           .foregroundStyle(Color::primary()), {50, 50}))[0];
    EXPECT_EQ(t.font.size, 10);
    EXPECT_EQ(t.color, Color::secondary());
}

TEST(Layout, ShapesFillWithTheirOwnColourOrTheForegroundStyle) {
    auto layout = run(HStack(VerticalAlignment::center, 0,
                             {Circle().fill(Color::white()).frame(6, 6), Circle().frame(6, 6)})
                          .foregroundStyle(Color::secondary()),
                      {50, 50});
    std::vector<Color> fills;
    for (const auto& c : layout.commands)
        if (const auto* s = std::get_if<draw::Shape>(&c)) fills.push_back(s->color);
    EXPECT_EQ(fills, (std::vector<Color>{Color::white(), Color::secondary()}));
}

}  // namespace
}  // namespace platform::views

namespace platform::views {
namespace {

// Skipping the described tree must change nothing that is drawn or pressed.
TEST(Layout, SkippingThePlacedTreeKeepsEverythingDrawn) {
    auto view = VStack(HorizontalAlignment::leading, 4,
                       {text("Title", 13), Spacer(6),
                        Button(IntentValue{"Go", {}}, Label("Start", "play.fill")).accessibilityLabel("Start now")})
                    .frame(std::nullopt, infinity, std::nullopt, infinity, Alignment::leading());
    LayoutOptions options;
    options.size = {170, 170};
    Layout recorded = layOut(view, options, testing::fakeTextMeasurer());
    options.placedBoxes = PlacedBoxes::skipped;
    Layout skipped = layOut(view, options, testing::fakeTextMeasurer());

    EXPECT_FALSE(recorded.boxes.empty());
    EXPECT_TRUE(skipped.boxes.empty());
    EXPECT_EQ(skipped.commands.size(), recorded.commands.size());
    EXPECT_EQ(skipped.texts, recorded.texts);
    ASSERT_EQ(skipped.buttons.size(), 1u);
    EXPECT_EQ(skipped.buttons[0].frame, recorded.buttons[0].frame);
    EXPECT_EQ(skipped.buttons[0].accessibilityLabel, "Start now");
}

}  // namespace
}  // namespace platform::views
