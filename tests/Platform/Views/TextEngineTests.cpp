#include "Platform/Views/TextEngine.hpp"

#include <cairo.h>
#include <cmath>
#include <cstring>
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

// A live timer's glyphs are put together from one shaping; each second must look exactly as the
// text shaped whole, in every timer font (digit cells for the rounded one) and at every scale, and
// shape nothing new.
TEST(TextEngine, TimerDrawnFromOneShapingLooksExactlyAsShapedWhole) {
    auto pixels = [](const draw::Text& t, double scale, bool whole) {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 200, 50);
        cairo_surface_set_device_scale(surface, scale, scale);
        cairo_t* cr = cairo_create(surface);
        (whole ? drawTextShapedWhole : drawText)(cr, t, RGBA{0.1, 0.2, 0.3, 1});
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        auto* data = cairo_image_surface_get_data(surface);
        std::string out(reinterpret_cast<const char*>(data), cairo_image_surface_get_stride(surface) * 50);
        cairo_surface_destroy(surface);
        return out;
    };
    // Texts beside a timer are repainted with it, from their glyphs too.
    const std::vector<std::string> seconds{"0:00:00", "4:44:44", "1:23:45", "14:07:59", "123:45:06", "9:58", "0:01",
                                           "Today", "Sprint planning \u00b7 Mobile app"};
    for (Font font : {Font::system(11, FontWeight::medium), Font::system(13), Font::system(26, FontWeight::semibold),
                      Font::system(26, FontWeight::semibold, FontDesign::rounded)}) {
        font.monospacedDigit = true;
        for (double scale : {1.0, 2.0, 3.0}) {
            for (const auto& text : seconds) {
                draw::Text t{{3.3, 2.7, 190, 40}, text, font, Color{}, 1, TextAlignment::leading, 190};
                EXPECT_EQ(pixels(t, scale, false), pixels(t, scale, true)) << text << " at " << font.size << " pt, scale " << scale;
            }
        }
        draw::Text t{{0, 0, 190, 40}, "0:00:00", font, Color{}, 1, TextAlignment::leading, 190};
        pixels(t, 1, false);
        std::size_t kept = keptTextLayouts();
        for (const auto* text : {"4:44:44", "1:23:45", "7:08:59"}) {
            t.text = text;
            pixels(t, 1, false);
        }
        EXPECT_LE(keptTextLayouts(), kept) << font.size << " pt";
    }
}

// A window repaints only where a live timer's pixels can be, so none may fall outside that.
TEST(TextEngine, LiveTimerPixelsStayWithinTheirBoundsForAnyDigits) {
    Font tabular = Font::system(11, FontWeight::medium).withMonospacedDigit();
    Font cells = Font::system(26, FontWeight::semibold, FontDesign::rounded).withMonospacedDigit();
    for (const Font& font : {tabular, cells}) {
        for (double scale : {1.0, 2.0, 3.0}) {
            for (const auto* text : {"0:00:00", "1:11:11", "4:47:47", "8:08:08", "9:59:59", "7:32:16"}) {
                draw::Text t{{5.4, 4.6, 150, 40}, text, font, Color{}, 1, TextAlignment::leading, 150};
                Rect bounds = liveTextBounds(t);
                int width = 170 * static_cast<int>(scale), height = 50 * static_cast<int>(scale);
                cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
                cairo_surface_set_device_scale(surface, scale, scale);
                cairo_t* cr = cairo_create(surface);
                drawText(cr, t, RGBA{0, 0, 0, 1});
                cairo_destroy(cr);
                cairo_surface_flush(surface);
                const unsigned char* data = cairo_image_surface_get_data(surface);
                int stride = cairo_image_surface_get_stride(surface), outside = 0;
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x) {
                        bool inside = x >= std::floor(bounds.x * scale) && x < std::ceil((bounds.x + bounds.width) * scale) &&
                                      y >= std::floor(bounds.y * scale) && y < std::ceil((bounds.y + bounds.height) * scale);
                        if (data[y * stride + x] && !inside) ++outside;
                    }
                cairo_surface_destroy(surface);
                EXPECT_EQ(outside, 0) << text << " at " << font.size << " pt, scale " << scale;
                EXPECT_LT(bounds.height, t.font.size * 1.2) << "bounds as tall as the line: nothing gained";
            }
        }
    }
}

}  // namespace
}  // namespace platform::views
