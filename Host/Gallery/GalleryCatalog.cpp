#include "Host/Gallery/GalleryCatalog.hpp"

namespace widgetgallery {

std::vector<GalleryWidget> galleryWidgets(const std::vector<widgethost::control1::Kind>& kinds) {
    std::vector<GalleryWidget> widgets;
    for (const auto& kind : kinds) {
        GalleryWidget widget{kind.extension, kind.kind, kind.displayName, kind.description, {}};
        for (const auto& family : kind.families)
            if (auto known = platform::widgetFamilyFromString(family)) widget.families.push_back(*known);
        if (!widget.families.empty()) widgets.push_back(std::move(widget));
    }
    return widgets;
}

std::string addButtonName(const GalleryWidget& widget, platform::WidgetFamily family) {
    return "Add " + widget.displayName + ", " + (family == platform::WidgetFamily::systemSmall ? "Small" : "Medium");
}

}  // namespace widgetgallery
