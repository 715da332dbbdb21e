#include "Platform/System/GroupContainer.hpp"

#include <cstdlib>

#include <nlohmann/json.hpp>

#include "Platform/System/Services.hpp"

namespace platform {

std::filesystem::path defaultGroupContainersRoot() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    std::filesystem::path base;
    if (dataHome && dataHome[0] == '/') {
        base = dataHome;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home && home[0] ? home : "/") / ".local" / "share";
    }
    return base / "group-containers";
}

bool isSafePathComponent(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::optional<std::filesystem::path> containerURLForSecurityApplicationGroupIdentifier(const std::string& group) {
    if (!isSafePathComponent(group)) return std::nullopt;
    const auto* groups = services().mainBundle().valueForEntitlement("com.apple.security.application-groups");
    if (!groups || !groups->is_array()) return std::nullopt;
    for (const auto& granted : *groups) {
        if (granted.is_string() && granted.get_ref<const std::string&>() == group)
            return services().groupContainersRoot() / group;
    }
    return std::nullopt;
}

}  // namespace platform
