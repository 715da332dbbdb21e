#include "Host/WidgetHost/ExtensionSupervisor.hpp"

#include <sys/wait.h>

#include <algorithm>
#include <cstring>

#include <nlohmann/json.hpp>

#include "Host/WidgetHost/Log.hpp"
#include "Host/WidgetHost/RestartBackoff.hpp"

namespace widgethost {
namespace {

// An extension that ran this long before it ended starts again without back-off.
constexpr auto stableRun = std::chrono::seconds(30);
constexpr auto stopGrace = std::chrono::seconds(3);

std::string describeExit(int code, int status) {
    switch (code) {
    case CLD_EXITED: return "exited with status " + std::to_string(status);
    case CLD_KILLED:
    case CLD_DUMPED: {
        const char* name = sigabbrev_np(status);
        return "was killed by signal " + (name ? "SIG" + std::string(name) : std::to_string(status));
    }
    }
    return "ended";
}

}  // namespace

ExtensionSupervisor::ExtensionSupervisor(sd_event* loop, Timers& timers, ExtensionLimits limits,
                                         std::chrono::milliseconds requestTimeout, Events events)
    : loop_(loop), timers_(timers), limits_(limits), requestTimeout_(requestTimeout), events_(std::move(events)) {}

void ExtensionSupervisor::rescan(const std::vector<std::filesystem::path>& directories) {
    std::vector<std::string> problems;
    auto found = findExtensions(directories, &problems);
    for (const auto& problem : problems) log(LogLevel::warning, "extension manifest ", problem);
    for (auto& extension : extensions_) extension->installed = false;
    for (auto& manifest : found) {
        if (auto* known = find(manifest.bundleIdentifier)) {
            // A program that was reinstalled elsewhere is used from its next start on.
            known->manifest = std::move(manifest);
            known->installed = true;
            continue;
        }
        log(LogLevel::info, "extension ", manifest.bundleIdentifier, " at ", manifest.executable.string());
        auto extension = std::make_unique<Extension>();
        extension->manifest = std::move(manifest);
        extensions_.push_back(std::move(extension));
    }
}

Extension* ExtensionSupervisor::find(const std::string& bundleIdentifier) {
    for (auto& extension : extensions_)
        if (extension->manifest.bundleIdentifier == bundleIdentifier) return extension.get();
    return nullptr;
}

const Extension* ExtensionSupervisor::find(const std::string& bundleIdentifier) const {
    return const_cast<ExtensionSupervisor*>(this)->find(bundleIdentifier);
}

void ExtensionSupervisor::ensureRunning(Extension& extension) {
    if (shuttingDown_) return;
    if (extension.phase == Extension::Phase::stopped || extension.phase == Extension::Phase::unavailable)
        launch(extension);
}

void ExtensionSupervisor::launch(Extension& extension) {
    extension.restartTimer.reset();
    std::string id = extension.manifest.bundleIdentifier;
    if (!extension.process) {
        extension.process = std::make_unique<ExtensionProcess>(
            loop_, extension.manifest.executable, limits_,
            [this, id](int code, int status) { processEnded(id, describeExit(code, status)); });
    }
    std::string why;
    if (!extension.process->start(&why)) {
        extension.process.reset();
        processEnded(id, "could not start: " + why);
        return;
    }
    extension.stopping = false;
    extension.phase = Extension::Phase::describing;
    extension.startedAt = timers_.monotonicNow();
    log(LogLevel::info, "started ", id, " (pid ", extension.process->pid(), ")");
    extension.process->send(platform::protocol::method::describe, nlohmann::json::object(), requestTimeout_,
                            [this, id](const RpcOutcome& outcome) { described(id, outcome); });
}

void ExtensionSupervisor::described(const std::string& bundleIdentifier, const RpcOutcome& outcome) {
    auto* extension = find(bundleIdentifier);
    if (!extension || outcome.status == RpcOutcome::Status::ended) return;  // the end is handled on its own
    using Description = platform::Result<platform::protocol::ExtensionDescription>;
    auto description = outcome.status == RpcOutcome::Status::answered
                           ? platform::protocol::decodeDescription(*outcome.result)
                           : Description(platform::Error{outcome.message});
    if (!description) {
        const auto& why = description.error().message;
        log(LogLevel::warning, bundleIdentifier, " did not describe itself (", why, "); stopping it");
        extension->process->kill();
        return;
    }
    if (description->bundleIdentifier && *description->bundleIdentifier != bundleIdentifier)
        log(LogLevel::warning, bundleIdentifier, " calls itself ", *description->bundleIdentifier,
            "; its manifest's name is used");
    std::string kinds;
    for (const auto& widget : description->widgets) kinds += (kinds.empty() ? "" : ", ") + widget.kind;
    log(LogLevel::info, bundleIdentifier, " is ready; widget kinds: ", kinds.empty() ? "none" : kinds);
    extension->description = std::move(*description);
    extension->phase = Extension::Phase::ready;
    events_.ready(*extension);
}

void ExtensionSupervisor::processEnded(const std::string& bundleIdentifier, std::string how) {
    auto* extension = find(bundleIdentifier);
    if (!extension) return;
    bool expected = extension->stopping || shuttingDown_;
    extension->stopping = false;
    if (expected) {
        log(LogLevel::info, bundleIdentifier, " ", how);
        extension->phase = Extension::Phase::stopped;
    } else {
        if (timers_.monotonicNow() - extension->startedAt >= stableRun) extension->failures = 0;
        ++extension->failures;
        if (!events_.inUse(*extension)) {
            log(LogLevel::warning, bundleIdentifier, " ", how);
            extension->phase = Extension::Phase::unavailable;
        } else {
            auto delay = restartDelay(extension->failures);
            log(LogLevel::warning, bundleIdentifier, " ", how, "; starting it again in ", delay.count(), " ms",
                " (the widgets keep their last pictures)");
            extension->phase = Extension::Phase::restarting;
            extension->restartTimer = timers_.after(delay, [this, bundleIdentifier] {
                if (auto* again = find(bundleIdentifier)) {
                    again->phase = Extension::Phase::stopped;
                    if (events_.inUse(*again)) launch(*again);
                }
            });
        }
    }
    events_.ended(*extension);
}

void ExtensionSupervisor::stopIdle() {
    for (auto& extension : extensions_) {
        if (events_.inUse(*extension) || !extension->process || !extension->process->running() || extension->stopping)
            continue;
        if (!extension->ready()) continue;
        log(LogLevel::info, "stopping ", extension->manifest.bundleIdentifier, ": no widget of it is placed");
        extension->stopping = true;
        extension->process->stop(stopGrace);
    }
}

void ExtensionSupervisor::shutDown() {
    shuttingDown_ = true;
    for (auto& extension : extensions_) {
        extension->restartTimer.reset();
        if (extension->process && extension->process->running()) {
            extension->stopping = true;
            extension->process->stop(stopGrace);
        }
    }
}

bool ExtensionSupervisor::anyRunning() const {
    return std::any_of(extensions_.begin(), extensions_.end(),
                       [](const auto& extension) { return extension->process && extension->process->running(); });
}

void ExtensionSupervisor::kill(Extension& extension) {
    if (extension.process) extension.process->kill();
}

}  // namespace widgethost
