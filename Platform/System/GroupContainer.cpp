#include "Platform/System/GroupContainer.hpp"

#include <nlohmann/json.hpp>

#include "Platform/System/Services.hpp"
#include "Platform/System/UserDirectories.hpp"

namespace platform {

std::filesystem::path defaultGroupContainersRoot() {
    auto base = xdgBaseDirectory("XDG_DATA_HOME", ".local/share");
    return base.empty() ? base : base / "group-containers";
}

bool isSafePathComponent(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::optional<std::filesystem::path> containerURLForSecurityApplicationGroupIdentifier(const std::string& group) {
    if (!isSafePathComponent(group)) return std::nullopt;
    const auto* groups = services().mainBundle().valueForEntitlement(applicationGroupsEntitlement);
    if (!groups || !groups->is_array()) return std::nullopt;
    for (const auto& granted : *groups) {
        if (granted.is_string() && granted.get_ref<const std::string&>() == group) {
            auto root = services().groupContainersRoot();
            if (!root.is_absolute()) return std::nullopt;
            // Empty and "." parts go, which never changes where the path leads; ".." stays, since
            // it may follow a symbolic link.
            std::filesystem::path container;
            for (const auto& part : root)
                if (!part.empty() && part != ".") container /= part;
            return container / group;
        }
    }
    return std::nullopt;
}

}  // namespace platform
