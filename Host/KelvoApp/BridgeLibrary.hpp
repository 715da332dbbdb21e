#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/System/Result.hpp"

namespace kelvo::app {

/// The widget bridge library, loaded at run time so that the application starts (and says why)
/// even where the library is missing.
struct BridgeLibrary {
    static constexpr const char* soname = "libKelvoWidgetBridge.so.1";
    /// Environment variable naming the library file to load instead of the usual places.
    static constexpr const char* overrideVariable = "KELVO_WIDGET_BRIDGE_LIBRARY";

    std::shared_ptr<void> handle;
    std::filesystem::path path;
    void (*reloadAllTimelines)() = nullptr;
    char* (*containerPath)(const char* group) = nullptr;
    void (*freeString)(char* s) = nullptr;
    std::int32_t (*placedCount)(const char* kind, std::int32_t timeoutMs) = nullptr;

    /// Opens the first candidate that loads and has all four functions. On failure the error says
    /// what each candidate gave.
    static platform::Result<BridgeLibrary> load(const std::vector<std::filesystem::path>& candidates);

    /// Where to look: an explicit file alone when one is given; otherwise ../lib beside the
    /// executable (the build tree), the installed library directory relative to it, and the
    /// loader's own search path.
    static std::vector<std::filesystem::path> candidates(const std::optional<std::filesystem::path>& explicitFile,
                                                         const std::filesystem::path& executable);

    /// The shared container of an application group, through the library.
    std::optional<std::filesystem::path> container(const std::string& group) const;
};

}  // namespace kelvo::app
