#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/Process.hpp"

namespace platform::test {

/// The fake's own interface for the tests' checks, served beside Host1 on the same object.
inline constexpr const char* fakeHostInterface = "net.widgethost.FakeHost1";

/// The fake widget host (kelvo_fake_widget_host) running on the current session bus, serving a
/// JSON description (see FakeWidgetHost.cpp). The constructor returns once the host owns its
/// name; the destructor stops it.
class FakeHost {
public:
    explicit FakeHost(const std::string& description);
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;
    ~FakeHost();

    /// The application ids of the reload requests received so far, in order.
    std::vector<std::string> reloadRequests() const;
    /// Waits until at least `count` reload requests have arrived, or the timeout passed.
    std::vector<std::string> waitForReloads(std::size_t count, std::chrono::milliseconds timeout) const;
    /// How many configuration queries arrived.
    std::uint32_t queryCount() const;
    /// How many answers the "delay" mode held back have been sent.
    std::uint32_t lateAnswers() const;
    /// How many calls of a Control1 method arrived.
    std::uint32_t callCount(const std::string& method) const;
    /// What the host wrote to its standard error.
    std::string log() const;

private:
    TemporaryDirectory directory_;
    std::unique_ptr<Process> process_;
};

}  // namespace platform::test
