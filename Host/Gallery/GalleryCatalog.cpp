#include "Host/Gallery/GalleryCatalog.hpp"

#include <libintl.h>

#include "Host/WidgetHost/dbus/Control1.hpp"

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

std::string galleryText(const char* text, std::initializer_list<std::string_view> arguments) {
    std::string said = galleryText(text);
    std::size_t from = 0;
    for (auto argument : arguments) {
        auto at = said.find("%s", from);
        if (at == std::string::npos) break;
        said.replace(at, 2, argument);
        from = at + argument.size();  // an argument holding "%s" is not filled in again
    }
    return said;
}

std::string failureText(const widgethost::control1::ClientError& error) {
    namespace name = widgethost::control1::error;
    if (widgethost::control1::isNoHost(error)) return galleryText("The widget host is not running.");
    if (error.name == name::unknownKind) return galleryText("It is no longer installed.");
    if (error.name == name::unsupportedFamily) return galleryText("It does not come in this size.");
    if (error.name == name::unavailable) return galleryText("Its extension is not responding.");
    if (error.name == "org.freedesktop.DBus.Error.NoReply" || error.name == "org.freedesktop.DBus.Error.Timeout")
        return galleryText("The widget host did not answer in time.");
    return galleryText("The widget host reported an error.");
}

std::string addButtonName(const GalleryWidget& widget, platform::WidgetFamily family) {
    // Whole sentences, so that a translation may put the name where its language wants it.
    return galleryText(family == platform::WidgetFamily::systemSmall ? "Add %s, Small" : "Add %s, Medium",
                       widget.displayName);
}

}  // namespace widgetgallery
