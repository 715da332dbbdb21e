#include "Host/WidgetHost/ExtensionSupervisor.hpp"

#include <sys/inotify.h>
#include <sys/wait.h>
#include <systemd/sd-event.h>

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
// Installing a package or building writes many files; one rescan follows them all.
constexpr auto directorySettle = std::chrono::milliseconds(300);

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

class Extension {
public:
    ExtensionManifest manifest;
    std::unique_ptr<ExtensionProcess> process;
    ExtensionPhase phase = ExtensionPhase::stopped;
    std::optional<ExtensionDescription> description;
    unsigned failures = 0;
    bool stopping = false;
    std::chrono::steady_clock::time_point startedAt;
    TimerHandle restartTimer;
    TimerHandle relaunchTimer;
    bool installed = true;  // false once its manifest is gone; placed widgets may still name it
    std::vector<std::function<void(bool ready)>> waiters;

    bool ready() const { return phase == ExtensionPhase::ready; }
    bool running() const { return process && process->running(); }
};

// One inotify watch: on an extension directory itself (every entry counts), or on an ancestor of
// it, where only the entry on the way to it counts.
struct DirectoryWatch {
    ExtensionSupervisor* owner;
    std::string entry;  // empty: the directory itself
    sd_event_source* source = nullptr;

    ~DirectoryWatch() { sd_event_source_disable_unref(source); }
};

ExtensionSupervisor::ExtensionSupervisor(sd_event* loop, Timers& timers, Settings settings, Events events)
    : loop_(loop), timers_(timers), settings_(std::move(settings)), events_(std::move(events)) {}

ExtensionSupervisor::~ExtensionSupervisor() = default;

void ExtensionSupervisor::rescan() {
    std::vector<ManifestProblem> problems;
    auto found = findExtensions(settings_.directories, &problems);
    reportProblems(problems);
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

void ExtensionSupervisor::reportProblems(const std::vector<ManifestProblem>& problems) {
    // Any request may rescan; thousands of broken manifests must not be logged again each time.
    std::map<std::filesystem::path, Reported> reported;
    for (const auto& problem : problems) {
        std::error_code error;
        Reported now{problem.why, std::filesystem::last_write_time(problem.manifest, error),
                     std::filesystem::file_size(problem.manifest, error)};
        auto before = reportedProblems_.find(problem.manifest);
        if (before == reportedProblems_.end() || !(before->second == now))
            log(LogLevel::warning, "extension manifest ", problem.manifest.string(), " ", problem.why);
        reported.emplace(problem.manifest, std::move(now));
    }
    reportedProblems_ = std::move(reported);
}

void ExtensionSupervisor::watchDirectories() {
    watching_ = true;
    rewatch();
}

void ExtensionSupervisor::rewatch() {
    directoryWatches_.clear();
    auto changed = [](sd_event_source*, const struct inotify_event* event, void* data) -> int {
        auto* watch = static_cast<DirectoryWatch*>(data);
        if (watch->entry.empty() || (event->len > 0 && watch->entry == event->name) || (event->mask & IN_IGNORED))
            watch->owner->directoriesChanged();
        return 0;
    };
    auto add = [&](const std::filesystem::path& directory, std::string entry, uint32_t mask) {
        auto watch = std::make_unique<DirectoryWatch>(DirectoryWatch{this, std::move(entry)});
        if (sd_event_add_inotify(loop_, &watch->source, directory.c_str(), mask | IN_ONLYDIR, changed, watch.get()) >= 0)
            directoryWatches_.push_back(std::move(watch));
    };
    constexpr uint32_t contents = IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_CLOSE_WRITE | IN_ATTRIB;
    // The directory can go with its last package and come back with the next; the watch on it goes
    // with it, so the way to it is watched too, and the watches are made again after each change.
    constexpr uint32_t way = IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM;
    for (const auto& directory : settings_.directories) {
        std::error_code error;
        if (std::filesystem::is_directory(directory, error)) add(directory, "", contents);
        auto below = directory;
        for (auto above = directory.parent_path(); below != above; below = above, above = above.parent_path()) {
            if (std::filesystem::is_directory(above, error)) {
                add(above, below.filename().string(), way);
                break;
            }
        }
    }
}

void ExtensionSupervisor::directoriesChanged() {
    directoriesSettle_ = timers_.after(directorySettle, [this] {
        // Watched again before the rescan, so that nothing made after it goes unseen.
        if (watching_) rewatch();
        rescan();
        // A program replaced on disk may declare other kinds: stopped ones are asked again.
        for (const auto& extension : extensions_)
            if (!extension->running()) extension->description.reset();
        log(LogLevel::debug, "the installed extensions may have changed");
        if (events_.changed) events_.changed();
    });
}

Extension* ExtensionSupervisor::find(std::string_view bundleIdentifier) const {
    for (const auto& extension : extensions_)
        if (extension->manifest.bundleIdentifier == bundleIdentifier) return extension.get();
    return nullptr;
}

std::vector<std::string> ExtensionSupervisor::identifiers() const {
    std::vector<std::string> out;
    for (const auto& extension : extensions_) out.push_back(extension->manifest.bundleIdentifier);
    return out;
}

const ExtensionManifest* ExtensionSupervisor::manifest(std::string_view bundleIdentifier) const {
    const auto* extension = find(bundleIdentifier);
    return extension ? &extension->manifest : nullptr;
}

const ExtensionDescription* ExtensionSupervisor::description(std::string_view bundleIdentifier) const {
    const auto* extension = find(bundleIdentifier);
    return extension && extension->description ? &*extension->description : nullptr;
}

ExtensionPhase ExtensionSupervisor::phase(std::string_view bundleIdentifier) const {
    const auto* extension = find(bundleIdentifier);
    return extension ? extension->phase : ExtensionPhase::unavailable;
}

bool ExtensionSupervisor::installed(std::string_view bundleIdentifier) const {
    const auto* extension = find(bundleIdentifier);
    return extension && extension->installed;
}

std::string ExtensionSupervisor::declaring(std::string_view kind) const {
    for (const auto& extension : extensions_)
        if (extension->installed && extension->description && extension->description->find(std::string(kind)))
            return extension->manifest.bundleIdentifier;
    return "";
}

bool ExtensionSupervisor::anyDescribing() const {
    return std::any_of(extensions_.begin(), extensions_.end(), [](const auto& extension) {
        return extension->installed && !extension->description && extension->phase == ExtensionPhase::describing;
    });
}

bool ExtensionSupervisor::needed(const Extension& extension) const {
    if (shuttingDown_) return false;
    return held_ || !extension.waiters.empty() || events_.inUse(extension.manifest.bundleIdentifier);
}

void ExtensionSupervisor::ensureRunning(const std::string& bundleIdentifier) {
    auto* extension = find(bundleIdentifier);
    if (!extension || shuttingDown_) return;
    if (extension->phase == ExtensionPhase::stopped || extension->phase == ExtensionPhase::unavailable)
        launch(*extension);
}

void ExtensionSupervisor::describeAll() {
    for (const auto& extension : extensions_)
        if (extension->installed && !extension->description) ensureRunning(extension->manifest.bundleIdentifier);
}

void ExtensionSupervisor::whenReady(const std::string& bundleIdentifier, std::function<void(bool)> then) {
    auto* extension = find(bundleIdentifier);
    if (!extension || shuttingDown_) return then(false);
    if (extension->ready() && !extension->stopping) return then(true);
    extension->waiters.push_back(std::move(then));
    ensureRunning(bundleIdentifier);
}

void ExtensionSupervisor::hold(std::chrono::milliseconds duration) {
    held_ = true;
    holdTimer_ = timers_.after(duration, [this] {
        held_ = false;
        stopIdle();
    });
}

bool ExtensionSupervisor::send(const std::string& bundleIdentifier, std::string_view method,
                               const nlohmann::json& params, std::chrono::milliseconds timeout,
                               ExtensionProcess::Completion completion) {
    auto* extension = find(bundleIdentifier);
    if (!extension || !extension->ready() || !extension->process) return false;
    return extension->process->send(method, params, timeout, std::move(completion));
}

void ExtensionSupervisor::restart(const std::string& bundleIdentifier) {
    if (auto* extension = find(bundleIdentifier); extension && extension->process) extension->process->kill();
}

void ExtensionSupervisor::launch(Extension& extension) {
    extension.restartTimer.reset();
    std::string id = extension.manifest.bundleIdentifier;
    if (!extension.process) {
        extension.process = std::make_unique<ExtensionProcess>(
            loop_, timers_, extension.manifest.executable, settings_.limits,
            [this, id](int code, int status) { processEnded(id, describeExit(code, status)); });
    }
    if (auto started = extension.process->start(); !started) {
        extension.process.reset();
        const auto& error = started.error();
        processEnded(id, "could not start: " + error.message +
                             (error.errnum ? std::string(": ") + std::strerror(error.errnum) : std::string()));
        return;
    }
    extension.stopping = false;
    extension.phase = ExtensionPhase::describing;
    extension.startedAt = timers_.monotonicNow();
    log(LogLevel::info, "started ", id, " (pid ", extension.process->pid(), ")");
    extension.process->send(platform::protocol::method::describe, nlohmann::json::object(), settings_.requestTimeout,
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
    extension->phase = ExtensionPhase::ready;
    events_.ready(bundleIdentifier);
    settleWaiters(*extension);
    stopIdle();
}

void ExtensionSupervisor::settleWaiters(Extension& extension) {
    bool ready = extension.ready() && !extension.stopping;
    for (auto& then : std::exchange(extension.waiters, {})) then(ready);
}

void ExtensionSupervisor::processEnded(const std::string& bundleIdentifier, std::string how) {
    auto* extension = find(bundleIdentifier);
    if (!extension) return;
    bool expected = extension->stopping || shuttingDown_;
    extension->stopping = false;
    if (expected) {
        log(LogLevel::info, bundleIdentifier, " ", how);
        extension->phase = ExtensionPhase::stopped;
    } else {
        if (timers_.monotonicNow() - extension->startedAt >= stableRun) extension->failures = 0;
        ++extension->failures;
        if (!needed(*extension)) {
            log(LogLevel::warning, bundleIdentifier, " ", how);
            extension->phase = ExtensionPhase::unavailable;
        } else {
            auto delay = restartDelay(extension->failures);
            log(LogLevel::warning, bundleIdentifier, " ", how, "; starting it again in ", delay.count(), " ms",
                " (the widgets keep their last pictures)");
            extension->phase = ExtensionPhase::restarting;
            extension->restartTimer = timers_.after(delay, [this, bundleIdentifier] {
                if (auto* again = find(bundleIdentifier)) {
                    again->phase = ExtensionPhase::stopped;
                    if (needed(*again)) launch(*again);
                }
            });
        }
    }
    events_.ended(bundleIdentifier);
    if (extension->waiters.empty()) return;
    if (extension->phase == ExtensionPhase::stopped && !shuttingDown_) {
        // Stopped as idle just before someone asked: start it again, outside its process's own callback.
        extension->relaunchTimer = timers_.after(std::chrono::microseconds(0), [this, bundleIdentifier] {
            ensureRunning(bundleIdentifier);
        });
    } else {
        // A crash is not waited out: a broken extension would otherwise be restarted for as long as
        // a question about it is open.
        settleWaiters(*extension);
    }
}

void ExtensionSupervisor::stopIdle() {
    for (auto& extension : extensions_) {
        if (needed(*extension) || !extension->running() || extension->stopping || !extension->ready()) continue;
        log(LogLevel::info, "stopping ", extension->manifest.bundleIdentifier, ": no widget of it is placed");
        extension->stopping = true;
        extension->process->stop(stopGrace);
    }
}

void ExtensionSupervisor::shutDown() {
    shuttingDown_ = true;
    holdTimer_.reset();
    for (auto& extension : extensions_) {
        extension->restartTimer.reset();
        extension->relaunchTimer.reset();
        settleWaiters(*extension);
        if (extension->running()) {
            extension->stopping = true;
            extension->process->stop(stopGrace);
        }
    }
}

bool ExtensionSupervisor::anyRunning() const {
    return std::any_of(extensions_.begin(), extensions_.end(), [](const auto& extension) { return extension->running(); });
}

}  // namespace widgethost
