#include "Host/KelvoApp/BusName.hpp"

#include <cstring>

#include "Host/KelvoApp/Log.hpp"
#include "Platform/System/detail/Bus.hpp"

namespace kelvo::app {

struct BusName::Connection {
    platform::detail::BusPtr bus;
    std::string name;
};

BusName::BusName(std::unique_ptr<Connection> connection) : connection_(std::move(connection)) {}
BusName::BusName(BusName&&) noexcept = default;

BusName::~BusName() {
    if (!connection_ || !connection_->bus) return;
    // Released before the connection closes, so that watchers see the application gone at once.
    sd_bus_release_name(connection_->bus.get(), connection_->name.c_str());
}

platform::Result<BusName> BusName::acquire(const std::string& name) {
    auto bus = platform::detail::openUserBus();
    if (!bus)
        return platform::Error{"no session bus (is DBUS_SESSION_BUS_ADDRESS set?)"};
    int r = sd_bus_request_name(bus.get(), name.c_str(), 0);
    if (r == -EEXIST)
        return platform::Error{"another program owns " + name + " on the session bus (is kelvo-app running already?)"};
    if (r < 0 && r != -EALREADY)
        return platform::Error{"cannot own " + name + " on the session bus: " + std::strerror(-r), -r};
    BusName owned(std::make_unique<Connection>(Connection{std::move(bus), name}));
    // Taking the name read the bus's NameAcquired signal into the connection's queue; while anything
    // waits there sd-bus asks to be polled for nothing, so the descriptor would never wake.
    if (!owned.process())
        return platform::Error{"lost the session bus while taking " + name};
    return owned;
}

bool BusName::serveApplication(ComeForward* comeForward) {
    return kelvo::app::serveApplication(connection_->bus.get(), connection_->name, comeForward) >= 0;
}

int BusName::fd() const { return sd_bus_get_fd(connection_->bus.get()); }

short BusName::events() const {
    int events = sd_bus_get_events(connection_->bus.get());
    return events < 0 ? 0 : static_cast<short>(events);
}

bool BusName::process() {
    for (;;) {
        int r = sd_bus_process(connection_->bus.get(), nullptr);
        if (r < 0) {
            logEvent(std::string("session bus: ") + std::strerror(-r), platform::LogPriority::warning);
            return false;
        }
        if (r == 0) return true;
    }
}

}  // namespace kelvo::app
