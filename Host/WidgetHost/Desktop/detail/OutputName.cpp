#include "Host/WidgetHost/Desktop/detail/OutputName.hpp"

#include <gdk/gdkwayland.h>
#include <wayland-client.h>

#include <map>
#include <string_view>

#include "xdg-output-unstable-v1-client-protocol.h"

namespace widgethost::desktop::detail {
namespace {

// GTK 3 knows a Wayland output only by its model, which two outputs of one kind share; the
// compositor's xdg-output names it by its connector. Asked on a queue of our own, so that GTK's
// dispatching never sees these objects.
class XdgOutputNames {
public:
    std::string nameOf(wl_display* display, wl_output* output) {
        if (auto it = names_.find(output); it != names_.end()) return it->second;
        if (!bind(display)) return {};
        std::string name;
        zxdg_output_v1* xdgOutput = zxdg_output_manager_v1_get_xdg_output(manager_, output);
        static const zxdg_output_v1_listener listener = {
            [](void*, zxdg_output_v1*, int32_t, int32_t) {},
            [](void*, zxdg_output_v1*, int32_t, int32_t) {},
            [](void*, zxdg_output_v1*) {},
            [](void* data, zxdg_output_v1*, const char* value) { *static_cast<std::string*>(data) = value; },
            [](void*, zxdg_output_v1*, const char*) {},
        };
        zxdg_output_v1_add_listener(xdgOutput, &listener, &name);
        wl_display_roundtrip_queue(display, queue_);
        zxdg_output_v1_destroy(xdgOutput);
        names_[output] = name;
        return name;
    }

    /// The memory of a removed output's object may come back as another output's.
    void forget(wl_output* output) { names_.erase(output); }

private:
    bool bind(wl_display* display) {
        if (queue_) return manager_ != nullptr;
        queue_ = wl_display_create_queue(display);
        wl_display* wrapped = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapped), queue_);
        wl_registry* registry = wl_display_get_registry(wrapped);
        wl_proxy_wrapper_destroy(wrapped);
        static const wl_registry_listener listener = {
            [](void* data, wl_registry* source, uint32_t id, const char* interface, uint32_t version) {
                if (std::string_view(interface) != zxdg_output_manager_v1_interface.name || version < 2) return;
                *static_cast<zxdg_output_manager_v1**>(data) = static_cast<zxdg_output_manager_v1*>(
                    wl_registry_bind(source, id, &zxdg_output_manager_v1_interface, 2));
            },
            [](void*, wl_registry*, uint32_t) {},
        };
        wl_registry_add_listener(registry, &listener, &manager_);
        wl_display_roundtrip_queue(display, queue_);
        wl_registry_destroy(registry);
        return manager_ != nullptr;
    }

    wl_event_queue* queue_ = nullptr;
    zxdg_output_manager_v1* manager_ = nullptr;
    std::map<wl_output*, std::string> names_;
};

}  // namespace

std::string outputName(GdkMonitor* monitor) {
    if (GDK_IS_WAYLAND_MONITOR(monitor)) {
        static XdgOutputNames names;
        GdkDisplay* display = gdk_monitor_get_display(monitor);
        static const gulong watch = g_signal_connect(
            display, "monitor-removed", G_CALLBACK(+[](GdkDisplay*, GdkMonitor* gone) {
                if (wl_output* output = gdk_wayland_monitor_get_wl_output(gone)) names.forget(output);
            }),
            nullptr);
        (void)watch;
        if (wl_output* output = gdk_wayland_monitor_get_wl_output(monitor)) {
            std::string name = names.nameOf(gdk_wayland_display_get_wl_display(display), output);
            if (!name.empty()) return name;
        }
    }
    // On X11 GTK takes the model from RandR's output name, which is the connector.
    const char* model = gdk_monitor_get_model(monitor);
    return model ? model : "";
}

}  // namespace widgethost::desktop::detail
