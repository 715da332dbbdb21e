#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "Host/WidgetHost/ExtensionCatalog.hpp"
#include "Host/WidgetHost/ExtensionProcess.hpp"
#include "Host/WidgetHost/Timers.hpp"
#include "Host/WidgetHost/WidgetTimeline.hpp"

typedef struct sd_event_source sd_event_source;

// The installed extensions and their processes: started when something needs them, asked to
// describe themselves, restarted with back-off after a failure, held a while for the widget gallery,
// stopped when nothing needs them, found again when their directories change. Callers name an
// extension by its bundle identifier and never see its process.
namespace widgethost {

enum class ExtensionPhase { stopped, describing, ready, restarting, unavailable };

class Extension;
struct DirectoryWatch;

class ExtensionSupervisor {
public:
    struct Events {
        /// Whether the host still needs the extension running (the supervisor adds its own waiters
        /// and the gallery's hold).
        std::function<bool(const std::string& bundleIdentifier)> inUse;
        /// The extension described itself and takes requests.
        std::function<void(const std::string& bundleIdentifier)> ready;
        /// The extension's process ended; requests in flight are gone. Runs after a restart is
        /// scheduled, if one is.
        std::function<void(const std::string& bundleIdentifier)> ended;
        /// The installed extensions may have changed on disk.
        std::function<void()> changed = nullptr;
    };

    struct Settings {
        std::vector<std::filesystem::path> directories;  // searched in this order
        ExtensionLimits limits;
        std::chrono::milliseconds requestTimeout{5000};
    };

    ExtensionSupervisor(sd_event* loop, Timers& timers, Settings settings, Events events);
    ExtensionSupervisor(const ExtensionSupervisor&) = delete;
    ExtensionSupervisor& operator=(const ExtensionSupervisor&) = delete;
    ~ExtensionSupervisor();

    /// Finds installed extensions again; a known one takes its new manifest at its next start, one
    /// whose manifest is gone is marked as no longer installed.
    void rescan();
    /// Rescans a moment after anything changes in the extension directories. A directory that is
    /// missing, or removed later, is watched for from its nearest existing ancestor.
    void watchDirectories();

    // What the host may know of an extension; an unknown identifier has no manifest, no
    // description and is unavailable.
    std::vector<std::string> identifiers() const;  // in the order they were found
    const ExtensionManifest* manifest(std::string_view bundleIdentifier) const;
    const ExtensionDescription* description(std::string_view bundleIdentifier) const;
    ExtensionPhase phase(std::string_view bundleIdentifier) const;
    bool installed(std::string_view bundleIdentifier) const;
    /// The installed extension whose description declares `kind`, "" when none has told so yet.
    std::string declaring(std::string_view kind) const;
    /// Whether an installed extension that has not described itself yet is doing so now.
    bool anyDescribing() const;

    /// Starts the extension unless it runs or waits for its restart.
    void ensureRunning(const std::string& bundleIdentifier);
    /// Starts every installed extension that has not described itself yet.
    void describeAll();
    /// Runs `then` once the extension takes requests, with false when it cannot run.
    void whenReady(const std::string& bundleIdentifier, std::function<void(bool ready)> then);
    /// Keeps every extension that runs running for `duration`, for the questions that follow.
    void hold(std::chrono::milliseconds duration);

    /// Sends a request to a ready extension, as `ExtensionProcess::send` does; false when it is not ready.
    bool send(const std::string& bundleIdentifier, std::string_view method, const nlohmann::json& params,
              std::chrono::milliseconds timeout, ExtensionProcess::Completion completion);
    /// Kills the process of an extension that does not answer in time; it is restarted as after a crash.
    void restart(const std::string& bundleIdentifier);

    /// Lets every ready extension that nothing needs finish and end.
    void stopIdle();
    /// Lets every extension finish and end, and starts none again.
    void shutDown();
    bool anyRunning() const;

private:
    Extension* find(std::string_view bundleIdentifier) const;
    bool needed(const Extension& extension) const;
    void launch(Extension& extension);
    void described(const std::string& bundleIdentifier, const RpcOutcome& outcome);
    void processEnded(const std::string& bundleIdentifier, std::string how);
    void settleWaiters(Extension& extension);
    void directoriesChanged();
    void reportProblems(const std::vector<ManifestProblem>& problems);
    void rewatch();

    sd_event* loop_;
    Timers& timers_;
    Settings settings_;
    Events events_;
    bool shuttingDown_ = false;
    std::vector<std::unique_ptr<Extension>> extensions_;
    bool held_ = false;
    TimerHandle holdTimer_;
    // What was last said of each broken manifest, with the size and time of the file it was said
    // of: a rescan repeats nothing until the file or the fault changes.
    struct Reported {
        std::string why;
        std::filesystem::file_time_type modified;
        std::uintmax_t size = 0;
        bool operator==(const Reported&) const = default;
    };
    std::map<std::filesystem::path, Reported> reportedProblems_;
    bool watching_ = false;
    std::vector<std::unique_ptr<DirectoryWatch>> directoryWatches_;
    TimerHandle directoriesSettle_;
};

}  // namespace widgethost
