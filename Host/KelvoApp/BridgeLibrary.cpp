#include "Host/KelvoApp/BridgeLibrary.hpp"

#include <dlfcn.h>

namespace kelvo::app {
namespace {

template <class Function>
bool resolve(void* handle, const char* symbol, Function& out, std::string& missing) {
    out = reinterpret_cast<Function>(::dlsym(handle, symbol));
    if (!out) missing += (missing.empty() ? "" : ", ") + std::string(symbol);
    return out != nullptr;
}

}  // namespace

platform::Result<BridgeLibrary> BridgeLibrary::load(const std::vector<std::filesystem::path>& candidates) {
    std::string failures;
    for (const auto& candidate : candidates) {
        // A bare name goes through the loader's search path; a path is taken as it is.
        void* raw = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!raw) {
            const char* why = ::dlerror();
            failures += (failures.empty() ? "" : "; ") + std::string(why ? why : candidate.c_str());
            continue;
        }
        BridgeLibrary library;
        library.handle = std::shared_ptr<void>(raw, [](void* h) { ::dlclose(h); });
        library.path = candidate;
        std::string missing;
        resolve(raw, "kelvo_widget_reload_all_timelines", library.reloadAllTimelines, missing);
        resolve(raw, "kelvo_widget_container_path", library.containerPath, missing);
        resolve(raw, "kelvo_widget_free_string", library.freeString, missing);
        resolve(raw, "kelvo_widget_placed_count", library.placedCount, missing);
        if (!missing.empty()) {
            failures += (failures.empty() ? "" : "; ") + candidate.string() + " lacks " + missing;
            continue;
        }
        return library;
    }
    if (candidates.empty()) failures = "no place to look for " + std::string(soname);
    return platform::Error{failures};
}

std::vector<std::filesystem::path> BridgeLibrary::candidates(const std::optional<std::filesystem::path>& explicitFile,
                                                             const std::filesystem::path& executable) {
    if (explicitFile) return {*explicitFile};
    auto binDirectory = executable.parent_path();
    std::vector<std::filesystem::path> list{(binDirectory / ".." / "lib" / soname).lexically_normal()};
#ifdef KELVO_APP_INSTALLED_LIBDIR
    auto installed = (binDirectory / KELVO_APP_INSTALLED_LIBDIR / soname).lexically_normal();
    if (installed != list.front()) list.push_back(installed);
#endif
    list.emplace_back(soname);
    return list;
}

std::optional<std::filesystem::path> BridgeLibrary::container(const std::string& group) const {
    char* raw = containerPath(group.c_str());
    if (!raw) return std::nullopt;
    std::filesystem::path directory = raw;
    freeString(raw);
    return directory;
}

}  // namespace kelvo::app
