#pragma once

#include <optional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "Host/ControlClient/ControlClient.hpp"
#include "Platform/Widgets/WidgetFamily.hpp"

// What the widget gallery offers: every widget kind of every installed extension, as the widget
// host lists them (net.widgethost.Control1.Kinds), with their gallery texts and families.
namespace widgetgallery {

struct GalleryWidget {
    std::string extension;  // bundle identifier
    std::string kind;
    std::string displayName;
    std::string description;
    std::vector<platform::WidgetFamily> families;
};

/// The widgets of a Kinds answer. Families the gallery does not know are passed over, and so is a
/// kind left without any.
std::vector<GalleryWidget> galleryWidgets(const std::vector<widgethost::control1::Kind>& kinds);

/// `text` from the host's catalog ("widget-host") in the user's language, else itself; the
/// other forms put the arguments, in order, where the text says "%s".
std::string galleryText(const char* text);
std::string galleryText(const char* text, std::initializer_list<std::string_view> arguments);
inline std::string galleryText(const char* text, const std::string& argument) { return galleryText(text, {argument}); }

/// Why a question to the host failed, in the user's words: no kind ids, family names or D-Bus
/// errors.
std::string failureText(const widgethost::control1::ClientError& error);

/// The name a screen reader reads for the button that places `widget` in `family`:
/// "Add Timer, Medium".
std::string addButtonName(const GalleryWidget& widget, platform::WidgetFamily family);

}  // namespace widgetgallery
