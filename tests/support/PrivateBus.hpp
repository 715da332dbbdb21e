#pragma once

#include <memory>
#include <string>

#include "tests/support/Process.hpp"

namespace platform::test {

/// A D-Bus session bus daemon of the test's own, so that tests never meet other programs' names and
/// can run in parallel. Starting one points this process's session bus (DBUS_SESSION_BUS_ADDRESS)
/// at it; children started afterwards inherit it.
class PrivateBus {
public:
    PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;
    ~PrivateBus();

    /// One bus for the whole test process, started on first use and stopped at exit. Connections
    /// that a process keeps open stay on the bus they were made for, so one bus per process is
    /// the safe choice.
    static PrivateBus& ofProcess();

    /// Stops the daemon and starts a new one at a new address, as after a crash of the bus.
    void restart();

    const std::string& address() const { return address_; }

private:
    void start();

    TemporaryDirectory directory_;
    std::unique_ptr<Process> daemon_;
    std::string address_;
    int generation_ = 0;
};

}  // namespace platform::test
