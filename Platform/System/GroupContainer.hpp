#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace platform {

/// The entitlement that lists the application groups whose containers a program may use.
inline constexpr const char* applicationGroupsEntitlement = "com.apple.security.application-groups";

/// ${XDG_DATA_HOME:-$HOME/.local/share}/group-containers
std::filesystem::path defaultGroupContainersRoot();

/// Whether a name can stand as one directory component: not empty, not "." or "..", no slash, no NUL.
bool isSafePathComponent(const std::string& name);

/// The container of an application group, granted only when the main bundle's entitlement
/// "com.apple.security.application-groups" lists the group. The directory need not exist.
std::optional<std::filesystem::path> containerURLForSecurityApplicationGroupIdentifier(const std::string& group);

}  // namespace platform
