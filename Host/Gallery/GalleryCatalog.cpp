#include "Host/Gallery/GalleryCatalog.hpp"

#include <systemd/sd-bus.h>

namespace widgetgallery {

std::optional<std::vector<GalleryWidget>> readKinds(sd_bus_message* reply) {
    std::vector<GalleryWidget> widgets;
    int r = sd_bus_message_enter_container(reply, 'a', "(ssssas)");
    while (r > 0) {
        r = sd_bus_message_enter_container(reply, 'r', "ssssas");
        if (r <= 0) break;
        const char *extension = nullptr, *kind = nullptr, *name = nullptr, *description = nullptr;
        r = sd_bus_message_read(reply, "ssss", &extension, &kind, &name, &description);
        GalleryWidget widget{extension ? extension : "", kind ? kind : "", name ? name : "",
                             description ? description : "", {}};
        if (r >= 0) r = sd_bus_message_enter_container(reply, 'a', "s");
        const char* family = nullptr;
        while (r > 0 && (r = sd_bus_message_read(reply, "s", &family)) > 0)
            if (auto known = platform::widgetFamilyFromString(family)) widget.families.push_back(*known);
        if (r >= 0) r = sd_bus_message_exit_container(reply);
        if (r >= 0) r = sd_bus_message_exit_container(reply);
        if (r < 0) return std::nullopt;
        if (!widget.families.empty()) widgets.push_back(std::move(widget));
        r = 1;
    }
    if (r < 0 || sd_bus_message_exit_container(reply) < 0) return std::nullopt;
    return widgets;
}

std::string addButtonName(const GalleryWidget& widget, platform::WidgetFamily family) {
    return "Add " + widget.displayName + ", " + (family == platform::WidgetFamily::systemSmall ? "Small" : "Medium");
}

}  // namespace widgetgallery
