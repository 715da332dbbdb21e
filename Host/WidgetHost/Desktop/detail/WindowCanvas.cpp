#include "Host/WidgetHost/Desktop/detail/WindowCanvas.hpp"

#include <cairo-xlib.h>
#include <gdk/gdkx.h>

namespace widgethost::desktop::detail {
namespace {

void clipTo(cairo_t* cr, const std::vector<cairo_rectangle_int_t>& parts) {
    for (const auto& r : parts) cairo_rectangle(cr, r.x, r.y, r.width, r.height);
    cairo_clip(cr);
}

}  // namespace

bool WindowCanvas::paint(GdkWindow* window, const std::vector<cairo_rectangle_int_t>& parts,
                         const std::function<void(cairo_t*)>& paint) {
    if (!window || !GDK_IS_X11_WINDOW(window) || !gdk_window_is_viewable(window)) return false;
    int width = gdk_window_get_width(window), height = gdk_window_get_height(window);
    int scale = gdk_window_get_scale_factor(window);
    if (window != window_ || width != width_ || height != height_ || scale != scale_) {
        release();
        target_ = cairo_xlib_surface_create(GDK_WINDOW_XDISPLAY(window), GDK_WINDOW_XID(window),
                                            gdk_x11_visual_get_xvisual(gdk_window_get_visual(window)), width * scale,
                                            height * scale);
        cairo_surface_set_device_scale(target_, scale, scale);
        buffer_ = cairo_surface_create_similar(target_, cairo_surface_get_content(target_), width, height);
        if (cairo_surface_status(target_) != CAIRO_STATUS_SUCCESS || cairo_surface_status(buffer_) != CAIRO_STATUS_SUCCESS) {
            release();
            return false;
        }
        window_ = window;
        width_ = width;
        height_ = height;
        scale_ = scale;
    }
    cairo_t* cr = cairo_create(buffer_);
    clipTo(cr, parts);
    paint(cr);
    cairo_destroy(cr);

    cr = cairo_create(target_);
    clipTo(cr, parts);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, buffer_, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(target_);
    return true;
}

void WindowCanvas::release() {
    if (buffer_) cairo_surface_destroy(buffer_);
    if (target_) cairo_surface_destroy(target_);
    buffer_ = target_ = nullptr;
    window_ = nullptr;
    width_ = height_ = scale_ = 0;
}

}  // namespace widgethost::desktop::detail
