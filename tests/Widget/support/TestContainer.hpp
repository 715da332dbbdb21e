#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Platform/System/Services.hpp"

namespace kelvo::testing {

/// A temporary home for one test: a group container root, a bundle with entitlements, a fixed clock
/// and zone, and recorded widget-center calls. Installs itself as the services in force.
class TestContainer {
public:
    struct Options {
        std::optional<std::string> bundleIdentifier = "com.kelvo.desktop.widget";
        nlohmann::json groups = nlohmann::json::array({"group.com.kelvo.desktop"});  // null: no entitlement
        std::string timeZone = "Europe/Berlin";
        double nowMilliseconds = 1796767200000.0;  // 2026-12-08 23:00 in Berlin
        bool applicationRunning = true;
    };

    TestContainer() : TestContainer(Options{}) {}
    explicit TestContainer(Options options);
    ~TestContainer();

    const std::filesystem::path& root() const { return root_; }
    /// <root>/group.com.kelvo.desktop/com.kelvo.desktop
    std::filesystem::path hostDirectory() const;
    void writeState(const std::string& bytes) const;
    std::vector<std::filesystem::path> commandFiles() const;

    platform::Date now() const { return platform::Date::fromMilliseconds(nowMs_->load()); }
    void setNow(double ms) { nowMs_->store(ms); }
    void setApplicationRunning(bool running) { running_->store(running); }
    int reloads() const { return reloads_->load(); }
    int pauses() const { return pauses_->load(); }
    /// Runs at every pause of the reaction watch, with the number of the pause (1-based).
    void onPause(std::function<void(int)> hook) { *pauseHook_ = std::move(hook); }

private:
    std::filesystem::path root_;
    std::shared_ptr<platform::Bundle> bundle_;
    std::shared_ptr<std::atomic<double>> nowMs_ = std::make_shared<std::atomic<double>>(0);
    std::shared_ptr<std::atomic<bool>> running_ = std::make_shared<std::atomic<bool>>(true);
    std::shared_ptr<std::atomic<int>> reloads_ = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<std::atomic<int>> pauses_ = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<std::function<void(int)>> pauseHook_ = std::make_shared<std::function<void(int)>>();
    std::unique_ptr<platform::ScopedServices> scope_;
};

/// The smallest valid snapshot document, as a JSON value to vary.
nlohmann::json minimalSnapshot();

}  // namespace kelvo::testing
