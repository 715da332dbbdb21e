// widget-surface-probe: shows one desktop surface for a view tree and reports on standard output
// what the surface reports, so that a test under Xvfb can click it and read the answers. It lays the
// tree out as the host does, again each second on the host's scheduler while a live timer shows.
//
//   widget-surface-probe [--medium] [--x N] [--y N] [--dark] [--accented] [--tree FILE]
//
// Without --tree it shows a small tree of its own: a text, a live timer, an enabled button "Start",
// a disabled button "Stop", a button hidden from screen readers and the link "probe://open"; the
// capsule of "Start" is in the accent group.
// Output lines: "button I enabled|disabled X Y W H LABEL" for each button, then "ready" once the
// window is on screen, then "intent TYPE", "open URL" and "moved X Y" as they happen.
// Input lines: "move X Y", "dark", "light", "hide", "quit"; "close" closes the window as a window
// manager or gtk-layer-shell (on the compositor's `closed`) does, "state" answers "mapped 0|1".
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <systemd/sd-event.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "Host/WidgetHost/Desktop/DesktopSurface.hpp"
#include "Host/WidgetHost/Desktop/DisplayChoice.hpp"
#include "Host/WidgetHost/Desktop/Placement.hpp"
#include "Host/WidgetHost/Desktop/SharedLoop.hpp"
#include "Host/WidgetHost/WidgetScheduler.hpp"
#include "Platform/Views/View.hpp"

namespace {

using namespace widgethost;
using namespace widgethost::desktop;
namespace views = platform::views;

views::View probeTree() {
    using views::Color;
    auto now = std::chrono::system_clock::now().time_since_epoch();
    auto started = platform::Date::fromMilliseconds(std::chrono::duration<double, std::milli>(now).count() - 65'000);
    auto pill = [](views::View label, Color fill) {
        return label.frame(std::nullopt, views::infinity, std::nullopt, std::nullopt, views::Alignment::center())
            .padding(views::Edges::vertical, 7)
            .background(views::Capsule(views::CornerStyle::continuous).fill(fill));
    };
    auto start = views::Button(platform::IntentValue{"ProbeStartIntent", {}},
                               pill(views::Label("Start", "play.fill"), Color::srgb8(236, 132, 255)).widgetAccentable());
    auto stop = views::Button(platform::IntentValue{"ProbeStopIntent", {}},
                              pill(views::Label("Stop", "stop.fill"), Color::primary().withOpacity(0.08)))
                    .disabled(true);
    auto hidden = views::Button(platform::IntentValue{"ProbeHiddenIntent", {}}, views::Image("power"))
                      .accessibilityLabel("Power")
                      .accessibilityHidden(true);
    return views::VStack(views::HorizontalAlignment::leading, 4,
                         {views::HStack(views::VerticalAlignment::center, 6, {views::Text("Probe"), views::Spacer(), hidden}),
                          views::TimerText(started).font(views::Font::system(22, views::FontWeight::semibold)),
                          views::Spacer(), start, stop})
        .frame(std::nullopt, views::infinity, std::nullopt, views::infinity, views::Alignment::topLeading())
        .buttonStyle(views::ButtonStyle::plain)
        .widgetURL("probe://open")
        .containerBackground(Color::dynamic({1, 1, 1, 1}, {0.12, 0.06, 0.16, 1}));
}

struct Probe {
    std::unique_ptr<Placement> placement;
    std::unique_ptr<DesktopSurface> surface;
    std::unique_ptr<Timers> timers;
    std::unique_ptr<WidgetScheduler> scheduler;
    platform::WidgetFamily family = platform::WidgetFamily::systemSmall;
    std::optional<views::WidgetView> view;
    std::optional<views::WidgetLayoutInfo> layout;
    sd_event* event = nullptr;
    bool announced = false;
    std::string pending;

    void draw() {
        layout = view ? std::optional(views::layOut(*view, family, timers->now(), views::PlacedBoxes::skipped))
                      : std::nullopt;
        surface->show(view ? &*view : nullptr, layout ? &*layout : nullptr);
        scheduler->showing("probe", {}, layout && layout->hasLiveTimers);
    }
};

void say(const std::string& line) {
    std::cout << line << std::endl;
}

void announce(Probe& probe) {
    const auto* layout = probe.surface->layout();
    if (probe.announced || !layout || !probe.surface->mapped()) return;
    probe.announced = true;
    for (size_t i = 0; i < layout->buttons.size(); ++i) {
        const auto& b = layout->buttons[i];
        std::ostringstream line;
        line << "button " << i << ' ' << (b.enabled ? "enabled" : "disabled") << ' ' << b.frame.x << ' ' << b.frame.y << ' '
             << b.frame.width << ' ' << b.frame.height << ' ' << b.accessibilityLabel;
        say(line.str());
    }
    say("ready");
}

gboolean readCommands(gint fd, GIOCondition, gpointer data) {
    auto& probe = *static_cast<Probe*>(data);
    char buffer[256];
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) {
        sd_event_exit(probe.event, 0);
        return G_SOURCE_REMOVE;
    }
    probe.pending.append(buffer, static_cast<size_t>(n));
    for (size_t end; (end = probe.pending.find('\n')) != std::string::npos;) {
        std::istringstream line(probe.pending.substr(0, end));
        probe.pending.erase(0, end + 1);
        std::string command;
        line >> command;
        if (command == "quit") sd_event_exit(probe.event, 0);
        if (command == "dark") probe.surface->setAppearance(views::Appearance::dark);
        if (command == "light") probe.surface->setAppearance(views::Appearance::light);
        if (command == "hide") {
            probe.view.reset();
            probe.draw();
        }
        if (command == "state") say(std::string("mapped ") + (probe.surface->mapped() ? "1" : "0"));
        if (command == "close") {
            GList* windows = gtk_window_list_toplevels();
            for (GList* w = windows; w; w = w->next)
                if (gtk_widget_get_visible(GTK_WIDGET(w->data))) gtk_window_close(GTK_WINDOW(w->data));
            g_list_free(windows);
        }
        if (command == "move") {
            int x = 0;
            int y = 0;
            line >> x >> y;
            probe.surface->moveTo({x, y});
        }
    }
    return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
    SurfaceSettings settings;
    settings.title = "Probe widget";
    settings.position = {40, 40};
    std::string treeFile;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto next = [&] { return i + 1 < argc ? std::string(argv[++i]) : std::string(); };
        if (arg == "--medium") settings.family = platform::WidgetFamily::systemMedium;
        else if (arg == "--dark") settings.appearance = views::Appearance::dark;
        else if (arg == "--accented") settings.renderingMode = platform::WidgetRenderingMode::accented;
        else if (arg == "--x") settings.position.x = std::stoi(next());
        else if (arg == "--y") settings.position.y = std::stoi(next());
        else if (arg == "--tree") treeFile = next();
        else {
            std::cerr << "unknown argument " << arg << '\n';
            return 2;
        }
    }

    std::optional<views::WidgetView> view;
    if (treeFile.empty()) {
        view = views::WidgetView(std::make_shared<const views::View>(probeTree()));
    } else {
        std::ifstream in(treeFile);
        auto read = views::WidgetView::fromJson(nlohmann::json::parse(in, nullptr, false));
        if (!read) {
            std::cerr << "not a view tree: " << read.error().message << '\n';
            return 2;
        }
        view = std::move(read).value();
    }

    DisplayKind kind = chooseDisplay(currentDisplayEnvironment());
    if (kind == DisplayKind::none || !startGtk(kind)) {
        std::cerr << "no display\n";
        return 3;
    }
    std::cerr << "display: " << toString(kind) << '\n';

    Probe probe;
    sd_event_default(&probe.event);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    sd_event_add_signal(probe.event, nullptr, SIGTERM, nullptr, nullptr);

    SurfaceCallbacks callbacks;
    callbacks.activated = [](const PressTarget& target) {
        if (const auto* run = std::get_if<RunIntent>(&target)) say("intent " + run->intent.type);
        if (const auto* link = std::get_if<OpenLink>(&target)) say("open " + link->url);
    };
    // The user's moves, which the host keeps; the others only show the widget elsewhere for a while.
    callbacks.moved = [](SurfacePosition p, MoveCause cause) {
        say((cause == MoveCause::user ? "moved " : "shown ") + std::to_string(p.x) + " " + std::to_string(p.y));
    };
    probe.placement = placementFor(kind);
    probe.surface = std::make_unique<DesktopSurface>(*probe.placement, settings, callbacks);
    probe.timers = eventLoopTimers(probe.event);
    probe.scheduler = std::make_unique<WidgetScheduler>(
        *probe.timers, WidgetScheduler::Actions{[](const std::string&) {}, [&probe](const std::string&) { probe.draw(); }});
    probe.family = settings.family;
    probe.view = std::move(view);
    probe.draw();

    // "ready" once the window is mapped and laid out; polled, since mapping is the window manager's.
    g_timeout_add(50, [](gpointer data) -> gboolean {
        auto& p = *static_cast<Probe*>(data);
        announce(p);
        return p.announced ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
    }, &probe);
    g_unix_fd_add(STDIN_FILENO, G_IO_IN, readCommands, &probe);

    int code = runSharedLoop(probe.event);
    probe.scheduler.reset();
    probe.timers.reset();
    probe.surface.reset();
    sd_event_unref(probe.event);
    return code < 0 ? 1 : code;
}
