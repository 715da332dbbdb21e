#include "Host/WidgetHost/FreeSpot.hpp"

#include <gtest/gtest.h>

#include <random>

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


// Every corner tried against every area: slow, but plainly right.
std::optional<WidgetPosition> everyCorner(const DesktopArea& output, int width, int height,
                                          const std::vector<DesktopArea>& occupied, int gap = 24) {
    for (int x = output.x + gap; x + width <= output.x + output.width - gap; ++x)
        for (int y = output.y + gap; y + height <= output.y + output.height - gap; ++y)
            if (std::none_of(occupied.begin(), occupied.end(), [&](const DesktopArea& a) {
                    return x < a.x + a.width + gap && a.x < x + width + gap && y < a.y + a.height + gap &&
                           a.y < y + height + gap;
                }))
                return WidgetPosition{x, y};
    return std::nullopt;
}

TEST(FreeSpot, AgreesWithTryingEveryCornerOnCrowdedOutputs) {
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        const DesktopArea output{0, 0, 300, 240};
        std::uniform_int_distribution<int> x(-40, 300), y(-40, 240), side(10, 90), count(0, 12);
        std::vector<DesktopArea> occupied;
        for (int i = count(random); i > 0; --i) occupied.push_back({x(random), y(random), side(random), side(random)});
        int width = side(random), height = side(random);
        auto spot = freeSpot(output, width, height, occupied, 8);
        auto expected = everyCorner(output, width, height, occupied, 8);
        ASSERT_EQ(spot.has_value(), expected.has_value()) << "round " << round;
        if (spot) {
            EXPECT_EQ(*spot, *expected) << "round " << round;
        }
    }
}

}  // namespace
}  // namespace widgethost
