#include "Platform/System/Services.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>

#include "Platform/System/GroupContainer.hpp"
#include "Platform/System/RunningApplications.hpp"
#include "Platform/Widgets/WidgetCenter.hpp"

namespace platform {
namespace {

std::unique_ptr<Services>& installed() {
    static std::unique_ptr<Services> current;
    return current;
}

std::atomic<std::uint64_t> generation{0};

}  // namespace

Services Services::system() {
    Services s;
    s.now = [] {
        auto since = std::chrono::system_clock::now().time_since_epoch();
        return Date::fromMilliseconds(std::chrono::duration<double, std::milli>(since).count());
    };
    s.pause = [](double seconds, std::stop_token stop) {
        std::mutex mutex;
        std::condition_variable_any wakeUp;
        std::unique_lock lock(mutex);
        wakeUp.wait_for(lock, stop, std::chrono::duration<double>(seconds), [] { return false; });
    };
    s.timeZone = [] { return std::string{}; };
    s.mainBundle = []() -> const Bundle& {
        static const Bundle bundle = Bundle::ofRunningExecutable();
        return bundle;
    };
    s.groupContainersRoot = [] { return defaultGroupContainersRoot(); };
    s.isApplicationRunning = [](const std::string& id) { return RunningApplications::isRunning(id); };
    s.reloadAllTimelines = [] { WidgetCenterClient::reloadAllTimelines(); };
    s.getCurrentConfigurations = [](std::chrono::milliseconds timeout) {
        return WidgetCenterClient::getCurrentConfigurations(timeout);
    };
    return s;
}

const Services& services() {
    auto& current = installed();
    if (!current) {
        static const Services real = Services::system();
        return real;
    }
    return *current;
}

std::uint64_t servicesGeneration() { return generation.load(std::memory_order_acquire); }

ScopedServices::ScopedServices(Services replacement) {
    previous_ = std::move(installed());
    // Unset members fall back to the real ones so that a test replaces only what it needs.
    Services real = Services::system();
    if (!replacement.now) replacement.now = real.now;
    if (!replacement.pause) replacement.pause = real.pause;
    if (!replacement.timeZone) replacement.timeZone = real.timeZone;
    if (!replacement.mainBundle) replacement.mainBundle = real.mainBundle;
    if (!replacement.groupContainersRoot) replacement.groupContainersRoot = real.groupContainersRoot;
    if (!replacement.isApplicationRunning) replacement.isApplicationRunning = real.isApplicationRunning;
    if (!replacement.reloadAllTimelines) replacement.reloadAllTimelines = real.reloadAllTimelines;
    if (!replacement.getCurrentConfigurations) replacement.getCurrentConfigurations = real.getCurrentConfigurations;
    installed() = std::make_unique<Services>(std::move(replacement));
    generation.fetch_add(1, std::memory_order_acq_rel);
}

ScopedServices::~ScopedServices() {
    installed() = std::move(previous_);
    generation.fetch_add(1, std::memory_order_acq_rel);
}

}  // namespace platform
