#pragma once

#include <string>

namespace platform::RunningApplications {

/// Whether an application with this bundle identifier runs: the session bus has an owner for the
/// D-Bus name equal to the identifier. No session bus, or a name that is no valid bus name: false.
bool isRunning(const std::string& bundleIdentifier);

}  // namespace platform::RunningApplications
