#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Host/WidgetHost/ExtensionCatalog.hpp"
#include "Host/WidgetHost/ExtensionProcess.hpp"
#include "Host/WidgetHost/Timers.hpp"
#include "Host/WidgetHost/WidgetTimeline.hpp"

// The installed extensions and their processes: started when something needs them, asked to
// describe themselves, restarted with back-off after a failure, stopped when nothing needs them.
namespace widgethost {

struct Extension {
    enum class Phase { stopped, describing, ready, restarting, unavailable };
    ExtensionManifest manifest;
    std::unique_ptr<ExtensionProcess> process;
    Phase phase = Phase::stopped;
    std::optional<ExtensionDescription> description;
    unsigned failures = 0;
    bool stopping = false;
    std::chrono::steady_clock::time_point startedAt;
    TimerHandle restartTimer;
    bool installed = true;  // false once its manifest is gone; placed widgets may still name it

    bool ready() const { return phase == Phase::ready; }
};

class ExtensionSupervisor {
public:
    struct Events {
        /// Whether something still needs the extension running.
        std::function<bool(const Extension&)> inUse;
        /// The extension described itself and takes requests.
        std::function<void(Extension&)> ready;
        /// The extension's process ended; requests in flight are gone. Runs after a restart is
        /// scheduled, if one is.
        std::function<void(Extension&)> ended;
    };

    ExtensionSupervisor(sd_event* loop, Timers& timers, ExtensionLimits limits, std::chrono::milliseconds requestTimeout,
                        Events events);
    ExtensionSupervisor(const ExtensionSupervisor&) = delete;
    ExtensionSupervisor& operator=(const ExtensionSupervisor&) = delete;

    /// Finds installed extensions again; a known one takes its new manifest at its next start, one
    /// whose manifest is gone is marked as no longer installed.
    void rescan(const std::vector<std::filesystem::path>& directories);
    Extension* find(const std::string& bundleIdentifier);
    const Extension* find(const std::string& bundleIdentifier) const;
    const std::vector<std::unique_ptr<Extension>>& all() const { return extensions_; }

    /// Starts the extension unless it runs or waits for its restart.
    void ensureRunning(Extension& extension);
    /// Lets every ready extension that nothing needs finish and end.
    void stopIdle();
    /// Lets every extension finish and end, and starts none again.
    void shutDown();
    bool anyRunning() const;
    /// Kills the process, for an extension that does not answer in time; it is restarted as after a crash.
    void kill(Extension& extension);

private:
    void launch(Extension& extension);
    void described(const std::string& bundleIdentifier, const RpcOutcome& outcome);
    void processEnded(const std::string& bundleIdentifier, std::string how);

    sd_event* loop_;
    Timers& timers_;
    ExtensionLimits limits_;
    std::chrono::milliseconds requestTimeout_;
    Events events_;
    bool shuttingDown_ = false;
    std::vector<std::unique_ptr<Extension>> extensions_;
};

}  // namespace widgethost
