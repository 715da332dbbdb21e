#include "Platform/Views/TextEngine.hpp"

#include <cmath>
#include <gtest/gtest.h>

namespace platform::views {
namespace {

using namespace std::string_literals;

TextMeasurement measure(std::string_view text, const Font& font, double width = infinity, int lines = 0) {
    return pangoTextMeasurer().measure(text, font, width, lines);
}

TEST(TextEngine, LineLimitHoldsAcrossEveryParagraphSeparator) {
    for (std::string separator : {"\n"s, "\r"s, "\r\n"s, "\u2029"s}) {
        std::string text = "line1";
        for (int i = 2; i <= 5; ++i) text += separator + "line" + std::to_string(i);
        auto m = measure(text, Font::system(13), 200, 2);
        EXPECT_LE(m.lines, 2) << "separator " << static_cast<int>(separator[0]);
        EXPECT_TRUE(m.truncated) << "separator " << static_cast<int>(separator[0]);
    }
}

TEST(TextEngine, TimerTooWideForItsDigitCellsCountsAsCutSoItShrinks) {
    // Rounded digits sit in cells as wide as the widest digit; proportional ones would change width.
    Font timer = Font::system(26, FontWeight::semibold, FontDesign::rounded);
    timer.monospacedDigit = true;
    for (std::string text : {"111:11:11", "1000:00:00", "0:24:18"}) {
        double cells = measure(text, timer, infinity, 1).width;
        EXPECT_FALSE(measure(text, timer, cells + 0.01, 1).truncated) << text;
        EXPECT_TRUE(measure(text, timer, cells - 0.5, 1).truncated) << text;
    }
}

// A live timer measures a new text every second, for as long as the host runs.
TEST(TextEngine, KeepsABoundedNumberOfShapedTextsAndStillMeasuresTheOldOnesAlike) {
    Font font = Font::system(13).withMonospacedDigit();
    auto first = measure("0:00:00", font, 120, 1);
    std::size_t most = 0;
    for (int second = 1; second < 3000; ++second) {
        measure(std::to_string(second / 3600) + ":" + std::to_string(second / 60 % 60) + ":" + std::to_string(second % 60), font, 120, 1);
        most = std::max(most, keptTextLayouts());
    }
    EXPECT_LE(most, 600u);
    auto again = measure("0:00:00", font, 120, 1);
    EXPECT_DOUBLE_EQ(again.width, first.width);
    EXPECT_EQ(again.lines, first.lines);
}

TEST(TextEngine, NulShowsAsNothingAndKeepsTheRest) {
    for (auto [with, without] : {std::pair{"ab\0cd"s, "abcd"s}, std::pair{"\0x\0y\0"s, "xy"s}}) {
        EXPECT_DOUBLE_EQ(measure(with, Font::system(13)).width, measure(without, Font::system(13)).width);
    }
}

TEST(TextEngine, WordBrokenAcrossLinesGetsNoHyphen) {
    // Without an inserted hyphen every line is a whole number of letters wide.
    for (char letter : {'m', 'o'}) {
        double letterWidth = measure(std::string(1, letter), Font::system(13)).width;
        auto m = measure(std::string(40, letter), Font::system(13), 100);
        ASSERT_GT(m.lines, 1);
        EXPECT_NEAR(m.width, std::floor(100 / letterWidth) * letterWidth, 0.01) << letter;
    }
}

}  // namespace
}  // namespace platform::views
