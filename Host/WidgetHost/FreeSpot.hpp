#pragma once

#include <optional>
#include <vector>

#include "Host/WidgetHost/PlacedWidgets.hpp"

// Where a new widget fits on an output without covering the widgets already there.
namespace widgethost {

/// A rectangle on the desktop, in desktop pixels.
struct DesktopArea {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

/// The top-left corner of a `width` × `height` widget on `output` that keeps `gap` pixels from the
/// output's edges and from every area in `occupied`: of the corners next to the output's edge or
/// to an occupied area, the leftmost, then the topmost, so widgets fill columns from the top-left
/// as the default positions do. Nothing when no such corner is free.
std::optional<WidgetPosition> freeSpot(const DesktopArea& output, int width, int height,
                                       const std::vector<DesktopArea>& occupied, int gap = 24);

/// Of the four corners of `output` (`gap` pixels in), the one where a `width` × `height` widget is
/// covered least by `cover`, the first such of top-left, top-right, bottom-left, bottom-right:
/// where a new widget still shows best when no spot is free of a window.
WidgetPosition leastCoveredCorner(const DesktopArea& output, int width, int height, const DesktopArea& cover,
                                  int gap = 24);

}  // namespace widgethost
