#include "Host/WidgetHost/FreeSpot.hpp"

#include <algorithm>
#include <utility>

namespace widgethost {

std::optional<WidgetPosition> freeSpot(const DesktopArea& output, int width, int height,
                                       const std::vector<DesktopArea>& occupied, int gap) {
    // 1. Candidate edges: the output's own, and just past each occupied area (with the gap). A free
    //    spot that is leftmost and topmost always touches one edge of each kind, so these suffice.
    std::vector<int> xs{output.x + gap};
    std::vector<int> ys{output.y + gap};
    for (const auto& area : occupied) {
        xs.push_back(area.x + area.width + gap);
        ys.push_back(area.y + area.height + gap);
    }
    std::sort(xs.begin(), xs.end());
    std::sort(ys.begin(), ys.end());

    // 2. The first corner, column by column, that lies on the output and overlaps nothing.
    auto fits = [&](int x, int y) {
        if (x < output.x + gap || y < output.y + gap) return false;
        if (x + width > output.x + output.width - gap || y + height > output.y + output.height - gap) return false;
        return std::none_of(occupied.begin(), occupied.end(), [&](const DesktopArea& area) {
            return x < area.x + area.width + gap && area.x < x + width + gap && y < area.y + area.height + gap &&
                   area.y < y + height + gap;
        });
    };
    for (int x : xs)
        for (int y : ys)
            if (fits(x, y)) return WidgetPosition{x, y};
    return std::nullopt;
}

}  // namespace widgethost
