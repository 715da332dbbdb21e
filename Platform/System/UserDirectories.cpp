#include "Platform/System/UserDirectories.hpp"

#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace platform {

std::filesystem::path xdgBaseDirectory(const char* variable, const char* fallbackUnderHome) {
    // Relative values are invalid by the XDG rules and ignored.
    const char* value = std::getenv(variable);
    if (value && value[0] == '/') return value;
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') return {};
    return std::filesystem::path(home) / fallbackUnderHome;
}

std::filesystem::path executablePath() {
    // readlink itself rather than std::filesystem::read_symlink, which looks at the link first.
    for (std::string path(128, '\0'); path.size() <= PATH_MAX; path.resize(2 * path.size())) {
        ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
        if (length <= 0) return {};
        if (static_cast<size_t>(length) < path.size()) {
            path.resize(static_cast<size_t>(length));
            return path;
        }
    }
    return {};
}

}  // namespace platform
