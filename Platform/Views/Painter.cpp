#include "Platform/Views/Painter.hpp"

#include <cmath>
#include <numbers>

#include <cairo.h>

#include "Platform/Views/TextEngine.hpp"
#include "Platform/Views/detail/SymbolPaths.hpp"

namespace platform::views {
namespace {

void setSource(cairo_t* cr, RGBA c) { cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha); }

void fillShape(cairo_t* cr, const draw::Shape& s, RGBA color) {
    const auto& f = s.frame;
    if (f.width <= 0 || f.height <= 0) return;
    setSource(cr, color);
    switch (s.kind) {
    case ShapeKind::circle:
        cairo_new_sub_path(cr);
        cairo_arc(cr, f.x + f.width / 2, f.y + f.height / 2, std::min(f.width, f.height) / 2, 0, 2 * std::numbers::pi);
        break;
    case ShapeKind::capsule:
        // A capsule's ends are full half circles in either corner style: with a radius of half the
        // height there is no straight stretch for a continuous curve to blend into.
        detail::roundedRectanglePath(cr, f, std::min(f.width, f.height) / 2, CornerStyle::circular);
        break;
    case ShapeKind::rectangle: cairo_rectangle(cr, f.x, f.y, f.width, f.height); break;
    }
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_fill(cr);
}

struct CommandPainter {
    cairo_t* cr;
    Appearance appearance;
    bool tintAccent;

    // The accent group takes the accent colour in the accented mode; its opacity stays.
    template <class Command>
    RGBA colorOf(const Command& c) const {
        RGBA own = c.color.resolved(appearance);
        if (!tintAccent || !c.accent) return own;
        RGBA tint = accentColor().resolved(appearance);
        tint.alpha *= own.alpha;
        return tint;
    }
    void operator()(const draw::Shape& s) const { fillShape(cr, s, colorOf(s)); }
    void operator()(const draw::Text& t) const { drawText(cr, t, colorOf(t)); }
    void operator()(const draw::Symbol& s) const { detail::drawSymbol(cr, s, colorOf(s)); }
};

bool whole(double v) { return v == std::floor(v); }

// Whether every pixel the clip lets through lies where the rounded outline of `r` is straight, so
// the outline covers it fully. Clipping to the outline then changes no pixel, yet would make cairo
// draw every later shape and glyph run through a mask (on X11 a pixmap and trapezoids each).
bool clipClearOfCorners(cairo_t* cr, const Rect& r, double reach) {
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    double sx = 1, sy = 1;
    cairo_surface_get_device_scale(cairo_get_target(cr), &sx, &sy);
    if (m.xy != 0 || m.yx != 0 || m.xx <= 0 || m.yy <= 0) return false;
    auto pixelX = [&](double x) { return (m.xx * x + m.x0) * sx; };
    auto pixelY = [&](double y) { return (m.yy * y + m.y0) * sy; };
    // The outline's straight edges must fall on pixel edges, or the pixels along them are partly
    // covered.
    double left = pixelX(r.x), right = pixelX(r.x + r.width), top = pixelY(r.y), bottom = pixelY(r.y + r.height);
    if (!whole(left) || !whole(right) || !whole(top) || !whole(bottom)) return false;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
    if (x0 >= x1 || y0 >= y1) return false;
    // Every pixel the clip touches, in the band between the top and bottom corners or in the one
    // between the left and right corners.
    double px0 = std::floor(pixelX(x0)), px1 = std::ceil(pixelX(x1)), py0 = std::floor(pixelY(y0)), py1 = std::ceil(pixelY(y1));
    double reachX = reach * m.xx * sx, reachY = reach * m.yy * sy;
    auto within = [&](double l, double t, double rr, double b) { return px0 >= l && py0 >= t && px1 <= rr && py1 <= b; };
    return within(left, top + reachY, right, bottom - reachY) || within(left + reachX, top, right - reachX, bottom);
}

bool clipClearOfCorners(cairo_t* cr, const Layout& layout) {
    Rect bounds{0, 0, layout.size.width, layout.size.height};
    return clipClearOfCorners(cr, bounds, detail::cornerReach(bounds, layout.cornerRadius, CornerStyle::continuous));
}

RGBA backgroundOf(const Layout& layout, Appearance appearance) {
    return layout.containerBackground.value_or(defaultContainerBackground()).resolved(appearance);
}

}  // namespace

Color defaultContainerBackground() { return Color::dynamic({1, 1, 1, 1}, {0.16, 0.16, 0.17, 1}); }

Color accentColor() { return Color::dynamic({0, 122 / 255.0, 1, 1}, {10 / 255.0, 132 / 255.0, 1, 1}); }

bool coversClip(cairo_t* cr, const Layout& layout, Appearance appearance) {
    return backgroundOf(layout, appearance).alpha >= 1 && clipClearOfCorners(cr, layout);
}

void paintLayout(cairo_t* cr, const Layout& layout, Appearance appearance, WidgetRenderingMode mode) {
    cairo_save(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_GRAY);
    if (clipClearOfCorners(cr, layout)) {
        cairo_rectangle(cr, 0, 0, layout.size.width, layout.size.height);
    } else {
        detail::roundedRectanglePath(cr, {0, 0, layout.size.width, layout.size.height}, layout.cornerRadius,
                                     CornerStyle::continuous);
        cairo_clip_preserve(cr);
    }
    setSource(cr, backgroundOf(layout, appearance));
    cairo_fill(cr);
    CommandPainter painter{cr, appearance, mode == WidgetRenderingMode::accented};
    // A window repaints a ticking timer's frame only: what lies outside the clip is not drawn at all,
    // which spares shaping and rasterising texts that would be thrown away.
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
    for (const auto& command : layout.commands) {
        const Rect& f = std::visit([](const auto& c) -> const Rect& { return c.frame; }, command);
        // Glyphs and strokes may reach a little beyond their frames.
        constexpr double overhang = 2;
        if (f.x - overhang >= x2 || f.y - overhang >= y2 || f.x + f.width + overhang <= x1 || f.y + f.height + overhang <= y1)
            continue;
        std::visit(painter, command);
    }
    cairo_restore(cr);
}

}  // namespace platform::views
