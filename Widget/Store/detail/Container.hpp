#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "Widget/Model/WidgetSnapshot.hpp"

// Where the store finds things; shared by loading and command delivery.
namespace kelvo::detail {

/// The first group of the extension's application-group entitlement, made once per process.
std::optional<std::string> appGroupIdentifier();
/// The extension's own bundle identifier without a trailing ".widget"; empty without one.
std::string hostBundleIdentifier();
/// <container>/<host>; nothing without a group, a container, or a host identifier that is a safe
/// directory name.
std::optional<std::filesystem::path> hostDirectory();
/// Reads and strictly decodes <host>/state.json; no correction of `appRunning`.
std::optional<WidgetSnapshot> readSnapshot();

}  // namespace kelvo::detail
