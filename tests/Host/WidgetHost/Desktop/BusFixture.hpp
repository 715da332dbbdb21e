#pragma once

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>

#include "tests/support/PrivateBus.hpp"

// Two connections to a bus of the test's own on one event loop: one for the code under test, one
// for the fake service it talks to. The bus is private because tests run in parallel, and a fake
// portal that one test serves must never answer another.
struct BusPair {
    sd_event* event = nullptr;
    sd_bus* client = nullptr;
    sd_bus* service = nullptr;

    bool open() {
        platform::test::PrivateBus::ofProcess();
        sd_event_new(&event);
        if (sd_bus_open_user(&client) < 0 || sd_bus_open_user(&service) < 0) return false;
        sd_bus_attach_event(client, event, 0);
        sd_bus_attach_event(service, event, 0);
        return true;
    }

    ~BusPair() {
        sd_bus_flush_close_unref(client);
        sd_bus_flush_close_unref(service);
        sd_event_unref(event);
    }

    /// Runs the loop until `done` holds or two seconds passed; returns `done()`.
    bool runUntil(const std::function<bool()>& done) const {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!done() && std::chrono::steady_clock::now() < deadline) sd_event_run(event, 10'000);
        return done();
    }

    /// Runs the loop for a while, for things that must not happen.
    void runFor(std::chrono::milliseconds span) const {
        auto deadline = std::chrono::steady_clock::now() + span;
        while (std::chrono::steady_clock::now() < deadline) sd_event_run(event, 10'000);
    }
};

/// A bus on one end of a socket pair that nobody answers: started, so it builds messages for the
/// parsers, but needing no bus daemon.
struct MessageBus {
    sd_bus* bus = nullptr;
    int fds[2] = {-1, -1};
    MessageBus() {
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds);
        sd_bus_new(&bus);
        sd_bus_set_fd(bus, fds[0], fds[0]);
        sd_bus_start(bus);
    }
    ~MessageBus() {
        sd_bus_close_unref(bus);
        close(fds[1]);
    }
};
