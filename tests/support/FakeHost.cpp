#include "tests/support/FakeHost.hpp"

#include <systemd/sd-bus.h>

#include <stdexcept>
#include <thread>

#include "Platform/Widgets/dbus/Host1.hpp"

namespace platform::test {
namespace {

// Calls one method of the fake's own interface on a connection of its own.
sd_bus_message* callFake(const char* member, const char* argument = nullptr) {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) throw std::runtime_error("no session bus");
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int r = argument ? sd_bus_call_method(bus, host1::busName, host1::objectPath, fakeHostInterface, member, &error,
                                          &reply, "s", argument)
                     : sd_bus_call_method(bus, host1::busName, host1::objectPath, fakeHostInterface, member, &error,
                                          &reply, "");
    std::string message = error.message ? error.message : "";
    sd_bus_error_free(&error);
    sd_bus_flush_close_unref(bus);
    if (r < 0) throw std::runtime_error(std::string("fake host call ") + member + " failed: " + message);
    return reply;
}

// The number a check answered, the reply let go.
std::uint32_t countIn(sd_bus_message* reply) {
    std::uint32_t count = 0;
    sd_bus_message_read(reply, "u", &count);
    sd_bus_message_unref(reply);
    return count;
}

}  // namespace

FakeHost::FakeHost(const std::string& description) {
    process_ = std::make_unique<Process>(KELVO_FAKE_WIDGET_HOST, std::vector<std::string>{"--json", description},
                                         directory_.path() / "host.log");
    std::string line;
    try {
        line = process_->readLine(std::chrono::seconds(10));
    } catch (const std::exception& e) {
        throw std::runtime_error(std::string("fake host did not start: ") + e.what() + "\n" + log());
    }
    if (line != "ready") throw std::runtime_error("fake host said \"" + line + "\"\n" + log());
}

FakeHost::~FakeHost() { process_.reset(); }

std::vector<std::string> FakeHost::reloadRequests() const {
    sd_bus_message* reply = callFake("ReloadRequests");
    std::vector<std::string> requests;
    char** strv = nullptr;
    if (sd_bus_message_read_strv(reply, &strv) >= 0 && strv) {
        for (char** s = strv; *s; ++s) {
            requests.emplace_back(*s);
            free(*s);
        }
        free(strv);
    }
    sd_bus_message_unref(reply);
    return requests;
}

std::vector<std::string> FakeHost::waitForReloads(std::size_t count, std::chrono::milliseconds timeout) const {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        auto requests = reloadRequests();
        if (requests.size() >= count || std::chrono::steady_clock::now() >= deadline) return requests;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::uint32_t FakeHost::queryCount() const { return countIn(callFake("QueryCount")); }

std::uint32_t FakeHost::lateAnswers() const { return countIn(callFake("LateAnswers")); }

std::string FakeHost::log() const { return readText(directory_.path() / "host.log"); }

std::uint32_t FakeHost::callCount(const std::string& method) const {
    return countIn(callFake("CallCount", method.c_str()));
}

}  // namespace platform::test
