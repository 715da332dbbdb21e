#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "Platform/System/Files.hpp"
#include "Platform/System/GroupContainer.hpp"
#include "Platform/System/Services.hpp"
#include "Platform/System/Uuid.hpp"

namespace kelvo::bench {

/// A real container directory with a snapshot in it, and the extension's bundle in force: what a
/// request of the widget touches, minus the bus.
class BenchContainer {
public:
    explicit BenchContainer(const std::string& snapshot, platform::Services services = {})
        : root_(std::filesystem::temp_directory_path() / ("kelvo-bench-" + platform::makeUuidString())) {
        std::filesystem::create_directories(hostDirectory());
        platform::writeAtomically(hostDirectory() / "state.json", snapshot);
        bundle_.bundleIdentifier = "com.kelvo.desktop.widget";
        bundle_.entitlements = std::make_shared<const nlohmann::json>(
            nlohmann::json{{platform::applicationGroupsEntitlement, {"group.com.kelvo.desktop"}}});
        services.mainBundle = [this]() -> const platform::Bundle& { return bundle_; };
        services.groupContainersRoot = [this] { return root_; };
        if (!services.reloadAllTimelines) services.reloadAllTimelines = [] {};
        scope_ = std::make_unique<platform::ScopedServices>(std::move(services));
    }
    ~BenchContainer() {
        scope_.reset();
        std::filesystem::remove_all(root_);
    }

    std::filesystem::path hostDirectory() const { return root_ / "group.com.kelvo.desktop" / "com.kelvo.desktop"; }

private:
    std::filesystem::path root_;
    platform::Bundle bundle_;
    std::unique_ptr<platform::ScopedServices> scope_;
};

}  // namespace kelvo::bench
