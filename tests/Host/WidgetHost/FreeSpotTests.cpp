#include "Host/WidgetHost/FreeSpot.hpp"

#include <gtest/gtest.h>

namespace widgethost {
namespace {

struct Case {
    const char* name;
    DesktopArea output;
    int width;
    int height;
    std::vector<DesktopArea> occupied;
    std::optional<WidgetPosition> expected;
};

TEST(FreeSpot, FindsTheLeftmostTopmostCornerThatCoversNothing) {
    const DesktopArea fullHd{0, 0, 1920, 1080};
    const DesktopArea rightOutput{1920, 0, 1280, 1024};
    const std::vector<Case> cases{
        {"empty output: its corner", fullHd, 364, 170, {}, WidgetPosition{24, 24}},
        {"second output: its own corner", rightOutput, 170, 170, {}, WidgetPosition{1944, 24}},
        {"below the first widget", fullHd, 364, 170, {{24, 24, 364, 170}}, WidgetPosition{24, 218}},
        {"a gap between two widgets that is too small is skipped", fullHd, 170, 170,
         {{24, 24, 170, 170}, {24, 300, 170, 170}}, WidgetPosition{24, 494}},
        {"a gap that fits is taken", fullHd, 170, 170, {{24, 24, 170, 170}, {24, 412, 170, 170}},
         WidgetPosition{24, 218}},
        {"a full column: the next one", {0, 0, 800, 600}, 364, 170,
         {{24, 24, 364, 170}, {24, 218, 364, 170}, {24, 412, 364, 170}}, WidgetPosition{412, 24}},
        {"a widget moved off the grid is gone round", fullHd, 364, 170, {{100, 50, 170, 170}},
         WidgetPosition{24, 244}},
        {"widgets on another output do not count", rightOutput, 364, 170, {{24, 24, 364, 170}},
         WidgetPosition{1944, 24}},
        {"a widget reaching over from another output counts", rightOutput, 364, 170, {{1800, 24, 364, 170}},
         WidgetPosition{1944, 218}},
        {"a full output: nothing", {0, 0, 400, 400}, 364, 170, {{24, 24, 364, 170}, {24, 218, 364, 170}},
         std::nullopt},
        {"an output smaller than the widget: nothing", {0, 0, 300, 300}, 364, 170, {}, std::nullopt},
    };
    for (const auto& c : cases) {
        auto spot = freeSpot(c.output, c.width, c.height, c.occupied);
        EXPECT_EQ(spot.has_value(), c.expected.has_value()) << c.name;
        if (spot && c.expected) {
            EXPECT_EQ(*spot, *c.expected) << c.name << ": got " << spot->x << "," << spot->y;
        }
    }
}

}  // namespace
}  // namespace widgethost
