#pragma once

// Names and argument rules of the widget host's D-Bus interface (net.widgethost.Host1.xml), shared
// by the client, the host and the test doubles so that they cannot drift apart.

#include <cstddef>
#include <string_view>

#include "Platform/Widgets/dbus/BusMember.hpp"

namespace platform::host1 {

inline constexpr const char* busName = "net.widgethost.Host1";
inline constexpr const char* objectPath = "/net/widgethost/Host1";
inline constexpr const char* interfaceName = "net.widgethost.Host1";

/// Its methods, as the XML declares them.
namespace method {
inline constexpr bus::Method reloadAllTimelines{"ReloadAllTimelines", "s", ""};
inline constexpr bus::Method getCurrentConfigurations{"GetCurrentConfigurations", "s", "a(sss)"};
}  // namespace method
inline constexpr bus::Method methods[] = {method::reloadAllTimelines, method::getCurrentConfigurations};

inline constexpr const char* errorInvalidArgument = "net.widgethost.Host1.Error.InvalidArgument";
inline constexpr const char* errorFailed = "net.widgethost.Host1.Error.Failed";

inline constexpr std::size_t maxApplicationIdLength = 255;

/// Whether a string may name an application: 1 to 255 bytes of [A-Za-z0-9_.-], no leading or
/// trailing ".", no "..".
constexpr bool isValidApplicationId(std::string_view id) {
    if (id.empty() || id.size() > maxApplicationIdLength) return false;
    if (id.front() == '.' || id.back() == '.') return false;
    char previous = '\0';
    for (char c : id) {
        bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                       c == '-' || c == '.';
        if (!allowed || (c == '.' && previous == '.')) return false;
        previous = c;
    }
    return true;
}

/// Whether an extension belongs to an application: its bundle identifier is the application id
/// itself or the application id followed by "." and more.
constexpr bool isExtensionOf(std::string_view extensionId, std::string_view applicationId) {
    if (applicationId.empty() || !extensionId.starts_with(applicationId)) return false;
    return extensionId.size() == applicationId.size() || extensionId[applicationId.size()] == '.';
}

}  // namespace platform::host1
