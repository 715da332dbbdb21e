#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "Platform/System/Bundle.hpp"
#include "Platform/System/Date.hpp"

namespace platform {

/// One placed widget as the widget host reports it.
struct WidgetInfo {
    std::string kind;
    std::string family;
};

/// Everything that touches the outside world, in one place, so that tests can replace it.
struct Services {
    /// The wall clock.
    std::function<Date()> now;
    /// Waits for a number of seconds, or less when a stop is requested.
    std::function<void(double seconds, std::stop_token stop)> pause;
    /// The user's time zone: an IANA name, or empty for the system's (TZ, else /etc/localtime).
    std::function<std::string()> timeZone;
    /// The main bundle of the process.
    std::function<const Bundle&()> mainBundle;
    /// The directory under which group containers live.
    std::function<std::filesystem::path()> groupContainersRoot;
    /// Whether an application with this bundle identifier runs for the current user.
    std::function<bool(const std::string& bundleIdentifier)> isApplicationRunning;
    /// Asks the widget host to rebuild the timelines of this application's extensions.
    std::function<void()> reloadAllTimelines;
    /// Asks the widget host for the placed widgets and waits at most `timeout` for them; nothing on
    /// failure or when no answer came in time.
    std::function<std::optional<std::vector<WidgetInfo>>(std::chrono::milliseconds timeout)> getCurrentConfigurations;

    /// The real services of this machine.
    static Services system();
};

/// The services in force.
const Services& services();

/// Counts replacements of the services; values made once per process are made again after one.
std::uint64_t servicesGeneration();

/// Replaces the services for the lifetime of the guard (tests only; not thread-safe).
class ScopedServices {
public:
    explicit ScopedServices(Services replacement);
    ScopedServices(const ScopedServices&) = delete;
    ScopedServices& operator=(const ScopedServices&) = delete;
    ~ScopedServices();

private:
    std::unique_ptr<Services> previous_;
};

/// A process-wide value made once on first use, under a lock, from the services in force.
template <class T>
class ProcessValue {
public:
    template <class Make>
    T get(Make&& make) {
        std::lock_guard lock(mutex_);
        if (!value_ || generation_ != servicesGeneration()) {
            value_ = make();
            generation_ = servicesGeneration();
        }
        return *value_;
    }

private:
    std::mutex mutex_;
    std::optional<T> value_;
    std::uint64_t generation_ = 0;
};

}  // namespace platform
