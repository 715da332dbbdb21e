#pragma once

#include <string>
#include <vector>

#include "Host/WidgetHost/Desktop/DesktopSurface.hpp"
#include "Host/WidgetHost/FreeSpot.hpp"

// Where a widget may be: wholly on an output, out of the panels there (a widget partly off its
// output or under a panel is partly lost to the user, and on Wayland the compositor stops drawing a
// surface that is on no output at all). Positions are kept per output, so that a widget returns to
// its own output, and to the same spot on it, whenever that output is there.
namespace widgethost::desktop::detail {

struct OutputArea {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    std::string name = {};  // connector name where the platform tells it, else the model
    bool primary = false;
    /// The part of the output that panels leave to windows, on the desktop; empty: all of it.
    DesktopArea workArea = {};

    /// The work area, or the whole output where the desktop names none.
    DesktopArea usable() const;
};

/// `outputs`, each with its part of `workArea` (the desktop's, which spans every output) as its own;
/// an output the work area misses keeps all of itself. Unchanged for an empty work area.
std::vector<OutputArea> withWorkArea(std::vector<OutputArea> outputs, const DesktopArea& workArea);

/// The corner nearest `corner` at which a `width` × `height` widget lies wholly in the usable part of
/// one of `outputs`: the output holding its centre, else the nearest one. A widget larger than that
/// part keeps its top-left corner in it. Unchanged when there are no outputs.
SurfacePosition keepOnOutput(SurfacePosition corner, int width, int height, const std::vector<OutputArea>& outputs);

/// The output holding the centre of a widget at `corner`, else the nearest one; null when there is none.
const OutputArea* outputOf(SurfacePosition corner, int width, int height, const std::vector<OutputArea>& outputs);

/// The output a saved position belongs on: the one it names while that is there, else the primary
/// output (the first one when none is primary); null when there is none.
const OutputArea* homeOutput(const std::string& saved, const std::vector<OutputArea>& outputs);

/// Where a widget saved at `saved` (from the corner of the output it names) goes on the desktop:
/// on that output when it is there, else on the primary one, wholly in its usable part. The result names the
/// output it went to; unchanged when there are no outputs.
SurfacePosition placeSaved(const SurfacePosition& saved, int width, int height, const std::vector<OutputArea>& outputs);

/// A desktop position as it is saved: from the corner of the output holding the widget's centre.
SurfacePosition onOutput(SurfacePosition corner, int width, int height, const std::vector<OutputArea>& outputs);

}  // namespace widgethost::desktop::detail
