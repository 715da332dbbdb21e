#include "Host/WidgetHost/ExtensionCatalog.hpp"

#include <unistd.h>

#include <algorithm>
#include <set>

#include <nlohmann/json.hpp>

#include "Platform/System/Bundle.hpp"

namespace widgethost {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

void addSplit(std::vector<fs::path>& out, std::string_view list, const char* suffix) {
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string_view::npos) end = list.size();
        fs::path dir{std::string(list.substr(start, end - start))};
        if (dir.is_absolute()) out.push_back(dir / suffix);
        start = end + 1;
    }
}

// Whether the manifest announces a widget extension at all, so that unrelated JSON files in a
// development directory stay quiet.
bool claimsWidgetExtension(const platform::Bundle& bundle) {
    return bundle.extension && bundle.extension->value("point", json()) == "widget";
}

}  // namespace

std::vector<fs::path> extensionDirectories(const std::vector<fs::path>& developmentDirectories, const char* xdgDataHome,
                                           const char* home, const char* xdgDataDirs) {
    std::vector<fs::path> out;
    for (const auto& dir : developmentDirectories)
        if (!dir.empty()) out.push_back(fs::absolute(dir));
    if (xdgDataHome && *xdgDataHome && fs::path(xdgDataHome).is_absolute())
        out.push_back(fs::path(xdgDataHome) / "widget-extensions");
    else if (home && *home)
        out.push_back(fs::path(home) / ".local/share/widget-extensions");
    addSplit(out, xdgDataDirs && *xdgDataDirs ? xdgDataDirs : "/usr/local/share:/usr/share", "widget-extensions");
    return out;
}

platform::Result<std::optional<ExtensionManifest>> readExtensionManifest(const fs::path& manifest) {
    auto reject = [](std::string reason) { return platform::Error{std::move(reason)}; };
    auto bundle = platform::Bundle::load(manifest);
    if (!claimsWidgetExtension(bundle)) return std::optional<ExtensionManifest>();
    const auto& identifier = bundle.bundleIdentifier;
    if (!identifier || !isValidApplicationId(*identifier)) return reject("has no valid bundleIdentifier");
    const auto& executable = bundle.extension->value("executable", json());
    if (!executable.is_string() || executable.get_ref<const std::string&>().empty())
        return reject("has no extension executable");

    // A manifest may be a link into the program's own directory, so a relative executable is
    // resolved from the real file's directory.
    std::error_code error;
    fs::path base = fs::weakly_canonical(fs::absolute(manifest), error).parent_path();
    if (error) base = fs::absolute(manifest).parent_path();
    fs::path program = base / executable.get_ref<const std::string&>();
    program = program.lexically_normal();
    if (!fs::is_regular_file(program, error) || ::access(program.c_str(), X_OK) != 0)
        return reject("names a program that cannot run: " + program.string());
    const auto* name = bundle.objectForInfoDictionaryKey("displayName");
    bool named = name && name->is_string() && !name->get_ref<const std::string&>().empty();
    return std::optional<ExtensionManifest>(
        ExtensionManifest{*identifier, program, manifest, named ? name->get<std::string>() : *identifier});
}

std::vector<ExtensionManifest> findExtensions(const std::vector<fs::path>& directories,
                                              std::vector<ManifestProblem>* problems) {
    std::vector<ExtensionManifest> found;
    std::set<std::string, std::less<>> seen;
    for (const auto& dir : directories) {
        std::error_code error;
        std::vector<fs::path> files;
        for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error))
            if (it->path().extension() == ".json") files.push_back(it->path());
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            auto manifest = readExtensionManifest(file);
            if (!manifest) {
                if (problems) problems->push_back({file, std::move(manifest.error().message)});
                continue;
            }
            if (!*manifest || !seen.insert((*manifest)->bundleIdentifier).second) continue;
            found.push_back(std::move(**manifest));
        }
    }
    return found;
}

}  // namespace widgethost
