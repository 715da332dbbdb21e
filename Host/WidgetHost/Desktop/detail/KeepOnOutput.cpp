#include "Host/WidgetHost/Desktop/detail/KeepOnOutput.hpp"

#include <algorithm>
#include <limits>

namespace widgethost::desktop::detail {
namespace {

// How far a point lies outside [from, from + length), 0 inside.
long long outside(long long value, long long from, long long length) {
    if (value < from) return from - value;
    if (value >= from + length) return value - (from + length - 1);
    return 0;
}

}  // namespace

SurfacePosition keepOnOutput(SurfacePosition corner, int width, int height, const std::vector<OutputArea>& outputs) {
    const OutputArea* nearest = nullptr;
    long long best = std::numeric_limits<long long>::max();
    long long cx = static_cast<long long>(corner.x) + width / 2;
    long long cy = static_cast<long long>(corner.y) + height / 2;
    for (const auto& output : outputs) {
        if (output.width <= 0 || output.height <= 0) continue;
        long long ox = outside(cx, output.x, output.width);
        long long oy = outside(cy, output.y, output.height);
        long long distance = ox * ox + oy * oy;
        if (distance < best) {
            best = distance;
            nearest = &output;
        }
    }
    if (!nearest) return corner;
    // Half the widget may hang over an edge, no more.
    auto clamp = [](int value, int from, int length, int size) {
        return std::clamp(value, from - size / 2, from + length - (size + 1) / 2);
    };
    return {clamp(corner.x, nearest->x, nearest->width, width), clamp(corner.y, nearest->y, nearest->height, height)};
}

}  // namespace widgethost::desktop::detail
