// WidgetStore::send: hands a command to the Kelvo application and waits for its reaction.
#include <optional>

#include "Platform/System/Files.hpp"
#include "Platform/System/Services.hpp"
#include "Platform/System/Uuid.hpp"
#include "Platform/Widgets/WidgetCenter.hpp"
#include "Widget/Store/WidgetStore.hpp"
#include "Widget/Store/detail/Container.hpp"

namespace kelvo {
namespace {

constexpr int reactionChecks = 20;
constexpr double checkInterval = 0.1;
// A command file is written in well under a second; a temporary file this old lost its writer.
constexpr std::chrono::seconds staleAfter{60};

std::optional<Date> currentMark() {
    auto snapshot = detail::readSnapshot();
    if (!snapshot) return std::nullopt;
    return snapshot->updatedAt;
}

}  // namespace

void WidgetStore::send(const WidgetCommand& command, std::stop_token stop) {
    // 1. Where the command goes; without a container nothing is written.
    auto hostDirectory = detail::hostDirectory();
    if (!hostDirectory) return;
    auto commandsDirectory = *hostDirectory / "commands";

    // 2. The application has reacted once updatedAt differs from what it is now.
    auto previousMark = currentMark();

    // 3. Write the command whole under a fresh name; a reader never sees a partial file.
    if (!platform::createDirectories(commandsDirectory)) return;
    platform::removeStaleTemporaryFiles(commandsDirectory, staleAfter);
    auto file = commandsDirectory / (platform::makeUuidString() + ".json");
    if (!platform::writeAtomically(file, command.encode())) return;

    // 4. Watch for the reaction. A stop request removes the pauses, never the checks.
    const auto& services = platform::services();
    for (int check = 1; check <= reactionChecks; ++check) {
        if (!stop.stop_requested()) services.pause(checkInterval, stop);
        if (currentMark() != previousMark) return;
    }
    platform::WidgetCenter::shared().reloadAllTimelines();
}

}  // namespace kelvo
