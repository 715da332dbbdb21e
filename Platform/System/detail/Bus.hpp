#pragma once

#include <systemd/sd-bus.h>

#include <chrono>
#include <functional>
#include <memory>

// The platform's calls into libsystemd's sd-bus. The library is loaded on first use rather than
// linked: an extension answering a timeline seldom talks to the bus, and loading libsystemd with
// the six libraries it pulls in would cost more than all the rest of its start.
namespace platform::detail {

/// False when libsystemd cannot be loaded; then every call below fails as if there were no bus.
bool busLibraryLoaded();

// The sd-bus functions of the same names (sd_bus_open_user and so on), through the loaded library.
namespace sdbus {
int open_user(sd_bus** bus);
sd_bus* flush_close_unref(sd_bus* bus);
sd_bus* close_unref(sd_bus* bus);
void error_free(sd_bus_error* error);
sd_bus_message* message_unref(sd_bus_message* message);
int service_name_is_valid(const char* name);
int call_method(sd_bus* bus, const char* destination, const char* path, const char* interface, const char* member,
                sd_bus_error* error, sd_bus_message** reply, const char* types, ...);
int call(sd_bus* bus, sd_bus_message* message, std::uint64_t usec, sd_bus_error* error, sd_bus_message** reply);
int send(sd_bus* bus, sd_bus_message* message, std::uint64_t* cookie);
int call_async(sd_bus* bus, sd_bus_slot** slot, sd_bus_message* message, sd_bus_message_handler_t callback,
               void* userdata, std::uint64_t usec);
int process(sd_bus* bus, sd_bus_message** message);
int wait(sd_bus* bus, std::uint64_t usec);
int get_n_queued_write(sd_bus* bus, std::uint64_t* count);
int message_is_method_error(sd_bus_message* message, const char* name);
int message_new_method_call(sd_bus* bus, sd_bus_message** message, const char* destination, const char* path,
                            const char* interface, const char* member);
int message_append(sd_bus_message* message, const char* types, ...);
int message_read(sd_bus_message* message, const char* types, ...);
int message_enter_container(sd_bus_message* message, char type, const char* contents);
int message_exit_container(sd_bus_message* message);
int message_set_expect_reply(sd_bus_message* message, int expect);
}  // namespace sdbus

struct BusUnref {
    void operator()(sd_bus* bus) const { sdbus::flush_close_unref(bus); }
};
using BusPtr = std::unique_ptr<sd_bus, BusUnref>;

/// A new connection to the user's session bus, or null when there is none.
BusPtr openUserBus();

/// Runs `bus`'s input and output (connecting, authenticating, the bus's greeting, queued messages
/// and replies) until `done()` holds, never blocking past `deadline`. False when the deadline
/// passed or the connection failed first. sd-bus's own blocking calls wait without bound for the
/// greeting, so a bus that accepts and never answers would hold the caller far past any deadline.
bool processUntil(sd_bus* bus, std::chrono::steady_clock::time_point deadline, const std::function<bool()>& done);

/// Owns an sd_bus_error.
struct BusError {
    sd_bus_error value = SD_BUS_ERROR_NULL;
    BusError() = default;
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    ~BusError() { sdbus::error_free(&value); }
};

/// Owns an sd_bus_message reference.
class BusMessage {
public:
    BusMessage() = default;
    BusMessage(const BusMessage&) = delete;
    BusMessage& operator=(const BusMessage&) = delete;
    ~BusMessage() { sdbus::message_unref(message_); }
    sd_bus_message** out() { return &message_; }
    sd_bus_message* get() const { return message_; }

private:
    sd_bus_message* message_ = nullptr;
};

}  // namespace platform::detail
