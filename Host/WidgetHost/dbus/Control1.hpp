#pragma once

// Names of the widget host's control interface (net.widgethost.Control1.xml beside this file),
// shared by widget-host, widgetctl and the tests so that they cannot drift apart. The interface is
// served on the Host1 object under the Host1 bus name.

#include "Platform/Widgets/dbus/Host1.hpp"

namespace widgethost::control1 {

using platform::host1::busName;
using platform::host1::objectPath;
inline constexpr const char* interfaceName = "net.widgethost.Control1";

/// The errors its methods answer with.
namespace error {
inline constexpr const char* invalidArgument = "net.widgethost.Control1.Error.InvalidArgument";
inline constexpr const char* unknownWidget = "net.widgethost.Control1.Error.UnknownWidget";
inline constexpr const char* unknownKind = "net.widgethost.Control1.Error.UnknownKind";
inline constexpr const char* unsupportedFamily = "net.widgethost.Control1.Error.UnsupportedFamily";
inline constexpr const char* unknownLabel = "net.widgethost.Control1.Error.UnknownLabel";
inline constexpr const char* disabled = "net.widgethost.Control1.Error.Disabled";
inline constexpr const char* nothingToShow = "net.widgethost.Control1.Error.NothingToShow";
inline constexpr const char* unavailable = "net.widgethost.Control1.Error.Unavailable";
inline constexpr const char* failed = "net.widgethost.Control1.Error.Failed";
}  // namespace error

}  // namespace widgethost::control1
