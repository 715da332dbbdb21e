#include "Host/WidgetHost/Picture.hpp"

#include <cairo.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include <nlohmann/json.hpp>

#ifdef __SANITIZE_ADDRESS__
// fontconfig keeps its configuration for the life of the process; that is no leak of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif

namespace widgethost {
namespace {

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

Picture pictureOf(int width, int height, std::initializer_list<std::uint32_t> argb) {
    Picture picture{width, height, width * 4, {}};
    picture.pixels.resize(static_cast<size_t>(width * height) * 4);
    std::memcpy(picture.pixels.data(), std::data(argb), picture.pixels.size());
    return picture;
}

Surface decode(const std::string& png) {
    struct Reader {
        const std::string& bytes;
        size_t offset = 0;
    } reader{png};
    auto read = [](void* closure, unsigned char* data, unsigned int length) {
        auto* r = static_cast<Reader*>(closure);
        if (r->offset + length > r->bytes.size()) return CAIRO_STATUS_READ_ERROR;
        std::memcpy(data, r->bytes.data() + r->offset, length);
        r->offset += length;
        return CAIRO_STATUS_SUCCESS;
    };
    return Surface(cairo_image_surface_create_from_png_stream(read, &reader), cairo_surface_destroy);
}

TEST(Picture, PngKeepsEveryPixelThroughPremultipliedAlpha) {
    // Opaque, half-transparent, fully transparent and faint pixels, premultiplied as cairo keeps them.
    auto picture = pictureOf(3, 2, {0xffec84ffu, 0x80762a80u, 0x00000000u, 0x0a050505u, 0xff000000u, 0xffffffffu});
    auto png = encodePng(picture);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    auto surface = decode(*png);
    ASSERT_EQ(cairo_surface_status(surface.get()), CAIRO_STATUS_SUCCESS);
    ASSERT_EQ(cairo_image_surface_get_width(surface.get()), 3);
    ASSERT_EQ(cairo_image_surface_get_height(surface.get()), 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            auto* row = cairo_image_surface_get_data(surface.get()) + y * cairo_image_surface_get_stride(surface.get());
            std::uint32_t got, want;
            std::memcpy(&got, row + x * 4, 4);
            std::memcpy(&want, picture.pixels.data() + (y * 3 + x) * 4, 4);
            for (int shift = 0; shift < 32; shift += 8)
                EXPECT_NEAR(static_cast<int>((got >> shift) & 0xff), static_cast<int>((want >> shift) & 0xff), 1)
                    << x << "," << y << " channel " << shift / 8;
        }
}

TEST(Picture, FingerprintsTellPicturesApart) {
    auto a = pictureOf(2, 1, {0xff000000u, 0xffffffffu});
    auto b = a;
    EXPECT_EQ(fingerprint(a), fingerprint(b));
    b.pixels[5] ^= 1;
    EXPECT_NE(fingerprint(a), fingerprint(b));
    EXPECT_NE(fingerprint(pictureOf(2, 1, {0, 0})), fingerprint(pictureOf(1, 2, {0, 0})));
}

TEST(Picture, EmptyPicturesAreNotEncoded) {
    EXPECT_FALSE(encodePng(Picture{}));
    Picture truncated = pictureOf(2, 1, {0, 0});
    truncated.height = 5;
    EXPECT_FALSE(encodePng(truncated));
}

TEST(Picture, PaintsAWidgetAtItsScale) {
    auto tree = nlohmann::json::parse(R"({"type": "containerBackground", "color": "#0000FF",
                                          "content": {"type": "text", "text": "Hello"}})");
    auto view = platform::views::WidgetView::fromJson(tree);
    ASSERT_TRUE(view);
    for (auto [family, scale, width, height] : {std::tuple{platform::WidgetFamily::systemSmall, 2.0, 340, 340},
                                                std::tuple{platform::WidgetFamily::systemMedium, 1.0, 364, 170}}) {
        auto layout = platform::views::layOut(*view, family, {}, platform::views::PlacedBoxes::skipped);
        auto picture = paintPicture(layout, family, scale, platform::views::Appearance::light);
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->width, width);
        EXPECT_EQ(picture->height, height);
        // The background fills the middle; the rounded corners stay clear.
        std::uint32_t middle, corner;
        std::memcpy(&middle, picture->pixels.data() + (height / 2) * picture->stride + 4, 4);
        std::memcpy(&corner, picture->pixels.data(), 4);
        EXPECT_EQ(middle, 0xff0000ffu);
        EXPECT_EQ(corner >> 24, 0u);
    }
}

}  // namespace
}  // namespace widgethost
