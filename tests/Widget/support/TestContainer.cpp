#include "tests/Widget/support/TestContainer.hpp"

#include <fstream>
#include <random>

#include "Platform/System/GroupContainer.hpp"

namespace kelvo::testing {

TestContainer::TestContainer(Options options) {
    std::random_device random;
    root_ = std::filesystem::temp_directory_path() / ("kelvo-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(root_);

    bundle_ = std::make_shared<platform::Bundle>();
    bundle_->bundleIdentifier = options.bundleIdentifier;
    if (!options.groups.is_null())
        bundle_->entitlements = std::make_shared<const nlohmann::json>(
            nlohmann::json{{platform::applicationGroupsEntitlement, options.groups}});
    nowMs_->store(options.nowMilliseconds);
    running_->store(options.applicationRunning);

    platform::Services services;
    auto nowMs = nowMs_;
    services.now = [nowMs] { return platform::Date::fromMilliseconds(nowMs->load()); };
    services.timeZone = [zone = options.timeZone] { return zone; };
    services.mainBundle = [bundle = bundle_]() -> const platform::Bundle& { return *bundle; };
    services.groupContainersRoot = [root = root_] { return root; };
    services.isApplicationRunning = [running = running_](const std::string& id) {
        return running->load() && id == "com.kelvo.desktop";
    };
    services.reloadAllTimelines = [reloads = reloads_] { reloads->fetch_add(1); };
    services.getCurrentConfigurations = [](std::chrono::milliseconds) { return std::nullopt; };
    services.pause = [pauses = pauses_, hook = pauseHook_](double, std::stop_token) {
        int n = pauses->fetch_add(1) + 1;
        if (*hook) (*hook)(n);
    };
    scope_ = std::make_unique<platform::ScopedServices>(std::move(services));
}

TestContainer::~TestContainer() {
    scope_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::filesystem::path TestContainer::hostDirectory() const {
    return root_ / "group.com.kelvo.desktop" / "com.kelvo.desktop";
}

void TestContainer::writeState(const std::string& bytes) const {
    std::filesystem::create_directories(hostDirectory());
    std::ofstream(hostDirectory() / "state.json", std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<std::filesystem::path> TestContainer::commandFiles() const {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(hostDirectory() / "commands", error))
        files.push_back(entry.path());
    return files;
}

nlohmann::json minimalSnapshot() {
    return {
        {"updatedAt", 1796760000000},
        {"appRunning", true},
        {"loggedIn", true},
        {"offline", false},
        {"recent", nlohmann::json::array()},
        {"strings",
         {{"startTracking", "Start"},
          {"stopTracking", "Stop"},
          {"today", "Today"},
          {"recent", "Recent"},
          {"noRecent", "None yet"},
          {"notTracking", "Idle"},
          {"noDescription", "Untitled"},
          {"openApp", "Open the app"},
          {"loggedOut", "Log in"},
          {"offline", "Offline"}}},
    };
}

}  // namespace kelvo::testing
