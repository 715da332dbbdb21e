#include "Host/Gallery/GalleryCatalog.hpp"

#include <libintl.h>

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

std::string galleryText(const char* text) { return dgettext("widget-host", text); }

std::string galleryText(const char* text, const std::string& argument) {
    std::string said = galleryText(text);
    if (auto at = said.find("%s"); at != std::string::npos) said.replace(at, 2, argument);
    return said;
}

std::string addButtonName(const GalleryWidget& widget, platform::WidgetFamily family) {
    // Whole sentences, so that a translation may put the name where its language wants it.
    return galleryText(family == platform::WidgetFamily::systemSmall ? "Add %s, Small" : "Add %s, Medium",
                       widget.displayName);
}

}  // namespace widgetgallery
