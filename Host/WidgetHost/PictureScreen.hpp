#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "Host/WidgetHost/Host.hpp"

// The screen of a host without a desktop: one PNG per widget, "<id>.png" in a directory, rewritten
// only when its pixels changed.
namespace widgethost {

struct PictureScreenOptions {
    std::filesystem::path directory;
    double scale = 2;
    platform::views::Appearance appearance = platform::views::Appearance::light;
    platform::WidgetRenderingMode renderingMode = platform::WidgetRenderingMode::fullColor;
};

/// `drawn` runs after a picture file was rewritten, with the widget's id and the file.
WidgetScreen pictureScreen(PictureScreenOptions options,
                           std::function<void(const std::string& id, const std::string& picture)> drawn);

}  // namespace widgethost
