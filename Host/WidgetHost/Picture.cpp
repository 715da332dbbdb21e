#include "Host/WidgetHost/Picture.hpp"

#include <cairo.h>
#include <png.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string_view>

namespace widgethost {
namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

// libpng reports errors by longjmp; the row buffer is the only resource it can skip past, and
// it lives outside the jump.
bool writePng(const Picture& picture, std::string& out, std::vector<png_byte>& row) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, &out, appendBytes, nullptr);
    // Run-length coding after the Sub filter suits flat user-interface pictures and costs a
    // fraction of the default deflate.
    png_set_compression_level(png, Z_BEST_SPEED);
    png_set_compression_strategy(png, Z_RLE);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    for (int y = 0; y < picture.height; ++y) {
        const auto* source = reinterpret_cast<const std::uint32_t*>(picture.pixels.data() + y * picture.stride);
        for (int x = 0; x < picture.width; ++x) {
            std::uint32_t argb = source[x];
            std::uint32_t alpha = argb >> 24;
            png_byte* target = &row[static_cast<size_t>(x) * 4];
            // Most of a widget is opaque or clear; only edges need the division.
            if (alpha == 255 || alpha == 0) {
                target[0] = static_cast<png_byte>(argb >> 16);
                target[1] = static_cast<png_byte>(argb >> 8);
                target[2] = static_cast<png_byte>(argb);
                target[3] = static_cast<png_byte>(alpha);
                continue;
            }
            auto straight = [alpha](std::uint32_t premultiplied) -> png_byte {
                return static_cast<png_byte>((premultiplied * 255 + alpha / 2) / alpha);
            };
            target[0] = straight((argb >> 16) & 0xff);
            target[1] = straight((argb >> 8) & 0xff);
            target[2] = straight(argb & 0xff);
            target[3] = static_cast<png_byte>(alpha);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

std::optional<Picture> paintPicture(const platform::views::WidgetLayoutInfo& layout, platform::WidgetFamily family,
                                    double scale, platform::views::Appearance appearance,
                                    platform::WidgetRenderingMode mode) {
    auto size = platform::views::widgetSize(family);
    int width = static_cast<int>(std::ceil(size.width * scale));
    int height = static_cast<int>(std::ceil(size.height * scale));
    if (width <= 0 || height <= 0) return std::nullopt;

    Picture picture{width, height, cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width), {}};
    picture.pixels.assign(static_cast<size_t>(picture.stride) * static_cast<size_t>(height), 0);
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create_for_data(picture.pixels.data(), CAIRO_FORMAT_ARGB32, width, height, picture.stride),
        cairo_surface_destroy);
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr(cairo_create(surface.get()), cairo_destroy);
    bool painted = platform::views::paint(cr.get(), layout, scale, appearance, mode);
    cr.reset();
    cairo_surface_flush(surface.get());
    if (!painted) return std::nullopt;
    return picture;
}

std::size_t fingerprint(const Picture& picture) {
    std::string_view bytes(reinterpret_cast<const char*>(picture.pixels.data()), picture.pixels.size());
    return std::hash<std::string_view>{}(bytes) ^ (static_cast<std::size_t>(picture.width) << 32) ^
           static_cast<std::size_t>(picture.height);
}

std::optional<std::string> encodePng(const Picture& picture) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.pixels.size() < static_cast<size_t>(picture.stride) * static_cast<size_t>(picture.height))
        return std::nullopt;
    std::string out;
    std::vector<png_byte> row(static_cast<size_t>(picture.width) * 4);
    if (!writePng(picture, out, row)) return std::nullopt;
    return out;
}

}  // namespace widgethost
