#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/System/Result.hpp"
#include "Platform/Widgets/dbus/Host1.hpp"

// Which widget extensions are installed: manifests with "extension": {"point": "widget",
// "executable": PATH}, the executable relative to the manifest.
namespace widgethost {

struct ExtensionManifest {
    std::string bundleIdentifier;
    std::filesystem::path executable;  // absolute
    std::filesystem::path manifest;    // where it was found
    std::string displayName;           // the bundle's "displayName", else its identifier
};

/// The directories to search, most important first: the development directories, then
/// $XDG_DATA_HOME/widget-extensions (default ~/.local/share), then <dir>/widget-extensions for each
/// of $XDG_DATA_DIRS (default /usr/local/share:/usr/share). Null or empty variables take their
/// defaults; relative entries are ignored, as the base directory rules ask.
std::vector<std::filesystem::path> extensionDirectories(const std::vector<std::filesystem::path>& developmentDirectories,
                                                        const char* xdgDataHome, const char* home,
                                                        const char* xdgDataDirs);

/// Reads one manifest: nothing when the file is no widget extension manifest, an error saying what is
/// wrong when it claims to be one but is broken or its program cannot run.
platform::Result<std::optional<ExtensionManifest>> readExtensionManifest(const std::filesystem::path& manifest);

/// A manifest that says it is a widget extension but cannot be used, and why.
struct ManifestProblem {
    std::filesystem::path manifest;
    std::string why;
};

/// Every widget extension whose manifest ("*.json") lies directly in one of the directories. When two
/// manifests name the same bundle identifier, the one from the earlier directory wins. Manifests
/// that say they are widget extensions but are broken are reported in `problems`; other JSON files
/// are passed over silently.
std::vector<ExtensionManifest> findExtensions(const std::vector<std::filesystem::path>& directories,
                                              std::vector<ManifestProblem>* problems = nullptr);

// The rules of the Host1 interface for application and extension identifiers.
using platform::host1::isExtensionOf;
using platform::host1::isValidApplicationId;

}  // namespace widgethost
