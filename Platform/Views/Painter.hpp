#pragma once

#include "Platform/Views/Color.hpp"
#include "Platform/Views/Layout.hpp"

typedef struct _cairo cairo_t;

namespace platform::views {

/// Paints a laid-out widget in points at `cr`'s current transform: the container background over
/// the whole widget with rounded corners, then every draw command, all clipped to that shape.
void paintLayout(cairo_t* cr, const Layout& layout, Appearance appearance);

/// The background of a widget that sets none.
Color defaultContainerBackground();

}  // namespace platform::views
