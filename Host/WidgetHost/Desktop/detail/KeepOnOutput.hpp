#pragma once

#include <vector>

#include "Host/WidgetHost/Desktop/DesktopSurface.hpp"

// Where a widget may be: a widget mostly off every output is lost to the user (and on Wayland the
// compositor stops drawing a surface that is on no output at all).
namespace widgethost::desktop::detail {

struct OutputArea {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

/// The corner nearest `corner` at which a `width` × `height` widget has at least half its width and
/// half its height on one of `outputs`: the output holding its centre, else the nearest one.
/// Unchanged when there are no outputs.
SurfacePosition keepOnOutput(SurfacePosition corner, int width, int height, const std::vector<OutputArea>& outputs);

}  // namespace widgethost::desktop::detail
