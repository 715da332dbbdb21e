#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Platform/Widgets/WidgetFamily.hpp"

// What the widget gallery offers: every widget kind of every installed extension, with the texts
// the extension gives for the gallery and the families it comes in.
namespace widgetgallery {

struct GalleryWidget {
    std::string extension;               // bundle identifier
    std::filesystem::path executable;    // the extension program, asked for previews
    std::string kind;
    std::string displayName;
    std::string description;
    std::vector<platform::WidgetFamily> families;
};

/// The widgets of one extension from its `describe` answer. A widget without a kind or without a
/// family it can be placed in is left out and named in `problems`; a missing display name falls
/// back to the kind, a missing description to nothing. Unknown family names are passed over.
std::vector<GalleryWidget> galleryWidgets(const std::string& extension, const std::filesystem::path& executable,
                                          const nlohmann::json& describeResult, std::vector<std::string>* problems);

/// The name a screen reader reads for the button that places `widget` in `family`:
/// "Add Timer, Medium".
std::string addButtonName(const GalleryWidget& widget, platform::WidgetFamily family);

}  // namespace widgetgallery
