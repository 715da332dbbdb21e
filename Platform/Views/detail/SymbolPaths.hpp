#pragma once

#include "Platform/Views/Color.hpp"
#include "Platform/Views/Layout.hpp"

typedef struct _cairo cairo_t;

namespace platform::views::detail {

/// Draws one of the platform's own symbols into its box; unknown names draw nothing.
void drawSymbol(cairo_t* cr, const draw::Symbol& symbol, RGBA color);

/// Adds a rounded rectangle to the path; continuous corners blend into the edges.
void roundedRectanglePath(cairo_t* cr, const Rect& r, double radius, CornerStyle style);

/// How far along each edge from a corner that outline's curve may reach; beyond it the edges are
/// straight.
double cornerReach(const Rect& r, double radius, CornerStyle style);

}  // namespace platform::views::detail
