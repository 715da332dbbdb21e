#pragma once

#include "Platform/Views/Color.hpp"
#include "Platform/Views/Layout.hpp"
#include "Platform/Widgets/WidgetFamily.hpp"

typedef struct _cairo cairo_t;

namespace platform::views {

/// Paints a laid-out widget in points at `cr`'s current transform: the container background over
/// the whole widget with rounded corners, then every draw command, all clipped to that shape. In
/// the accented mode the accent group is drawn in the accent colour.
void paintLayout(cairo_t* cr, const Layout& layout, Appearance appearance,
                 WidgetRenderingMode mode = WidgetRenderingMode::fullColor);

/// Whether painting the layout at `cr` covers every pixel its clip lets through with an opaque
/// background, so that what lies below need not be painted first.
bool coversClip(cairo_t* cr, const Layout& layout, Appearance appearance);

/// The background of a widget that sets none.
Color defaultContainerBackground();
/// The colour of the accent group in the accented rendering mode.
Color accentColor();

}  // namespace platform::views
