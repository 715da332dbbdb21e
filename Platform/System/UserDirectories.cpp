#include "Platform/System/UserDirectories.hpp"

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
    std::error_code error;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path{} : exe;
}

}  // namespace platform
