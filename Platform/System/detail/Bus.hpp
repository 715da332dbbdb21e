#pragma once

#include <systemd/sd-bus.h>

#include <memory>

namespace platform::detail {

struct BusUnref {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using BusPtr = std::unique_ptr<sd_bus, BusUnref>;

/// A new connection to the user's session bus, or null when there is none.
BusPtr openUserBus();

/// Owns an sd_bus_error.
struct BusError {
    sd_bus_error value = SD_BUS_ERROR_NULL;
    BusError() = default;
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    ~BusError() { sd_bus_error_free(&value); }
};

/// Owns an sd_bus_message reference.
class BusMessage {
public:
    BusMessage() = default;
    BusMessage(const BusMessage&) = delete;
    BusMessage& operator=(const BusMessage&) = delete;
    ~BusMessage() { sd_bus_message_unref(message_); }
    sd_bus_message** out() { return &message_; }
    sd_bus_message* get() const { return message_; }

private:
    sd_bus_message* message_ = nullptr;
};

}  // namespace platform::detail
