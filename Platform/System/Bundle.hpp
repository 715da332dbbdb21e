#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

namespace platform {

/// A program's identity: its bundle identifier, information dictionary and entitlements, read from
/// the manifest "<executable>.bundle.json" installed beside the executable.
struct Bundle {
    std::optional<std::string> bundleIdentifier;
    std::shared_ptr<const nlohmann::json> infoDictionary;  // an object, or null when the manifest has none
    std::shared_ptr<const nlohmann::json> entitlements;    // an object, or null
    std::shared_ptr<const nlohmann::json> extension;       // what an extension's manifest says of it: an object, or null

    /// The value of one information-dictionary key, or null.
    const nlohmann::json* objectForInfoDictionaryKey(const std::string& key) const;
    /// The value of one entitlement of this program, or null.
    const nlohmann::json* valueForEntitlement(const std::string& key) const;
    /// The directory that holds the program and its resources.
    std::filesystem::path directory;

    /// Reads a manifest file. A missing or malformed manifest gives a bundle with no identifier,
    /// no information and no entitlements.
    static Bundle load(const std::filesystem::path& manifest);
    /// The bundle of the running process, from its own executable path.
    static Bundle ofRunningExecutable();
    /// The manifest path that belongs to an executable.
    static std::filesystem::path manifestPath(const std::filesystem::path& executable);
};

}  // namespace platform
