#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Platform/System/Result.hpp"

#include <systemd/sd-bus.h>

namespace kelvo::app {

/// What the running instance does when asked to come forward, with the links it was opened with
/// (none for a plain activation).
using ComeForward = std::function<void(const std::vector<std::string>& links)>;

/// The object path of org.freedesktop.Application for a bus name: "com.kelvo.desktop" serves on
/// "/com/kelvo/desktop".
std::string applicationObjectPath(const std::string& busName);

/// Serves org.freedesktop.Application (Activate, Open, ActivateAction) on `bus` for `busName`,
/// as desktop launchers and a second start of the program ask a running application to come
/// forward. `comeForward` must outlive the bus connection. A negative errno on failure.
int serveApplication(sd_bus* bus, const std::string& busName, ComeForward* comeForward);

enum class Forwarded { toRunningInstance, noInstance };

/// Asks the instance that owns `busName` to open `links` and come forward. noInstance when no
/// program owns the name (or there is no session bus); an error when one does but the call went
/// wrong.
platform::Result<Forwarded> forwardToRunningInstance(const std::string& busName, const std::vector<std::string>& links);

}  // namespace kelvo::app
