#include "Widget/Store/WidgetStore.hpp"

#include <nlohmann/json.hpp>

#include "Platform/System/Files.hpp"
#include "Platform/System/GroupContainer.hpp"
#include "Platform/System/Services.hpp"
#include "Widget/Store/detail/Container.hpp"

namespace kelvo {
namespace detail {
namespace {

platform::ProcessValue<std::optional<std::string>> groupIdentifier;

}  // namespace

std::optional<std::string> appGroupIdentifier() {
    return groupIdentifier.get([]() -> std::optional<std::string> {
        const auto* groups =
            platform::services().mainBundle().valueForEntitlement(platform::applicationGroupsEntitlement);
        if (!groups || !groups->is_array() || groups->empty()) return std::nullopt;
        for (const auto& group : *groups)
            if (!group.is_string()) return std::nullopt;
        return groups->front().get<std::string>();
    });
}

std::string hostBundleIdentifier() {
    static constexpr std::string_view suffix = ".widget";
    std::string identifier = platform::services().mainBundle().bundleIdentifier.value_or("");
    if (identifier.ends_with(suffix)) identifier.resize(identifier.size() - suffix.size());
    return identifier;
}

std::optional<std::filesystem::path> hostDirectory() {
    auto group = appGroupIdentifier();
    if (!group) return std::nullopt;
    auto root = platform::containerURLForSecurityApplicationGroupIdentifier(*group);
    if (!root) return std::nullopt;
    // An identifier that is empty or would lead out of the container gives none, so nothing is
    // ever read or written outside the application's own directory.
    auto host = hostBundleIdentifier();
    if (!platform::isSafePathComponent(host)) return std::nullopt;
    return *root / host;
}

std::optional<WidgetSnapshot> readSnapshot() {
    auto directory = hostDirectory();
    if (!directory) return std::nullopt;
    auto bytes = platform::readRegularFile(*directory / "state.json", WidgetStore::maxSnapshotBytes);
    if (!bytes) return std::nullopt;
    return WidgetSnapshot::decode(*bytes);
}

}  // namespace detail

std::optional<WidgetSnapshot> WidgetStore::loadSnapshot() {
    auto snapshot = detail::readSnapshot();
    if (!snapshot || !snapshot->appRunning) return snapshot;
    if (!platform::services().isApplicationRunning(detail::hostBundleIdentifier())) snapshot->appRunning = false;
    return snapshot;
}

void WidgetStore::markActive() {
    auto directory = detail::hostDirectory();
    if (!directory) return;
    platform::touchEmptyFile(*directory / "active");
}

}  // namespace kelvo
