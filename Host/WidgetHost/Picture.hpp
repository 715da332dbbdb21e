#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Views/WidgetRenderer.hpp"

// A widget's picture as pixels, and its PNG file. The host paints first and encodes only when the
// pixels changed: a live timer redraws every second, and PNG encoding is most of what that costs.
namespace widgethost {

struct Picture {
    int width = 0;
    int height = 0;
    int stride = 0;                       // bytes per row
    std::vector<std::uint8_t> pixels;     // premultiplied ARGB32 in native byte order, as cairo keeps it

    friend bool operator==(const Picture&, const Picture&) = default;
};

/// Paints a laid-out widget at `widgetSize(family) × scale` pixels. Nothing when it cannot be painted.
std::optional<Picture> paintPicture(const platform::views::WidgetLayoutInfo& layout, platform::WidgetFamily family,
                                    double scale, platform::views::Appearance appearance,
                                    platform::WidgetRenderingMode mode = platform::WidgetRenderingMode::fullColor);

/// A fingerprint of the pixels, to notice whether a picture changed without keeping the last one.
std::size_t fingerprint(const Picture& picture);

/// PNG bytes (8-bit RGBA, straight alpha) with fast compression. Nothing for an empty picture.
std::optional<std::string> encodePng(const Picture& picture);

}  // namespace widgethost
