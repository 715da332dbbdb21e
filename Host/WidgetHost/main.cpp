// widget-host: the per-user widget host daemon on the session bus.
#include <malloc.h>
#include <signal.h>
#include <unistd.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <cstdlib>
#include <cstring>
#include <iostream>


#include <glib.h>

#include "Host/CommandLine/CommandLine.hpp"
#include "Host/WidgetHost/BusService.hpp"
#include "Host/WidgetHost/Desktop/AppearanceSource.hpp"
#include "Host/WidgetHost/Desktop/DesktopScreen.hpp"
#include "Host/WidgetHost/Desktop/DisplayChoice.hpp"
#include "Host/WidgetHost/Desktop/Notifications.hpp"
#include "Host/WidgetHost/Desktop/PointerOutput.hpp"
#include "Host/WidgetHost/Desktop/SharedLoop.hpp"
#include "Host/WidgetHost/Desktop/SleepWatch.hpp"
#include "Host/WidgetHost/Host.hpp"
#include "Host/WidgetHost/Log.hpp"
#include "Platform/Widgets/dbus/Host1.hpp"
#include "Platform/System/ChildProcess.hpp"
#include "Platform/System/Files.hpp"
#include "Platform/System/UserDirectories.hpp"

#ifdef __SANITIZE_ADDRESS__
// fontconfig keeps its configuration for the life of the process; that is no leak of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif

namespace {

using namespace widgethost;
namespace fs = std::filesystem;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Under an XDG base directory; "" when there is none (no HOME), never a path relative to wherever
// the host was started.
std::string underBase(const char* variable, const char* fallbackUnderHome) {
    auto base = platform::xdgBaseDirectory(variable, fallbackUnderHome);
    return base.empty() ? "" : (base / "widget-host").string();
}

std::string defaultOutputDirectory() {
    fs::path runtime = environment("XDG_RUNTIME_DIR");
    if (runtime.is_absolute()) return (runtime / "widget-host").string();
    return underBase("XDG_CACHE_HOME", ".cache");
}

std::vector<fs::path> splitPaths(const std::string& list) {
    std::vector<fs::path> out;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        if (end > start) out.emplace_back(list.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

struct Loop {
    sd_event* event = nullptr;
    sd_bus* bus = nullptr;
    ~Loop() {
        sd_bus_flush_close_unref(bus);
        sd_event_unref(event);
    }
};

}  // namespace

int main(int argc, char** argv) {
    // Taken before the host tunes its own (GDK_GL for GTK): the programs it starts get the user's.
    auto userEnvironment = platform::currentEnvironment();
    // GTK's and GLib's threads are idle nearly always; an arena of their own each costs memory.
    mallopt(M_ARENA_MAX, 1);
    CLI::App app{"The widget host: runs widget extensions, keeps the placed widgets and draws them."};
    std::vector<std::string> developmentDirs;
    std::string outputDir = defaultOutputDirectory();
    std::string configDir = underBase("XDG_CONFIG_HOME", ".config");
    std::string appearance = "auto";
    bool headless = false;
    std::string renderingMode = "fullColor";
    HostOptions options;
    options.childEnvironment = std::move(userEnvironment);
    if (auto opener = environment("WIDGET_HOST_URL_OPENER"); !opener.empty()) options.urlOpener = opener;
    int requestTimeoutMs = static_cast<int>(options.requestTimeout.count());
    int memoryMb = static_cast<int>(options.limits.addressSpaceBytes >> 20);
#ifdef __SANITIZE_ADDRESS__
    // Extensions built with the same sanitizer reserve terabytes of address space for its shadow.
    memoryMb = 0;
#endif
    bool verbose = false;

    app.add_option("--extensions-dir", developmentDirs,
                   "Also look for extension manifests here, before the installed ones (for development: build/bin); "
                   "WIDGET_HOST_EXTENSIONS_DIR adds a colon-separated list")
        ->type_name("DIR");
    app.add_flag("--headless", headless,
                 "Write pictures (<id>.png) even when there is a display; without one the host always does");
    // Defaults are said as the user's variables, not as the paths of whoever ran --help (help2man).
    app.add_option("--output-dir", outputDir, "Where the widgets' pictures (<id>.png) are written when headless")
        ->default_str("$XDG_RUNTIME_DIR/widget-host, else $XDG_CACHE_HOME/widget-host");
    app.add_option("--config-dir", configDir, "Where the placed widgets are kept (widgets.json)")
        ->default_str("$XDG_CONFIG_HOME/widget-host");
    app.add_option("--scale", options.scale, "Device pixels per point of the pictures (windows use the monitor's)")
        ->check(CLI::Range(0.25, 8.0))
        ->capture_default_str();
    app.add_option("--appearance", appearance,
                   "Light or dark; auto follows the desktop (its portal, else GNOME's setting), else light")
        ->check(CLI::IsMember({"auto", "light", "dark"}))
        ->capture_default_str();
    app.add_option("--rendering-mode", renderingMode, "Rendering mode asked of the extensions")
        ->check(CLI::IsMember({"fullColor", "accented", "vibrant"}))
        ->capture_default_str();
    app.add_option("--url-opener", options.urlOpener, "Program that opens a widget's link")
        ->default_str("$WIDGET_HOST_URL_OPENER, else xdg-open");
    app.add_option("--request-timeout", requestTimeoutMs, "Milliseconds to wait for an extension's answer")
        ->check(CLI::Range(100, 600'000))
        ->capture_default_str();
    app.add_option("--extension-memory-mb", memoryMb, "Address space limit of each extension, in MiB; 0 for none")
        ->check(CLI::Range(0, 1 << 20) & !CLI::Range(1, 63))
        ->capture_default_str();
    app.add_flag("-v,--verbose", verbose, "Log every request");
    if (auto status = widgethost::parseCommandLine(app, "widget-host", argc, argv)) return *status;

    setVerboseLogging(verbose);
    for (const auto& dir : splitPaths(environment("WIDGET_HOST_EXTENSIONS_DIR"))) developmentDirs.push_back(dir.string());
    std::vector<fs::path> devPaths(developmentDirs.begin(), developmentDirs.end());
    options.extensionDirectories =
        extensionDirectories(devPaths, std::getenv("XDG_DATA_HOME"), std::getenv("HOME"), std::getenv("XDG_DATA_DIRS"));
    if (outputDir.empty() || configDir.empty()) {
        log(LogLevel::error, "HOME is not set: give --output-dir and --config-dir");
        return 1;
    }
    options.outputDirectory = fs::absolute(outputDir);
    options.placedWidgetsFile = fs::absolute(configDir) / "widgets.json";
    options.appearance = appearance == "dark" ? platform::views::Appearance::dark : platform::views::Appearance::light;
    options.renderingMode = *platform::widgetRenderingModeFromString(renderingMode);
    options.requestTimeout = std::chrono::milliseconds(requestTimeoutMs);
    options.limits.addressSpaceBytes = static_cast<std::uint64_t>(memoryMb) << 20;

    // Signals and child ends arrive through the loop, blocked before GTK may start threads that would
    // otherwise take them; a closed extension pipe must not kill the host.
    // A shell starts background programs with SIGINT ignored, and an ignored signal never reaches
    // the loop, so the defaults come back first.
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    sigset_t handled;
    sigemptyset(&handled);
    for (int signal : {SIGCHLD, SIGINT, SIGTERM}) sigaddset(&handled, signal);
    sigprocmask(SIG_BLOCK, &handled, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    // Windows when there is a desktop to put them on; pictures otherwise.
    using widgethost::desktop::DisplayKind;
    DisplayKind display = DisplayKind::none;
    if (!headless) {
        auto session = widgethost::desktop::currentDisplayEnvironment();
        display = widgethost::desktop::chooseDisplay(session);
        if (auto note = widgethost::desktop::displayNote(session, display); !note.empty())
            log(LogLevel::warning, note);
        g_set_prgname("widget-host");
        if (display != DisplayKind::none && !widgethost::desktop::startGtk(display)) {
            log(LogLevel::warning, "cannot open the display; writing pictures instead");
            display = DisplayKind::none;
        }
        // The user unit starts the host again when it ends this way.
        if (display != DisplayKind::none) widgethost::desktop::exitWhenTheDisplayIsLost();
    }

    if (!platform::createDirectories(options.outputDirectory)) {
        log(LogLevel::error, "cannot create ", options.outputDirectory.string());
        return 1;
    }

    Loop loop;
    if (int r = sd_event_default(&loop.event); r < 0) {
        log(LogLevel::error, "cannot make an event loop: ", std::strerror(-r));
        return 1;
    }
    if (int r = sd_bus_open_user(&loop.bus); r < 0) {
        log(LogLevel::error, "no session bus (", std::strerror(-r), "); is DBUS_SESSION_BUS_ADDRESS set?");
        return 1;
    }
    sd_bus_attach_event(loop.bus, loop.event, SD_EVENT_PRIORITY_NORMAL);
    // The host belongs to the session: when the bus goes, so does the host.
    sd_bus_set_exit_on_disconnect(loop.bus, 1);

    Host host(loop.event, options);
    widgethost::desktop::Notifications notifications(display != DisplayKind::none ? loop.bus : nullptr);
    // After the host, so that the windows, which call it, go first.
    std::unique_ptr<widgethost::desktop::DesktopScreen> screen;
    if (display != DisplayKind::none) {
        widgethost::desktop::ScreenHandlers handlers;
        handlers.activated = [&host](const std::string& id, const PressTarget& target) {
            if (auto activated = host.activate(id, target); !activated)
                log(LogLevel::warning, "widget ", id, ": ", activated.error().message);
        };
        handlers.menuHeading = [&host](const std::string& id) { return host.extensionName(id); };
        handlers.remove = [&host, &notifications](const std::string& id) {
            auto removed = host.remove(id);
            if (!removed) return log(LogLevel::warning, removed.error().message);
            // A removal from the menu can be undone from its notice, as long as the notice is there.
            notifications.notify(widgethost::desktop::hostText("Widget removed"), host.kindName(*removed),
                                 {{"undo", widgethost::desktop::hostText("Undo"), [&host, record = *removed] {
                                       if (auto back = host.restore(record); !back)
                                           log(LogLevel::warning, back.error().message);
                                   }}});
        };
        handlers.sizes = [&host](const std::string& id) {
            auto sizes = host.sizes(id);
            return sizes ? widgethost::desktop::MenuSizes{sizes->supported, sizes->current}
                         : widgethost::desktop::MenuSizes{};
        };
        handlers.resize = [&host](const std::string& id, platform::WidgetFamily family) {
            if (auto resized = host.resize(id, family); !resized) log(LogLevel::warning, resized.error().message);
        };
        handlers.openGallery = [&host] { host.openGallery(); };
        handlers.moved = [&host](const std::string& id, widgethost::desktop::SurfacePosition p,
                                 widgethost::desktop::MoveCause cause) {
            using widgethost::desktop::MoveCause;
            auto origin = cause == MoveCause::user            ? MoveOrigin::user
                          : cause == MoveCause::windowManager ? MoveOrigin::windowManager
                                                              : MoveOrigin::keptOnScreen;
            auto moved = host.move(id, {p.x, p.y, p.output}, origin);
            if (!moved) log(LogLevel::warning, moved.error().message);
        };
        screen = std::make_unique<widgethost::desktop::DesktopScreen>(display, options.appearance, std::move(handlers),
                                                                       options.renderingMode);
        auto* s = screen.get();
        WidgetScreen widgetScreen{
            [s](const PlacedWidget& placed, const std::string& title, const platform::views::WidgetView* view,
                const platform::views::WidgetLayoutInfo* layout) {
                auto position = placed.position.value_or(WidgetPosition{});
                s->show(placed.id, placed.family, {position.x, position.y, position.output}, title, view, layout);
            },
            [s](const std::string& id) { s->remove(id); },
            [s](const std::string& id, WidgetPosition position) {
                auto moved = s->move(id, {position.x, position.y});
                return WidgetPosition{moved.x, moved.y, moved.output};
            },
            [s](platform::views::Appearance a) { s->setAppearance(a); },
            [](const std::string&) { return std::string(); },
            "windows (" + std::string(widgethost::desktop::toString(display)) + ")",
            [s](const std::string& id) -> std::optional<WidgetPosition> {
                const auto* surface = s->surface(id);
                if (!surface) return std::nullopt;
                auto at = surface->position();
                return WidgetPosition{at.x, at.y, at.output};
            },
        };
        // New widgets go where panels leave room, on the output the user looks at or the primary one.
        auto asScreenOutput = [](const widgethost::desktop::detail::OutputArea* output) -> std::optional<ScreenOutput> {
            if (!output) return std::nullopt;
            return ScreenOutput{{output->x, output->y, output->width, output->height}, output->usable(), output->name,
                                output->primary};
        };
        widgetScreen.outputUnderPointer = [s, display, asScreenOutput] {
            auto outputs = s->outputs();
            return asScreenOutput(widgethost::desktop::outputUnderPointer(display, outputs));
        };
        widgetScreen.primaryOutput = [s, asScreenOutput] {
            auto outputs = s->outputs();
            return asScreenOutput(widgethost::desktop::detail::homeOutput("", outputs));
        };
        host.setScreen(std::move(widgetScreen));
    }

    // Light or dark as the desktop says, unless the user chose.
    std::unique_ptr<widgethost::desktop::AppearanceSource> appearanceSource;
    if (appearance == "auto") {
        appearanceSource = std::make_unique<widgethost::desktop::AppearanceSource>(
            platform::views::Appearance::light, [&host](platform::views::Appearance a) { host.setAppearance(a); });
        appearanceSource->start(loop.bus);
    }

    // Yesterday's total must not survive the night: after a resume every widget asks again.
    widgethost::desktop::SleepWatch sleepWatch;
    if (!sleepWatch.start(loop.event, [&host] { host.systemResumed(); }))
        log(LogLevel::debug, "no system bus; resumes from suspend go unnoticed");

    BusService service(loop.bus, host);
    if (auto started = service.start(); !started) {
        log(LogLevel::error, started.error().message);
        return 1;
    }
    host.setDrawnHandler([&service](const std::string& id, const std::string& picture) { service.emitDrawn(id, picture); });
    host.setKindsChangedHandler([&service] { service.emitKindsChanged(); });

    auto stop = [](sd_event_source* source, const struct signalfd_siginfo*, void* userdata) -> int {
        sd_event* event = sd_event_source_get_event(source);
        log(LogLevel::info, "stopping");
        static_cast<Host*>(userdata)->shutDown([event] { sd_event_exit(event, 0); });
        return 0;
    };
    sd_event_add_signal(loop.event, nullptr, SIGINT, stop, &host);
    sd_event_add_signal(loop.event, nullptr, SIGTERM, stop, &host);

    host.start();
    log(LogLevel::info, "serving ", platform::host1::busName, " on the session bus");
    // GLib's loop carries sd-event, so that GTK's windows and GSettings' changes are served too.
    int r = widgethost::desktop::runSharedLoop(loop.event);
    if (r < 0) log(LogLevel::error, "event loop: ", std::strerror(-r));
    return r < 0 ? 1 : 0;
}
