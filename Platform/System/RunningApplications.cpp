#include "Platform/System/RunningApplications.hpp"

#include "Platform/System/detail/Bus.hpp"

namespace platform::RunningApplications {

bool isRunning(const std::string& bundleIdentifier) {
    if (!detail::sdbus::service_name_is_valid(bundleIdentifier.c_str())) return false;
    auto bus = detail::openUserBus();
    if (!bus) return false;
    detail::BusError error;
    detail::BusMessage reply;
    int r = detail::sdbus::call_method(bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                         "NameHasOwner", &error.value, reply.out(), "s", bundleIdentifier.c_str());
    if (r < 0) return false;
    int hasOwner = 0;
    if (detail::sdbus::message_read(reply.get(), "b", &hasOwner) < 0) return false;
    return hasOwner != 0;
}

}  // namespace platform::RunningApplications
