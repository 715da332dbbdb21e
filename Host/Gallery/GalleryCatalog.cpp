#include "Host/Gallery/GalleryCatalog.hpp"

#include <algorithm>

namespace widgetgallery {
namespace {

std::string text(const nlohmann::json& object, const char* key) {
    auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

}  // namespace

std::vector<GalleryWidget> galleryWidgets(const std::string& extension, const std::filesystem::path& executable,
                                          const nlohmann::json& describeResult, std::vector<std::string>* problems) {
    std::vector<GalleryWidget> found;
    auto note = [&](const std::string& what) {
        if (problems) problems->push_back(extension + ": " + what);
    };
    auto widgets = describeResult.is_object() ? describeResult.find("widgets") : describeResult.end();
    if (!describeResult.is_object() || widgets == describeResult.end() || !widgets->is_array()) {
        note("describe gave no list of widgets");
        return found;
    }
    for (const auto& entry : *widgets) {
        if (!entry.is_object()) continue;
        GalleryWidget widget{extension, executable, text(entry, "kind"), text(entry, "displayName"),
                             text(entry, "description"), {}};
        if (widget.kind.empty()) {
            note("a widget without a kind");
            continue;
        }
        if (widget.displayName.empty()) widget.displayName = widget.kind;
        if (auto families = entry.find("supportedFamilies"); families != entry.end() && families->is_array()) {
            for (const auto& name : *families) {
                auto family = name.is_string() ? platform::widgetFamilyFromString(name.get<std::string>()) : std::nullopt;
                if (family && std::find(widget.families.begin(), widget.families.end(), *family) == widget.families.end())
                    widget.families.push_back(*family);
            }
        }
        if (widget.families.empty()) {
            note(widget.kind + " comes in no family the desktop shows");
            continue;
        }
        found.push_back(std::move(widget));
    }
    return found;
}

std::string addButtonName(const GalleryWidget& widget, platform::WidgetFamily family) {
    return "Add " + widget.displayName + ", " + (family == platform::WidgetFamily::systemSmall ? "Small" : "Medium");
}

}  // namespace widgetgallery
