#include "Platform/Views/detail/SymbolPaths.hpp"

#include <algorithm>
#include <cmath>

#include <cairo.h>

namespace platform::views::detail {
namespace {

constexpr double pi = 3.14159265358979323846;

// Stroke width as a share of the font size, heavier fonts drawing heavier symbols.
double strokeWidth(const Font& font) {
    return font.size * (0.06 + (numericWeight(font.weight) - 100) / 800.0 * 0.09);
}

// Each symbol is drawn in a square of one font size, centred in its box; `s` is that size.
void playFill(cairo_t* cr, double cx, double cy, double s, double stroke) {
    double h = s * 0.72, w = h * 0.86;
    double inset = stroke / 2;
    double left = cx - w * 0.42 + inset, right = cx + w * 0.58 - inset;
    double top = cy - h / 2 + inset, bottom = cy + h / 2 - inset;
    cairo_move_to(cr, left, top);
    cairo_line_to(cr, right, cy);
    cairo_line_to(cr, left, bottom);
    cairo_close_path(cr);
    // A round join on a filled outline gives the triangle its soft corners.
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_width(cr, stroke);
    cairo_fill_preserve(cr);
    cairo_stroke(cr);
}

void stopFill(cairo_t* cr, double cx, double cy, double s) {
    double side = s * 0.66;
    roundedRectanglePath(cr, {cx - side / 2, cy - side / 2, side, side}, side * 0.2, CornerStyle::continuous);
    cairo_fill(cr);
}

void power(cairo_t* cr, double cx, double cy, double s, double stroke) {
    double r = s * 0.36;
    double centreY = cy + s * 0.05;
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, stroke);
    // The ring opens at the top, where the bar stands.
    cairo_new_sub_path(cr);
    cairo_arc(cr, cx, centreY, r, -pi / 2 + 0.75, -pi / 2 - 0.75 + 2 * pi);
    cairo_stroke(cr);
    cairo_move_to(cr, cx, centreY - r - s * 0.1);
    cairo_line_to(cr, cx, centreY - r * 0.12);
    cairo_stroke(cr);
}

void wifiSlash(cairo_t* cr, double cx, double cy, double s, double stroke) {
    // Drawn opaque into a group and then painted once, so that the gap cut around the slash
    // clears only the arcs and overlapping strokes do not darken a translucent colour.
    cairo_push_group(cr);
    double baseY = cy + s * 0.3;
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, stroke);
    for (double r : {0.26, 0.46, 0.66}) {
        cairo_new_sub_path(cr);
        cairo_arc(cr, cx, baseY, r * s, -pi * 0.75, -pi * 0.25);
        cairo_stroke(cr);
    }
    cairo_arc(cr, cx, baseY, stroke * 0.9, 0, 2 * pi);
    cairo_fill(cr);
    double x0 = cx - s * 0.42, y0 = cy - s * 0.42, x1 = cx + s * 0.42, y1 = cy + s * 0.42;
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_set_line_width(cr, stroke * 2.6);
    cairo_move_to(cr, x0 + s * 0.05, y0 - s * 0.05);
    cairo_line_to(cr, x1 + s * 0.05, y1 - s * 0.05);
    cairo_stroke(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_set_line_width(cr, stroke);
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    cairo_stroke(cr);
    cairo_pop_group_to_source(cr);
    cairo_paint(cr);
}

}  // namespace

namespace {
// A continuous corner starts further along each edge than a circular one.
constexpr double continuousReach = 1.28;
}  // namespace

double cornerReach(const Rect& r, double radius, CornerStyle style) {
    radius = std::clamp(radius, 0.0, std::min(r.width, r.height) / 2);
    return style == CornerStyle::continuous ? radius * continuousReach : radius;
}

void roundedRectanglePath(cairo_t* cr, const Rect& r, double radius, CornerStyle style) {
    radius = std::clamp(radius, 0.0, std::min(r.width, r.height) / 2);
    double x0 = r.x, y0 = r.y, x1 = r.x + r.width, y1 = r.y + r.height;
    if (style == CornerStyle::circular || radius <= 0) {
        cairo_new_sub_path(cr);
        cairo_arc(cr, x1 - radius, y0 + radius, radius, -pi / 2, 0);
        cairo_arc(cr, x1 - radius, y1 - radius, radius, 0, pi / 2);
        cairo_arc(cr, x0 + radius, y1 - radius, radius, pi / 2, pi);
        cairo_arc(cr, x0 + radius, y0 + radius, radius, pi, 3 * pi / 2);
        cairo_close_path(cr);
        return;
    }
    // A continuous corner starts further along each edge than a circular one (up to 1.28 times
    // the radius, as room allows) and pulls its control points towards the corner, so the
    // curvature grows gradually instead of jumping at the tangent point.
    double ex = std::min(radius * continuousReach, r.width / 2), ey = std::min(radius * continuousReach, r.height / 2);
    double cxk = ex * 0.24, cyk = ey * 0.24;
    cairo_new_sub_path(cr);
    cairo_move_to(cr, x0 + ex, y0);
    cairo_line_to(cr, x1 - ex, y0);
    cairo_curve_to(cr, x1 - cxk, y0, x1, y0 + cyk, x1, y0 + ey);
    cairo_line_to(cr, x1, y1 - ey);
    cairo_curve_to(cr, x1, y1 - cyk, x1 - cxk, y1, x1 - ex, y1);
    cairo_line_to(cr, x0 + ex, y1);
    cairo_curve_to(cr, x0 + cxk, y1, x0, y1 - cyk, x0, y1 - ey);
    cairo_line_to(cr, x0, y0 + ey);
    cairo_curve_to(cr, x0, y0 + cyk, x0 + cxk, y0, x0 + ex, y0);
    cairo_close_path(cr);
}

void drawSymbol(cairo_t* cr, const draw::Symbol& symbol, RGBA color) {
    const auto& f = symbol.frame;
    double s = symbol.font.size;
    double cx = f.x + f.width / 2, cy = f.y + f.height / 2;
    double stroke = strokeWidth(symbol.font);
    cairo_save(cr);
    cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
    if (symbol.name == "play.fill") playFill(cr, cx, cy, s, stroke * 0.8);
    else if (symbol.name == "stop.fill") stopFill(cr, cx, cy, s);
    else if (symbol.name == "power") power(cr, cx, cy, s, stroke);
    else if (symbol.name == "wifi.slash") wifiSlash(cr, cx, cy, s, stroke);
    cairo_restore(cr);
}

}  // namespace platform::views::detail
