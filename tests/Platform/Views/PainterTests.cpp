#include "Platform/Views/WidgetRenderer.hpp"

#include <cairo.h>
#include <cmath>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Platform/Views/Painter.hpp"
#include "Platform/Views/TextEngine.hpp"
#include "Platform/Views/ViewJson.hpp"

namespace platform::views {
namespace {

using nlohmann::json;

const Date start = Date::fromSeconds(1700000000);

View sampleTree() {
    return VStack(HorizontalAlignment::leading, 4,
                  {Label("Offline", "wifi.slash").font(Font::system(11, FontWeight::medium)),
                   TimerText(start).font(Font::system(26, FontWeight::semibold, FontDesign::rounded)).monospacedDigit(),
                   Image("power").font(Font::system(11, FontWeight::heavy)),
                   Button({"Stop", {}}, Label("Stop", "stop.fill").frame(std::nullopt, infinity, std::nullopt,
                                                                        std::nullopt, Alignment::center())
                                            .padding(Edges::vertical, 7)
                                            .background(Capsule(CornerStyle::continuous).fill(Color::black())))
                       .buttonStyle(ButtonStyle::plain)})
        .frame(std::nullopt, infinity, std::nullopt, infinity, Alignment::topLeading())
        .widgetURL("kelvo://timer")
        .containerBackground(Color::dynamic({1, 1, 1, 1}, {31 / 255.0, 14 / 255.0, 40 / 255.0, 1}));
}

WidgetView widget() { return *WidgetView::fromJson(toJson(sampleTree())); }

std::pair<int, int> pngSize(const std::string& png) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(png[i]); };
    auto be32 = [&](std::size_t i) { return (byte(i) << 24) | (byte(i + 1) << 16) | (byte(i + 2) << 8) | byte(i + 3); };
    return {be32(16), be32(20)};
}

TEST(Painter, TheFontsAreReallyThere) {
    // fontconfig falls back to another family without a word; the pictures would be wrong.
    EXPECT_TRUE(missingFonts().empty());
}

TEST(Painter, PngHasTheWidgetSizeTimesTheScale) {
    for (double scale : {1.0, 2.0, 1.5}) {
        for (auto family : {WidgetFamily::systemSmall, WidgetFamily::systemMedium}) {
            auto png = renderPng(widget(), {family, scale, Appearance::dark, start.addingSeconds(61)});
            ASSERT_TRUE(png);
            ASSERT_GT(png->size(), 24u);
            EXPECT_EQ(png->substr(1, 3), "PNG");
            auto [w, h] = pngSize(*png);
            EXPECT_EQ(w, static_cast<int>(std::ceil(widgetSize(family).width * scale)));
            EXPECT_EQ(h, static_cast<int>(std::ceil(widgetSize(family).height * scale)));
        }
    }
}

TEST(Painter, SvgIsAnSvgDocument) {
    auto svg = renderSvg(widget(), {WidgetFamily::systemMedium, 1, Appearance::light, start});
    ASSERT_TRUE(svg);
    EXPECT_NE(svg->find("<svg"), std::string::npos);
    EXPECT_NE(svg->find("364pt"), std::string::npos);
}

TEST(Painter, RefusesUnusableScalesAndMalformedTrees) {
    EXPECT_FALSE(renderPng(widget(), {WidgetFamily::systemSmall, 0, Appearance::light, start}));
    EXPECT_FALSE(renderPng(widget(), {WidgetFamily::systemSmall, -1, Appearance::light, start}));
    EXPECT_FALSE(renderSvg(widget(), {WidgetFamily::systemSmall, std::nan(""), Appearance::light, start}));
    EXPECT_FALSE(renderPng(json{{"type", "nonsense"}}, RenderOptions{}));
    EXPECT_FALSE(layOut(json::array(), WidgetFamily::systemSmall, start));
}

TEST(Painter, PaintsTheBackgroundForTheAppearanceInsideRoundedCorners) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 170, 170);
    cairo_t* cr = cairo_create(surface);
    ASSERT_TRUE(paint(cr, widget(), {WidgetFamily::systemSmall, 1, Appearance::dark, start}));
    cairo_surface_flush(surface);
    auto pixel = [&](int x, int y) {
        auto* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
        return reinterpret_cast<std::uint32_t*>(row)[x];
    };
    EXPECT_EQ(pixel(160, 100), 0xFF1F0E28u);  // opaque dark background, away from any content
    EXPECT_EQ(pixel(0, 0) >> 24, 0u);          // the corner stays transparent
    cairo_destroy(cr);
    cairo_surface_destroy(surface);

    cairo_surface_t* broken = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, -1, -1);
    cairo_t* bad = cairo_create(broken);
    EXPECT_FALSE(paint(bad, widget(), RenderOptions{}));
    cairo_destroy(bad);
    cairo_surface_destroy(broken);
}

// Two red halves, the left one in the accent group: only the accented mode tints it, never the other.
TEST(Painter, TheAccentedModeTintsTheAccentGroup) {
    View halves = HStack(VerticalAlignment::center, 0,
                         {Rectangle().fill(Color::srgb(1, 0, 0)).frame(69, 138).widgetAccentable(),
                          Rectangle().fill(Color::srgb(1, 0, 0)).frame(69, 138)});
    auto view = *WidgetView::fromJson(toJson(halves));
    struct Case {
        WidgetRenderingMode mode;
        std::uint32_t left;
    };
    for (auto [mode, left] : {Case{WidgetRenderingMode::fullColor, 0xFFFF0000u}, Case{WidgetRenderingMode::vibrant, 0xFFFF0000u},
                              Case{WidgetRenderingMode::accented, 0xFF007AFFu}}) {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 170, 170);
        cairo_t* cr = cairo_create(surface);
        ASSERT_TRUE(paint(cr, view, {WidgetFamily::systemSmall, 1, Appearance::light, start, mode}));
        cairo_surface_flush(surface);
        auto pixel = [&](int x, int y) {
            return reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface))[x];
        };
        EXPECT_EQ(pixel(50, 85), left) << toString(mode);
        EXPECT_EQ(pixel(120, 85), 0xFFFF0000u) << toString(mode);
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
}

// A window repaints only a clip; what it paints there must be what the whole picture has there,
// at any scale, whether or not the clip reaches a rounded corner.
TEST(Painter, TextColoursReadOnTheDefaultBackground) {
    // WCAG's contrast of a colour drawn over an opaque background, as it ends up on screen.
    auto luminance = [](double r, double g, double b) {
        auto linear = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(r) + 0.7152 * linear(g) + 0.0722 * linear(b);
    };
    for (auto appearance : {Appearance::light, Appearance::dark}) {
        RGBA back = defaultContainerBackground().resolved(appearance);
        for (const auto& [name, color] : {std::pair{"primary", Color::primary()}, {"secondary", Color::secondary()}}) {
            RGBA fore = color.resolved(appearance);
            auto over = [&](double f, double b) { return f * fore.alpha + b * (1 - fore.alpha); };
            double text = luminance(over(fore.red, back.red), over(fore.green, back.green), over(fore.blue, back.blue));
            double ground = luminance(back.red, back.green, back.blue);
            double ratio = (std::max(text, ground) + 0.05) / (std::min(text, ground) + 0.05);
            EXPECT_GE(ratio, 4.5) << name << (appearance == Appearance::dark ? " on dark" : " on light");
        }
    }
}

TEST(Painter, APartialRepaintMatchesTheWholePictureInsideTheClip) {
    auto info = layOut(widget(), WidgetFamily::systemSmall, start.addingSeconds(3725));
    for (int scale : {1, 2, 3}) {
        auto picture = [&](const Rect* clip) {
            cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 170 * scale, 170 * scale);
            cairo_t* cr = cairo_create(surface);
            if (clip) {
                cairo_rectangle(cr, clip->x * scale, clip->y * scale, clip->width * scale, clip->height * scale);
                cairo_clip(cr);
            }
            EXPECT_TRUE(paint(cr, info, scale, Appearance::dark));
            cairo_destroy(cr);
            cairo_surface_flush(surface);
            return surface;
        };
        cairo_surface_t* whole = picture(nullptr);
        // The timer's frame, clips that only touch the edge of the button's capsule and of a label,
        // corners, and the left edge beside and below a corner's curve.
        for (Rect clip : {Rect{16, 33, 107, 33}, Rect{10, 83, 40, 4}, Rect{60, 12, 20, 8}, Rect{0, 0, 10, 10},
                          Rect{150, 140, 20, 30}, Rect{0, 20, 12, 30}, Rect{0, 60, 12, 20}}) {
            SCOPED_TRACE(testing::Message() << "scale " << scale << ", " << clip.x << "," << clip.y << " " << clip.width
                                            << "x" << clip.height);
            cairo_surface_t* part = picture(&clip);
            int stride = cairo_image_surface_get_stride(whole);
            int differing = 0;
            for (int y = static_cast<int>(clip.y * scale); y < static_cast<int>((clip.y + clip.height) * scale); ++y)
                for (int x = static_cast<int>(clip.x * scale); x < static_cast<int>((clip.x + clip.width) * scale); ++x) {
                    auto at = [&](cairo_surface_t* s) { return reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(s) + y * stride)[x]; };
                    differing += at(whole) != at(part);
                }
            EXPECT_EQ(differing, 0);
            cairo_surface_destroy(part);
        }
        cairo_surface_destroy(whole);
    }
}

// A window skips clearing below the widget only where its opaque background covers the whole clip.
TEST(Painter, CoversAClipOnlyInsideAnOpaqueBackgroundAwayFromTheCorners) {
    Layout opaque = *layOut(widget(), WidgetFamily::systemSmall, start).placed;
    Layout translucent = opaque;
    translucent.containerBackground = Color::srgb(0, 0, 0, 0.5);
    struct Case {
        const Layout& layout;
        Rect clip;
        double offset;
        bool covered;
    } cases[] = {{opaque, {16, 33, 107, 33}, 0, true},       {opaque, {0, 0, 10, 10}, 0, false},
                 {opaque, {16, 33, 107, 33}, 0.5, false},    {translucent, {16, 33, 107, 33}, 0, false},
                 {opaque, {165, 60, 10, 10}, 0, false}};
    for (const auto& c : cases) {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 200, 200);
        cairo_t* cr = cairo_create(surface);
        cairo_translate(cr, c.offset, 0);
        cairo_rectangle(cr, c.clip.x, c.clip.y, c.clip.width, c.clip.height);
        cairo_clip(cr);
        EXPECT_EQ(coversClip(cr, c.layout, Appearance::dark), c.covered) << c.clip.x << "," << c.clip.y << " +" << c.offset;
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
}

// The screen may still paint the layout a second moved on from: that one must stay as it was.
TEST(Painter, ASecondMovesTheTimersOfANewLayoutAndLeavesTheShownOneAlone) {
    auto shown = layOut(widget(), WidgetFamily::systemSmall, start.addingSeconds(3725), PlacedBoxes::skipped);
    auto moved = advanceLiveTimers(shown, start.addingSeconds(3726));
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->texts, layOut(widget(), WidgetFamily::systemSmall, start.addingSeconds(3726), PlacedBoxes::skipped).texts);
    EXPECT_EQ(shown.texts, (std::vector<std::string>{"Offline", "1:02:05", "Stop"}));
    EXPECT_EQ(shown.placed->texts, shown.texts);
    EXPECT_NE(moved->placed, shown.placed);
    EXPECT_FALSE(advanceLiveTimers(shown, start.addingSeconds(36000)));  // 10:00:00 is wider
}

TEST(Painter, LayoutInfoListsButtonsTextsAndLink) {
    auto info = layOut(widget(), WidgetFamily::systemSmall, start.addingSeconds(3725));
    ASSERT_EQ(info.buttons.size(), 1u);
    EXPECT_EQ(info.buttons[0].accessibilityLabel, "Stop");
    EXPECT_EQ(info.buttons[0].frame.width, 138);
    EXPECT_EQ(info.texts, (std::vector<std::string>{"Offline", "1:02:05", "Stop"}));
    EXPECT_TRUE(info.hasLiveTimers);
    EXPECT_EQ(info.widgetURL, "kelvo://timer");
    EXPECT_NE(info.dump.find("Button Stop enabled plain"), std::string::npos) << info.dump;
    EXPECT_TRUE(widget().hasLiveTimers());
    EXPECT_EQ(widget().widgetURL(), "kelvo://timer");
    EXPECT_FALSE(WidgetView::fromJson(toJson(Text("x")))->hasLiveTimers());
}

class PangoMeasurer : public ::testing::Test {
protected:
    const TextMeasurer& m = pangoTextMeasurer();
    double width(const std::string& s, const Font& f) { return m.measure(s, f, infinity, 1).width; }
};

TEST_F(PangoMeasurer, MonospacedDigitsKeepTheirWidth) {
    for (auto design : {FontDesign::standard, FontDesign::rounded}) {
        Font mono = Font::system(26, FontWeight::semibold, design).withMonospacedDigit();
        // Inter's tabular four is a few thousandths of an em narrower than its other figures.
        EXPECT_NEAR(width("0:00:00", mono), width("1:11:11", mono), 0.05) << toString(design);
        EXPECT_NEAR(width("0:00:00", mono), width("0:47:38", mono), 0.05) << toString(design);
        // Without the feature the digits differ, or the check above would prove nothing.
        Font proportional = Font::system(26, FontWeight::semibold, design);
        EXPECT_GT(std::abs(width("0:00:00", proportional) - width("1:11:11", proportional)), 0.5) << toString(design);
    }
}

TEST_F(PangoMeasurer, EllipsizesAtTheLineLimit) {
    Font f = Font::system(13, FontWeight::semibold);
    std::string longText = "A rather long entry name that cannot possibly fit on two short lines of text";
    auto one = m.measure(longText, f, 100, 1);
    EXPECT_TRUE(one.truncated);
    EXPECT_EQ(one.lines, 1);
    EXPECT_LE(one.width, 100.001);
    auto two = m.measure(longText, f, 100, 2);
    EXPECT_TRUE(two.truncated);
    EXPECT_EQ(two.lines, 2);
    EXPECT_NEAR(two.height, 2 * m.lineHeight(f), 0.5);
    auto fits = m.measure("Short", f, 100, 2);
    EXPECT_FALSE(fits.truncated);
    EXPECT_EQ(fits.lines, 1);
    EXPECT_LT(fits.width, 50);
    // Line breaks count toward the limit too.
    auto paragraphs = m.measure("a\nb\nc", f, 100, 2);
    EXPECT_TRUE(paragraphs.truncated) << paragraphs.lines << " " << paragraphs.height;
}

TEST_F(PangoMeasurer, MeasuresTheSameEveryTime) {
    Font f = Font::system(12);
    auto first = m.measure("Customer interviews", f, 80, 1);
    auto again = m.measure("Customer interviews", f, 80, 1);
    EXPECT_EQ(first.width, again.width);
    EXPECT_EQ(first.height, again.height);
    EXPECT_GT(m.lineHeight(Font::system(26)), m.lineHeight(Font::system(13)));
}

}  // namespace
}  // namespace platform::views
