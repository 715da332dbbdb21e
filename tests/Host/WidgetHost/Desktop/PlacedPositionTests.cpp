#include <gtest/gtest.h>

#include "Host/WidgetHost/Desktop/detail/KeepOnOutput.hpp"
#include "Host/WidgetHost/Host.hpp"
#include "Host/WidgetHost/PlacedWidgets.hpp"

namespace {

using namespace widgethost;
using platform::WidgetFamily;

TEST(PlacedPosition, SurvivesTheFileAndStaysAbsentWhereItWas) {
    PlacedWidgetList list;
    list.widgets.push_back({"1", "K", WidgetFamily::systemSmall, "com.example", WidgetPosition{40, -20}});
    list.widgets.push_back({"2", "K", WidgetFamily::systemMedium, "com.example"});
    list.nextNumber = 3;
    auto decoded = decodePlacedWidgets(encodePlacedWidgets(list));
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->widgets.size(), 2u);
    EXPECT_EQ(decoded->widgets[0].position, (WidgetPosition{40, -20}));
    EXPECT_EQ(decoded->widgets[1].position, std::nullopt);
}

TEST(PlacedPosition, ABrokenPositionLosesOnlyThePosition) {
    auto decoded = decodePlacedWidgets(R"({"widgets": [
        {"id": "1", "kind": "K", "family": "systemSmall", "extension": "com.example", "x": "40", "y": 10},
        {"id": "2", "kind": "K", "family": "systemSmall", "extension": "com.example", "x": 40.5, "y": 10},
        {"id": "3", "kind": "K", "family": "systemSmall", "extension": "com.example", "x": 40},
        {"id": "4", "kind": "K", "family": "systemSmall", "extension": "com.example", "x": 1e12, "y": 0},
        {"id": "5", "kind": "K", "family": "systemSmall", "extension": "com.example", "x": 3000000000, "y": 0},
        {"id": "6", "kind": "K", "family": "systemSmall", "extension": "com.example", "x": 1000000, "y": -1000000}]})");
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->widgets.size(), 6u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(decoded->widgets[i].position, std::nullopt) << decoded->widgets[i].id;
    EXPECT_EQ(decoded->widgets[5].position, (WidgetPosition{1000000, -1000000}));
    EXPECT_FALSE(isPlausiblePosition({1000001, 0}));
}

TEST(PlacedPosition, DefaultsFillColumnsFromTheTopLeft) {
    EXPECT_EQ(defaultPosition(0), (WidgetPosition{24, 24}));
    EXPECT_EQ(defaultPosition(1), (WidgetPosition{24, 24 + 194}));
    EXPECT_EQ(defaultPosition(3), (WidgetPosition{24, 24 + 3 * 194}));
    EXPECT_EQ(defaultPosition(4), (WidgetPosition{24 + 388, 24}));
    // Widgets never overlap, whatever their family: a column is as wide as a medium widget.
    for (std::size_t i = 0; i < 16; ++i)
        for (std::size_t j = i + 1; j < 16; ++j) {
            auto a = defaultPosition(i);
            auto b = defaultPosition(j);
            bool apart = std::abs(a.x - b.x) >= 364 || std::abs(a.y - b.y) >= 170;
            EXPECT_TRUE(apart) << i << " and " << j;
        }
}

// Wherever it is asked to go (dragged, moved, placed, or restored from the file), a widget lies
// wholly on one output and out of the panels there.
TEST(PlacedPosition, AWidgetStaysWhollyInTheWorkArea) {
    using widgethost::desktop::SurfacePosition;
    using Area = widgethost::DesktopArea;
    using widgethost::desktop::detail::keepOnOutput;
    using widgethost::desktop::detail::OutputArea;
    using widgethost::desktop::detail::placeSaved;
    using widgethost::desktop::detail::withWorkArea;
    const std::vector<OutputArea> one{{0, 0, 1280, 720, "A", true}};
    // Side by side; the work area spans both (one rectangle for the whole root window).
    const std::vector<OutputArea> two{{0, 0, 1280, 720, "A", true}, {1280, 0, 800, 600, "B"}};
    enum class Ask { desktop, saved };  // a drag or move on the desktop, or a position from the file
    struct Case {
        const char* name;
        Ask ask;
        SurfacePosition wanted;
        std::vector<OutputArea> outputs;
        Area workArea;
        SurfacePosition expected;  // on the desktop
    };
    const Case cases[] = {
        {"a top panel (GNOME's 32 pixels)", Ask::desktop, {24, 24}, one, {0, 32, 1280, 688}, {24, 32}},
        {"a bottom panel", Ask::desktop, {24, 600}, one, {0, 0, 1280, 680}, {24, 680 - 170}},
        {"a left panel", Ask::desktop, {10, 100}, one, {48, 0, 1232, 720}, {48, 100}},
        {"a right panel", Ask::desktop, {1000, 100}, one, {0, 0, 1232, 720}, {1232 - 364, 100}},
        {"inside the work area", Ask::desktop, {300, 100}, one, {0, 32, 1280, 688}, {300, 100}},
        {"dragged against the left edge", Ask::desktop, {-300, 100}, one, {}, {0, 100}},
        {"dragged against the right edge", Ask::desktop, {1400, 100}, one, {}, {1280 - 364, 100}},
        {"dragged against the top edge", Ask::desktop, {100, -500}, one, {}, {100, 0}},
        {"dragged against the bottom edge", Ask::desktop, {100, 5000}, one, {}, {100, 720 - 170}},
        {"dragged into a corner", Ask::desktop, {1270, 710}, one, {}, {1280 - 364, 720 - 170}},
        {"below the smaller second output", Ask::desktop, {1500, 700}, two, {0, 24, 2080, 696}, {1500, 600 - 170}},
        {"under the top panel of the second output", Ask::desktop, {1500, 0}, two, {0, 24, 2080, 696}, {1500, 24}},
        {"over the seam, its centre on the first", Ask::desktop, {1000, 100}, two, {}, {1280 - 364, 100}},
        {"saved under today's panel", Ask::saved, {24, 8}, one, {0, 32, 1280, 688}, {24, 32, "A"}},
        {"saved off a screen that shrank", Ask::saved, {903, 134}, {{0, 0, 640, 400, "A", true}}, {},
         {640 - 364, 134, "A"}},
        {"saved on an output that is gone", Ask::saved, {1800, 900, "B"}, one, {0, 32, 1280, 688},
         {1280 - 364, 720 - 170, "A"}},
        {"no outputs known", Ask::desktop, {5000, 5000}, {}, {}, {5000, 5000}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto outputs = withWorkArea(c.outputs, c.workArea);
        auto landed = c.ask == Ask::saved ? placeSaved(c.wanted, 364, 170, outputs) : keepOnOutput(c.wanted, 364, 170, outputs);
        EXPECT_EQ(landed, c.expected);
    }
}

TEST(PlacedPosition, AWidgetReturnsToItsOwnOutput) {
    using widgethost::desktop::SurfacePosition;
    using widgethost::desktop::detail::OutputArea;
    using widgethost::desktop::detail::placeSaved;
    const OutputArea left{0, 0, 1280, 720, "DP-1", true};
    const OutputArea right{1280, 0, 1920, 1080, "HDMI-1"};
    struct Case {
        const char* name;
        SurfacePosition saved;
        std::vector<OutputArea> outputs;
        SurfacePosition expected;  // on the desktop, naming the output it went to
    };
    const Case cases[] = {
        {"on its output", {100, 80, "HDMI-1"}, {left, right}, {1380, 80, "HDMI-1"}},
        {"its output gone: on the primary", {100, 80, "HDMI-1"}, {left}, {100, 80, "DP-1"}},
        {"its output back, elsewhere in the layout", {100, 80, "HDMI-1"}, {{-1920, 0, 1920, 1080, "HDMI-1"}, left},
         {-1820, 80, "HDMI-1"}},
        {"gone, and too far for the primary", {1800, 900, "HDMI-1"}, {left}, {1280 - 364, 720 - 170, "DP-1"}},
        {"an older record names no output", {100, 80}, {right, left}, {100, 80, "DP-1"}},
        {"no primary: the first output", {100, 80, "VGA-1"}, {{0, 0, 800, 600, "X"}, {800, 0, 800, 600, "Y"}},
         {100, 80, "X"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(placeSaved(c.saved, 364, 170, c.outputs), c.expected);
    }
    // Saved again from where it is: from the corner of the output holding its centre.
    EXPECT_EQ(widgethost::desktop::detail::onOutput({1380, 80}, 364, 170, {left, right}),
              (SurfacePosition{100, 80, "HDMI-1"}));
}

TEST(PlacedPosition, TheOutputSurvivesTheFileAndOlderRecordsStillRead) {
    PlacedWidgetList list;
    list.widgets.push_back({"1", "K", WidgetFamily::systemSmall, "com.example", WidgetPosition{40, 20, "HDMI-1"}});
    auto decoded = decodePlacedWidgets(encodePlacedWidgets(list));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->widgets[0].position, (WidgetPosition{40, 20, "HDMI-1"}));
    decoded = decodePlacedWidgets(R"({"widgets": [
        {"id": "1", "kind": "K", "family": "systemSmall", "extension": "com.example", "x": 40, "y": 20},
        {"id": "2", "kind": "K", "family": "systemSmall", "extension": "com.example", "x": 40, "y": 20, "output": 7}]})");
    ASSERT_TRUE(decoded);
    for (const auto& widget : decoded->widgets) EXPECT_EQ(widget.position, (WidgetPosition{40, 20})) << widget.id;
}

}  // namespace
