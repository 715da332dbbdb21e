#pragma once

#include <string>

#include "Platform/System/Result.hpp"

typedef struct sd_bus sd_bus;
typedef struct sd_bus_slot sd_bus_slot;

// The host on the session bus: net.widgethost.Host1 for applications and their extensions,
// net.widgethost.Control1 for widgetctl, both on /net/widgethost/Host1 under the well-known name
// net.widgethost.Host1. The interfaces are documented in their introspection XML files.
namespace widgethost {

class Host;

class BusService {
public:
    BusService(sd_bus* bus, Host& host) : bus_(bus), host_(host) {}
    BusService(const BusService&) = delete;
    BusService& operator=(const BusService&) = delete;
    ~BusService();

    /// Serves both interfaces and takes the well-known name; fails when another host owns the name or
    /// the bus refuses.
    platform::Status<> start();

    /// Tells listeners that a widget's picture file changed.
    void emitDrawn(const std::string& id, const std::string& picture);
    /// Tells listeners (the gallery) to ask for the widget kinds again.
    void emitKindsChanged();

    sd_bus* bus() const { return bus_; }
    Host& host() const { return host_; }

private:
    sd_bus* bus_;
    Host& host_;
    sd_bus_slot* hostSlot_ = nullptr;
    sd_bus_slot* controlSlot_ = nullptr;
};

}  // namespace widgethost
