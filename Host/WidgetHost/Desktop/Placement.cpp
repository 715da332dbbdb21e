#include "Host/WidgetHost/Desktop/Placement.hpp"

#include <gtk/gtk.h>

#include "Host/WidgetHost/Desktop/LayerShellPlacement.hpp"
#include "Host/WidgetHost/Desktop/X11Placement.hpp"
#include "Host/WidgetHost/Desktop/detail/OutputName.hpp"

namespace widgethost::desktop {

std::vector<detail::OutputArea> Placement::outputs(GdkDisplay* display) const {
    std::vector<detail::OutputArea> areas;
    for (int i = 0; i < gdk_display_get_n_monitors(display); ++i) {
        GdkMonitor* monitor = gdk_display_get_monitor(display, i);
        GdkRectangle r;
        gdk_monitor_get_geometry(monitor, &r);
        bool primary = gdk_monitor_is_primary(monitor) != FALSE;
        areas.push_back({r.x, r.y, r.width, r.height, detail::outputName(monitor), primary});
    }
    return areas;
}

SurfacePosition keptOnOutputs(SurfacePosition corner, int width, int height, const std::vector<detail::OutputArea>& areas) {
    corner = detail::keepOnOutput(corner, width, height, areas);
    const detail::OutputArea* home = detail::outputOf(corner, width, height, areas);
    corner.output = home ? home->name : std::string();
    return corner;
}

SurfacePosition Placement::landing(const SurfacePosition& asked, const std::string& currentOutput, int width, int height,
                                   const std::vector<detail::OutputArea>& areas) const {
    return keptOnOutputs(onDesktop(asked, currentOutput, areas), width, height, areas);
}

std::unique_ptr<Placement> placementFor(DisplayKind display) {
    if (display == DisplayKind::waylandLayerShell) return std::make_unique<LayerShellPlacement>();
    return std::make_unique<X11Placement>(X11Placement::windowManagementOfScreen());
}

}  // namespace widgethost::desktop
