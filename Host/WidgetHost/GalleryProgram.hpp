#pragma once

#include <filesystem>
#include <string>

namespace widgethost {

/// The widget gallery installed beside the running program (the build tree keeps them together
/// too), else "widget-gallery" to be looked up in PATH.
inline std::string galleryProgram() {
    std::error_code error;
    auto beside = std::filesystem::read_symlink("/proc/self/exe", error).parent_path() / "widget-gallery";
    return !error && std::filesystem::exists(beside, error) ? beside.string() : "widget-gallery";
}

}  // namespace widgethost
