#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "Platform/Views/Color.hpp"
#include "Platform/Views/Layout.hpp"
#include "Platform/Views/TextMeasurer.hpp"

typedef struct _cairo cairo_t;

// Text on pango: one 72-dpi context per thread (1 unit = 1 point), hinting and glyph-position
// rounding off, so a text measures the same at every scale. "Inter" is the system font and
// "Quicksand" the rounded design; layouts are cached, since measuring is what layout costs.
namespace platform::views {

/// The measurer of the calling thread.
const TextMeasurer& pangoTextMeasurer();

/// Draws a laid-out text in `color`, exactly as it was measured.
void drawText(cairo_t* cr, const draw::Text& text, RGBA color);

/// `drawText` through pango's layouts alone: what a live timer drawn from its reused glyphs must
/// look exactly like.
void drawTextShapedWhole(cairo_t* cr, const draw::Text& text, RGBA color);

/// Where a live timer's pixels can lie at its place, whatever digits it shows: what has to be
/// painted again when they change. Its frame and a margin where that cannot be told.
Rect liveTextBounds(const draw::Text& text);

/// How many shaped texts the calling thread keeps for reuse: bounded, however many were measured.
std::size_t keptTextLayouts();

/// The fonts the views need that fontconfig does not really provide (it silently falls back to
/// another family), as `font "Inter"` or `a CJK font`; empty when all are there.
std::vector<std::string> missingFonts();

}  // namespace platform::views
