#include "tests/support/PrivateBus.hpp"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace platform::test {

PrivateBus::PrivateBus() { start(); }

PrivateBus::~PrivateBus() { daemon_.reset(); }

PrivateBus& PrivateBus::ofProcess() {
    static PrivateBus bus;
    return bus;
}

void PrivateBus::restart() {
    daemon_.reset();
    start();
}

void PrivateBus::start() {
    // A minimal session configuration: no service directories, so nothing is ever auto-started.
    auto socketDir = directory_.path() / ("bus" + std::to_string(generation_++));
    std::filesystem::create_directories(socketDir);
    auto config = directory_.path() / "bus.conf";
    std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                             " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                             "<busconfig>\n"
                             "  <type>session</type>\n"
                             "  <listen>unix:dir=" << socketDir.string() << "</listen>\n"
                             "  <auth>EXTERNAL</auth>\n"
                             "  <policy context=\"default\">\n"
                             "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                             "    <allow eavesdrop=\"true\"/>\n"
                             "    <allow own=\"*\"/>\n"
                             "  </policy>\n"
                             "</busconfig>\n";
    daemon_ = std::make_unique<Process>(
        "/usr/bin/dbus-daemon",
        std::vector<std::string>{"--config-file=" + config.string(), "--nofork", "--nopidfile", "--print-address=1"},
        directory_.path() / "bus.log");
    address_ = daemon_->readLine(std::chrono::seconds(10));
    if (address_.empty()) throw std::runtime_error("the bus daemon gave no address: " + readText(directory_.path() / "bus.log"));
    setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
}

}  // namespace platform::test
