#include "Platform/System/Bundle.hpp"

#include <nlohmann/json.hpp>

#include "Platform/System/Files.hpp"
#include "Platform/System/JsonDepth.hpp"
#include "Platform/System/UserDirectories.hpp"

namespace platform {
namespace {

constexpr std::uintmax_t maxManifestBytes = 1 << 20;

std::shared_ptr<const nlohmann::json> objectMember(nlohmann::json& doc, const char* key) {
    auto it = doc.find(key);
    if (it == doc.end() || !it->is_object()) return nullptr;
    return std::make_shared<const nlohmann::json>(std::move(*it));
}

const nlohmann::json* lookup(const std::shared_ptr<const nlohmann::json>& object, const std::string& key) {
    if (!object) return nullptr;
    auto it = object->find(key);
    return it == object->end() ? nullptr : &*it;
}

}  // namespace

const nlohmann::json* Bundle::objectForInfoDictionaryKey(const std::string& key) const {
    return lookup(infoDictionary, key);
}

const nlohmann::json* Bundle::valueForEntitlement(const std::string& key) const {
    return lookup(entitlements, key);
}

Bundle Bundle::load(const std::filesystem::path& manifest) {
    Bundle bundle;
    bundle.directory = manifest.parent_path();
    auto bytes = readRegularFile(manifest, maxManifestBytes);
    if (!bytes || !jsonDepthWithin(*bytes)) return bundle;
    // Parsed from a view, as requests are: one instance of the parser's code for both.
    auto doc = nlohmann::json::parse(std::string_view(*bytes), nullptr, /*allow_exceptions=*/false);
    if (!doc.is_object()) return bundle;
    if (auto it = doc.find("bundleIdentifier"); it != doc.end() && it->is_string() && !it->get_ref<const std::string&>().empty())
        bundle.bundleIdentifier = it->get<std::string>();
    bundle.infoDictionary = objectMember(doc, "info");
    bundle.entitlements = objectMember(doc, "entitlements");
    bundle.extension = objectMember(doc, "extension");
    return bundle;
}

std::filesystem::path Bundle::manifestPath(const std::filesystem::path& executable) {
    auto path = executable;
    path += ".bundle.json";
    return path;
}

Bundle Bundle::ofRunningExecutable() {
    auto exe = executablePath();
    if (exe.empty()) return Bundle{};
    return load(manifestPath(exe));
}

}  // namespace platform
