#pragma once

// Names of the widget host's control interface (net.widgethost.Control1.xml beside this file),
// shared by widget-host, widgetctl and the tests so that they cannot drift apart. The interface is
// served on the Host1 object under the Host1 bus name.

#include "Platform/Widgets/dbus/Host1.hpp"

namespace widgethost::control1 {

using platform::host1::busName;
using platform::host1::objectPath;
inline constexpr const char* interfaceName = "net.widgethost.Control1";

/// Its methods and signals, as the XML declares them.
namespace method {
using platform::bus::Method;
inline constexpr Method place{"Place", "ss", "s"};
inline constexpr Method placeAt{"PlaceAt", "ssii", "s"};
inline constexpr Method placeNearPointer{"PlaceNearPointer", "ss", "s"};
inline constexpr Method placeClearOf{"PlaceClearOf", "ssiiii", "sii"};
inline constexpr Method move{"Move", "sii", ""};
inline constexpr Method geometry{"Geometry", "s", "iia(sdddd)s"};
inline constexpr Method geometries{"Geometries", "", "a(siia(sdddd)s)"};
inline constexpr Method remove{"Remove", "s", ""};
inline constexpr Method resize{"Resize", "ss", ""};
inline constexpr Method list{"List", "", "a(ssssdasa(sbs)ss)"};
inline constexpr Method render{"Render", "ssdss", ""};
inline constexpr Method press{"Press", "ss", "s"};
inline constexpr Method pressAt{"PressAt", "sdd", "ss"};
inline constexpr Method reload{"Reload", "", ""};
inline constexpr Method kinds{"Kinds", "", "a(ssssas)"};
inline constexpr Method preview{"Preview", "ssdss", ""};
inline constexpr Method previewEntry{"PreviewEntry", "ss", "dss"};
}  // namespace method
inline constexpr platform::bus::Method methods[] = {
    method::place,   method::placeAt, method::placeNearPointer, method::move,    method::geometry,
    method::geometries, method::remove, method::resize, method::list,          method::render,  method::press,
    method::pressAt, method::reload,  method::kinds,            method::preview, method::previewEntry,
    method::placeClearOf,
};

namespace signal {
inline constexpr platform::bus::Signal drawn{"Drawn", "ss"};
inline constexpr platform::bus::Signal kindsChanged{"KindsChanged", ""};
}  // namespace signal
inline constexpr platform::bus::Signal signals[] = {signal::drawn, signal::kindsChanged};

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
