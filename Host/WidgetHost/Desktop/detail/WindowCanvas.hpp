#pragma once

#include <functional>
#include <vector>

#include <cairo.h>

typedef struct _GdkWindow GdkWindow;

// Paints parts of an X11 window at once through a back buffer kept with the window: a second's
// timers then cost neither a GTK frame (a second turn of the main loop, an expose through every
// widget) nor a new pixmap each time.
namespace widgethost::desktop::detail {

class WindowCanvas {
public:
    WindowCanvas() = default;
    ~WindowCanvas() { release(); }
    WindowCanvas(const WindowCanvas&) = delete;
    WindowCanvas& operator=(const WindowCanvas&) = delete;

    /// Paints `parts` of `window` (in the window's units) with `paint`, which draws the whole window
    /// and is clipped to them. False, with nothing done, where the window is not a viewable X11 one.
    bool paint(GdkWindow* window, const std::vector<cairo_rectangle_int_t>& parts,
               const std::function<void(cairo_t*)>& paint);

    /// Lets go of the window's buffers, before it goes away.
    void release();

private:
    GdkWindow* window_ = nullptr;
    cairo_surface_t* target_ = nullptr;  // the window itself
    cairo_surface_t* buffer_ = nullptr;  // what is painted before it is shown
    int width_ = 0, height_ = 0, scale_ = 0;
};

}  // namespace widgethost::desktop::detail
