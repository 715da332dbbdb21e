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

// Against an edge a widget stops, wholly inside; one too large for the area keeps its top-left there.
SurfacePosition clampOnto(SurfacePosition corner, int width, int height, const OutputArea& output) {
    DesktopArea area = output.usable();
    auto clamp = [](int value, int from, int length, int size) {
        return std::max(from, std::min(value, from + length - size));
    };
    corner.x = clamp(corner.x, area.x, area.width, width);
    corner.y = clamp(corner.y, area.y, area.height, height);
    return corner;
}

}  // namespace

DesktopArea OutputArea::usable() const {
    if (workArea.width > 0 && workArea.height > 0) return workArea;
    return {x, y, width, height};
}

std::vector<OutputArea> withWorkArea(std::vector<OutputArea> outputs, const DesktopArea& workArea) {
    if (workArea.width <= 0 || workArea.height <= 0) return outputs;
    for (auto& output : outputs) {
        int left = std::max(output.x, workArea.x);
        int top = std::max(output.y, workArea.y);
        int right = std::min(output.x + output.width, workArea.x + workArea.width);
        int bottom = std::min(output.y + output.height, workArea.y + workArea.height);
        if (left < right && top < bottom) output.workArea = {left, top, right - left, bottom - top};
    }
    return outputs;
}

const OutputArea* outputOf(SurfacePosition corner, int width, int height, const std::vector<OutputArea>& outputs) {
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
    return nearest;
}

SurfacePosition keepOnOutput(SurfacePosition corner, int width, int height, const std::vector<OutputArea>& outputs) {
    const OutputArea* nearest = outputOf(corner, width, height, outputs);
    return nearest ? clampOnto(std::move(corner), width, height, *nearest) : corner;
}

const OutputArea* homeOutput(const std::string& saved, const std::vector<OutputArea>& outputs) {
    const OutputArea* primary = nullptr;
    for (const auto& output : outputs) {
        if (output.width <= 0 || output.height <= 0) continue;
        if (!saved.empty() && output.name == saved) return &output;
        if (!primary || (output.primary && !primary->primary)) primary = &output;
    }
    return primary;
}

SurfacePosition placeSaved(const SurfacePosition& saved, int width, int height, const std::vector<OutputArea>& outputs) {
    const OutputArea* home = homeOutput(saved.output, outputs);
    if (!home) return saved;
    SurfacePosition corner{home->x + saved.x, home->y + saved.y, home->name};
    return clampOnto(std::move(corner), width, height, *home);
}

SurfacePosition onOutput(SurfacePosition corner, int width, int height, const std::vector<OutputArea>& outputs) {
    const OutputArea* home = outputOf(corner, width, height, outputs);
    if (!home) return corner;
    return {corner.x - home->x, corner.y - home->y, home->name};
}

}  // namespace widgethost::desktop::detail
