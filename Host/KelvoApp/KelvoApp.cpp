#include "Host/KelvoApp/KelvoApp.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Host/KelvoApp/AppSnapshot.hpp"
#include "Host/KelvoApp/BridgeLibrary.hpp"
#include "Host/KelvoApp/BusName.hpp"
#include "Host/KelvoApp/CommandQueue.hpp"
#include "Host/KelvoApp/CommandWatch.hpp"
#include "Host/KelvoApp/DemoLedger.hpp"
#include "Host/KelvoApp/Ledger.hpp"
#include "Host/KelvoApp/Log.hpp"
#include "Platform/System/UserDirectories.hpp"
#include "Host/KelvoApp/StatePublisher.hpp"
#include "Platform/System/Calendar.hpp"
#include "Platform/System/Files.hpp"
#include "Platform/System/Services.hpp"

namespace kelvo::app {
namespace {

constexpr std::int32_t placedCountTimeoutMs = 500;
// A pass that could not write to the ledger is tried again after this long.
constexpr int retryMs = 5000;
// Wake-ups at least this often, so that a changed clock or time zone cannot delay the new day.
constexpr int longestSleepMs = 10 * 60 * 1000;

Date now() { return platform::services().now(); }

std::string formatSeconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", seconds);
    return text;
}

class SignalFd {
public:
    // The signals are blocked so that they arrive only through the descriptor; threads started
    // later (the bridge library's) inherit the mask.
    SignalFd() {
        sigemptyset(&set_);
        for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set_, s);
        pthread_sigmask(SIG_BLOCK, &set_, nullptr);
        fd_ = ::signalfd(-1, &set_, SFD_NONBLOCK | SFD_CLOEXEC);
    }
    SignalFd(const SignalFd&) = delete;
    SignalFd& operator=(const SignalFd&) = delete;
    ~SignalFd() {
        if (fd_ >= 0) ::close(fd_);
        pthread_sigmask(SIG_UNBLOCK, &set_, nullptr);
    }
    int fd() const { return fd_; }
    /// The signal that arrived, or 0.
    int take() const {
        signalfd_siginfo info{};
        return ::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info) ? static_cast<int>(info.ssi_signo) : 0;
    }

private:
    sigset_t set_{};
    int fd_ = -1;
};

struct Running {
    const AppOptions& options;
    Ledger ledger;
    std::optional<BridgeLibrary> bridge;
    StatePublisher publisher;
    std::filesystem::path commands;
    Date publishedAt;  // the moment of the last snapshot, for the day change

    void publish(Lifecycle lifecycle) {
        Date moment = now();
        try {
            auto snapshot = makeSnapshot(ledger, options.account, lifecycle, moment, platform::Calendar::current());
            bool tracking = snapshot.running.has_value();
            double today = snapshot.today ? snapshot.today->baseSeconds : 0;
            auto count = snapshot.recent.size();
            auto stamp = publisher.publish(std::move(snapshot), moment);
            if (!stamp) {
                logEvent("could not write " + publisher.statePath().string() + ": " + std::strerror(errno), platform::LogPriority::warning);
                return;
            }
            publishedAt = moment;
            logEvent("wrote state.json: updatedAt " + formatSeconds(stamp->millisecondsSince1970) +
                     (lifecycle == Lifecycle::running ? ", appRunning" : ", appRunning false") +
                     (tracking ? ", tracking" : ", not tracking") + ", today " + formatSeconds(today) + " s, " +
                     std::to_string(count) + " recent");
        } catch (const std::exception& error) {
            logEvent(std::string("could not read the ledger: ") + error.what(), platform::LogPriority::warning);
            return;
        }
        if (bridge) {
            bridge->reloadAllTimelines();
            logEvent("requested a timeline reload");
        }
    }

    /// One pass over the commands directory; true when a pass is due again later.
    bool drain() {
        auto report = drainCommands(commands, ledger, options.account, now());
        if (report.changed()) publish(Lifecycle::running);
        return report.failed > 0;
    }

    int sleepMs(bool retryDue) const {
        Date moment = now();
        double untilTomorrow = startOfNextDay(platform::Calendar::current(), moment).secondsSince(moment) * 1000.0;
        double wait = std::clamp(untilTomorrow + 50.0, 0.0, static_cast<double>(longestSleepMs));
        if (retryDue) wait = std::min(wait, static_cast<double>(retryMs));
        return static_cast<int>(std::ceil(wait));
    }
};

std::optional<Ledger> openLedger(const std::filesystem::path& file) {
    if (!platform::createDirectories(file.parent_path())) {
        logEvent("cannot create the directory of the ledger " + file.string(), platform::LogPriority::error);
        return std::nullopt;
    }
    try {
        return Ledger::open(file);
    } catch (const std::exception& error) {
        logEvent("cannot open the ledger " + file.string() + ": " + error.what(), platform::LogPriority::error);
        return std::nullopt;
    }
}

// One application per ledger: a second one, even on another bus, would take the same commands. The
// lock is on a file beside the ledger, since closing a descriptor of the ledger itself would drop
// SQLite's own locks. It is held until the process ends.
bool lockLedger(const std::filesystem::path& ledgerFile) {
    auto path = ledgerFile;
    path += ".lock";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        logEvent("cannot open " + path.string() + ": " + std::strerror(errno), platform::LogPriority::error);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno == EWOULDBLOCK)
        logEvent("another kelvo-app uses the ledger " + ledgerFile.string() + "; only one may run on a ledger", platform::LogPriority::error);
    else
        logEvent("cannot lock " + path.string() + ": " + std::strerror(errno), platform::LogPriority::error);
    ::close(fd);
    return false;
}

}  // namespace

std::filesystem::path defaultLedgerFile() {
    auto base = platform::xdgBaseDirectory("XDG_DATA_HOME", ".local/share");
    return base.empty() ? base : base / "kelvo-app" / "ledger.sqlite";
}

int runApp(const AppOptions& options) {
    SignalFd signals;
    if (signals.fd() < 0) {
        logEvent(std::string("cannot set up signal handling: ") + std::strerror(errno), platform::LogPriority::error);
        return 1;
    }

    // Step 1: the ledger, this application's alone, seeded for a demo.
    auto ledger = openLedger(options.ledgerFile);
    if (!ledger || !lockLedger(options.ledgerFile)) return 1;
    logEvent("ledger " + options.ledgerFile.string());
    if (options.demo) {
        try {
            if (seedDemoLedger(*ledger, now()))
                logEvent("seeded the ledger with demo entries");
            else
                logEvent("the ledger holds entries already; no demo entries added");
        } catch (const std::exception& error) {
            logEvent(std::string("cannot seed the demo entries: ") + error.what(), platform::LogPriority::warning);
            return 1;
        }
    }

    // Step 2: the bridge library and, through it, the shared container.
    auto explicitBridge = options.bridgeLibrary;
    if (const char* fromEnvironment = std::getenv(BridgeLibrary::overrideVariable); !explicitBridge && fromEnvironment && *fromEnvironment)
        explicitBridge = fromEnvironment;
    auto loaded = BridgeLibrary::load(BridgeLibrary::candidates(explicitBridge, platform::executablePath()));
    if (loaded) {
        logEvent("loaded the widget bridge " + loaded->path.string());
    } else if (options.containerRoot) {
        logEvent("running without the widget bridge (" + loaded.error().message + "): no timeline reloads, no placed count", platform::LogPriority::warning);
    } else {
        logEvent("cannot load the widget bridge: " + loaded.error().message, platform::LogPriority::warning);
        return 1;
    }
    auto root = options.containerRoot ? options.containerRoot : loaded->container(groupIdentifier);
    if (!root) {
        logEvent(std::string("the widget bridge gives no container for ") + groupIdentifier +
                 " (does kelvo-app.bundle.json beside the executable grant it?)", platform::LogPriority::warning);
        return 1;
    }
    auto hostDirectory = *root / bundleIdentifier;
    logEvent("container directory " + hostDirectory.string());

    // Step 3: the bus name, which tells the widget that the application runs and keeps a second
    // instance from taking the same commands.
    auto name = BusName::acquire(bundleIdentifier);
    if (!name) {
        logEvent(name.error().message, platform::LogPriority::error);
        return 1;
    }
    logEvent(std::string("owns ") + bundleIdentifier + " on the session bus");
    // The stand-in has no window to raise: coming forward is the log line a test can see.
    static ComeForward comeForward = [](const std::vector<std::string>& links) {
        logEvent(links.empty() ? std::string("brought forward") : "brought forward to open " + links.front());
    };
    if (!name->serveApplication(&comeForward)) logEvent("cannot serve org.freedesktop.Application; links start no window", platform::LogPriority::warning);
    if (!options.openLinks.empty()) comeForward(options.openLinks);

    // Step 4: watch before the first pass, so that no command slips in between.
    auto commands = hostDirectory / "commands";
    auto watch = CommandWatch::open(commands);
    if (!watch) {
        logEvent(watch.error().message, platform::LogPriority::error);
        return 1;
    }

    Running app{options, std::move(*ledger), loaded ? std::optional<BridgeLibrary>(std::move(loaded).value()) : std::nullopt, StatePublisher(hostDirectory), commands, now()};
    bool retryDue = app.drain();
    app.publish(Lifecycle::running);

    if (app.bridge) {
        auto count = app.bridge->placedCount(widgetKind, placedCountTimeoutMs);
        std::printf("Placed %s widgets: %s\n", widgetKind, count < 0 ? "unknown" : std::to_string(count).c_str());
        std::fflush(stdout);
        logEvent("placed " + std::string(widgetKind) + " widgets: " + (count < 0 ? "no answer" : std::to_string(count)));
    }

    // Step 5: wait for commands, signals and the next day.
    int status = 0;
    for (;;) {
        pollfd fds[3] = {{signals.fd(), POLLIN, 0}, {watch->fd(), POLLIN, 0}, {name->fd(), name->events(), 0}};
        int ready = ::poll(fds, 3, app.sleepMs(retryDue));
        if (ready < 0 && errno != EINTR) {
            logEvent(std::string("poll: ") + std::strerror(errno), platform::LogPriority::warning);
            status = 1;
            break;
        }
        if (fds[0].revents) {
            if (int signal = signals.take()) {
                logEvent(std::string("received SIG") + sigabbrev_np(signal) + ", stopping");
                break;
            }
        }
        if (fds[2].revents && !name->process()) {
            logEvent("lost the session bus, stopping", platform::LogPriority::warning);
            status = 1;
            break;
        }
        // Events are read even when a retry is due anyway, or the descriptor would stay readable.
        bool arrived = fds[1].revents && watch->readEvents();
        if (arrived || retryDue) retryDue = app.drain();
        if (!platform::Calendar::current().isDate(now(), app.publishedAt)) {
            logEvent("a new day began");
            app.publish(Lifecycle::running);
        }
    }

    app.publish(Lifecycle::exiting);
    logEvent("stopped");
    return status;
}

}  // namespace kelvo::app
