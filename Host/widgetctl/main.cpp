// widgetctl: places, lists, draws and presses the widget host's widgets from a terminal.
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <optional>
#include <unordered_map>

#include <unistd.h>

#include <nlohmann/json.hpp>

#include "Host/CommandLine/CommandLine.hpp"
#include "Host/ControlClient/ControlClient.hpp"
#include "Host/WidgetHost/GalleryProgram.hpp"
#include "Host/WidgetHost/dbus/Control1.hpp"

namespace {

using namespace widgethost::control1;

// Exit statuses, so that scripts can tell failures apart.
enum Exit : int {
    ok = 0,
    failed = 1,
    usage = widgethost::usageError,  // a command line widgetctl cannot take
    noHost = 3,
    notFound = 4,  // unknown widget, kind, family or label; an argument the host refuses
    disabled = 5,
    notReady = 6,  // nothing drawn yet, or the extension is (re)starting
};

int report(const ClientError& error) {
    if (isNoHost(error)) {
        std::cerr << "widgetctl: no widget host is running on this session bus (start widget-host first)\n";
        return noHost;
    }
    std::cerr << "widgetctl: " << error.message << "\n";
    namespace name = widgethost::control1::error;
    auto is = [&](const char* errorName) { return error.name == errorName; };
    if (is(name::unknownWidget) || is(name::unknownKind) || is(name::unsupportedFamily) || is(name::unknownLabel) ||
        is(name::invalidArgument))
        return notFound;
    if (is(name::disabled)) return disabled;
    if (is(name::nothingToShow) || is(name::unavailable)) return notReady;
    return failed;
}

std::string localTime(double milliseconds) {
    if (milliseconds <= 0) return "nothing shown yet";
    std::time_t seconds = static_cast<std::time_t>(milliseconds / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

using Geometries = std::vector<std::optional<Geometry>>;

void printWidgets(const std::vector<Widget>& widgets, const Geometries& geometries) {
    if (widgets.empty()) {
        std::cout << "No widgets placed. Place one with: widgetctl place KIND --family small\n";
        return;
    }
    for (size_t i = 0; i < widgets.size(); ++i) {
        const auto& w = widgets[i];
        std::cout << w.id << "  " << w.kind << "  " << w.family << "  " << w.extension << "  (" << w.status << ")\n";
        if (geometries[i])
            std::cout << "    at:      " << geometries[i]->x << ", " << geometries[i]->y
                      << (geometries[i]->output.empty() ? "" : " on " + geometries[i]->output) << "\n";
        std::cout << "    entry:   " << localTime(w.entryDate) << "\n";
        std::cout << "    picture: " << (w.picture.empty() ? "none" : w.picture) << "\n";
        if (!w.texts.empty()) {
            std::cout << "    texts:  ";
            for (const auto& text : w.texts) std::cout << " \"" << text << "\"";
            std::cout << "\n";
        }
        for (const auto& button : w.buttons)
            std::cout << "    button:  \"" << button.label << "\"" << (button.enabled ? "" : " (disabled)") << " -> "
                      << button.intent << "\n";
    }
}

void printJson(const std::vector<Widget>& widgets, const Geometries& geometries) {
    auto out = nlohmann::json::array();
    for (size_t i = 0; i < widgets.size(); ++i) {
        const auto& w = widgets[i];
        auto buttons = nlohmann::json::array();
        for (const auto& b : w.buttons) {
            nlohmann::json button = {{"label", b.label}, {"enabled", b.enabled}, {"intent", b.intent}};
            // Frames come from the geometry, in the same order as the buttons.
            if (geometries[i] && buttons.size() < geometries[i]->buttons.size()) {
                const auto& f = geometries[i]->buttons[buttons.size()];
                button["frame"] = {f.x, f.y, f.width, f.height};
            }
            buttons.push_back(std::move(button));
        }
        nlohmann::json record = {{"id", w.id}, {"kind", w.kind}, {"family", w.family}, {"extension", w.extension},
                                 {"entryDate", w.entryDate}, {"texts", w.texts}, {"buttons", std::move(buttons)},
                                 {"picture", w.picture}, {"status", w.status}};
        if (geometries[i]) {
            record["position"] = {geometries[i]->x, geometries[i]->y};
            record["output"] = geometries[i]->output;
        }
        out.push_back(std::move(record));
    }
    std::cout << out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

// The host replaces the file by a rename, which must not take a device node or a directory with it.
std::optional<std::string> renderDestination(const std::string& out) {
    if (out.empty()) return std::nullopt;
    std::error_code error;
    auto path = std::filesystem::absolute(out, error).lexically_normal();
    if (error || !path.has_filename()) return std::nullopt;
    auto status = std::filesystem::status(path, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) return std::nullopt;
    return path.string();
}

constexpr const char* exitStatuses =
    "Exit status: 0 done, 1 failed, 2 usage error, 3 no widget host on the session bus, 4 unknown widget, kind, "
    "family or label, or an argument the host refuses (such as a point outside the widget), 5 the button is "
    "disabled, 6 nothing drawn yet or the extension is starting.";

// The first word that is no option is the subcommand; "" when it names one (or there is none).
// CLI11 would take a misspelt one for a missing one.
std::string unknownSubcommand(CLI::App& app, int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (word.starts_with('-')) continue;
        bool known = !app.get_subcommands([&](CLI::App* sub) { return sub->check_name(word); }).empty();
        return known ? "" : word;
    }
    return "";
}

std::string familyName(const std::string& family) {
    if (family == "small") return "systemSmall";
    if (family == "medium") return "systemMedium";
    return family;
}

// The family as the user types it: "small" for "systemSmall".
std::string userFamily(const std::string& family) {
    if (family == "systemSmall") return "small";
    if (family == "systemMedium") return "medium";
    return family;
}

void printKinds(const std::vector<Kind>& kinds) {
    if (kinds.empty()) {
        std::cout << "No widget extension is installed.\n";
        return;
    }
    for (const auto& k : kinds) {
        std::string families;
        for (const auto& family : k.families) families += (families.empty() ? "" : ", ") + userFamily(family);
        std::cout << k.kind << "  " << k.displayName << "  (" << families << ")  " << k.extension << "\n";
        if (!k.description.empty()) std::cout << "    " << k.description << "\n";
    }
}

}  // namespace

int run(int argc, char** argv) {
    CLI::App app{"Controls the widget host: place, move, remove, list, render and press widgets."};
    app.require_subcommand(1);

    std::string kind, family = "small", id, label, out, appearance = "light", mode = "fullColor";
    double scale = 2, x = 0, y = 0;
    std::optional<int> placeX, placeY;
    int moveX = 0, moveY = 0;
    bool json = false;

    auto* place = app.add_subcommand("place", "Place a widget; prints its id");
    place->add_option("KIND", kind, "Widget kind, e.g. TimerWidget")->required();
    place->add_option("--family", family, "Size")
        ->check(CLI::IsMember({"small", "medium", "systemSmall", "systemMedium"}))
        ->capture_default_str();
    auto* xOption = place->add_option("--x", placeX, "Left edge on the desktop, in pixels (default: below the others)");
    auto* yOption = place->add_option("--y", placeY, "Top edge on the desktop, in pixels");
    xOption->needs(yOption);
    yOption->needs(xOption);

    auto* move = app.add_subcommand("move", "Move a widget on the desktop; it stays there across restarts");
    move->add_option("ID", id, "Widget id")->required();
    move->add_option("X", moveX, "Left edge, in pixels")->required();
    move->add_option("Y", moveY, "Top edge, in pixels")->required();

    auto* remove = app.add_subcommand("remove", "Remove a placed widget");
    remove->add_option("ID", id, "Widget id (see list)")->required();

    auto* resize = app.add_subcommand("resize", "Change a widget's size; it keeps its id and place");
    resize->add_option("ID", id, "Widget id")->required();
    resize->add_option("FAMILY", family, "New size")
        ->check(CLI::IsMember({"small", "medium", "systemSmall", "systemMedium"}))
        ->required();

    auto* list = app.add_subcommand("list", "Show the placed widgets: what they show, their buttons and pictures");
    list->add_flag("--json", json, "Print JSON");

    auto* render = app.add_subcommand("render", "Draw a widget to a PNG or SVG file");
    render->add_option("ID", id, "Widget id")->required();
    render->add_option("--out", out, "File to write; .svg gives SVG, anything else PNG")->required();
    render->add_option("--scale", scale, "Pixels per point")->check(CLI::Range(0.25, 8.0))->capture_default_str();
    render->add_option("--appearance", appearance, "light or dark")
        ->check(CLI::IsMember({"light", "dark"}))
        ->capture_default_str();
    render->add_option("--mode", mode, "Rendering mode")
        ->check(CLI::IsMember({"fullColor", "accented", "vibrant"}))
        ->capture_default_str();

    auto* press = app.add_subcommand("press", "Press a button by its title or accessibility label");
    press->add_option("ID", id, "Widget id")->required();
    press->add_option("LABEL", label, "e.g. \"Stop tracking\" or \"Start tracking: Design review\"")->required();

    auto* click = app.add_subcommand("click", "Click at a point (in points from the top-left corner)");
    click->add_option("ID", id, "Widget id")->required();
    click->add_option("X", x, "Horizontal position")->required();
    click->add_option("Y", y, "Vertical position")->required();

    auto* reload = app.add_subcommand("reload", "Ask every widget's extension for a new timeline");
    auto* kinds = app.add_subcommand(
        "kinds", "List the widget kinds that can be placed: kind, display name, sizes, extension and description");
    auto* gallery = app.add_subcommand(
        "gallery", "Open the widget gallery, where widgets are added; starts the widget host when it is not running");
    app.footer(exitStatuses);  // after the subcommands, which would repeat it

    if (auto unknown = unknownSubcommand(app, argc, argv); !unknown.empty()) {
        std::cerr << "widgetctl: unknown subcommand \"" << unknown << "\"\nRun with --help for the subcommands.\n";
        return usage;
    }
    if (auto status = widgethost::parseCommandLine(app, "widgetctl", argc, argv)) return *status;
    std::optional<std::string> destination;
    if (render->parsed() && !(destination = renderDestination(out))) {
        std::cerr << "widgetctl: --out must name a file that is new or a regular file: \"" << out << "\"\n";
        return usage;
    }

    auto connected = ControlClient::connect();
    if (!connected) return report(connected.error());
    auto& client = *connected;

    if (gallery->parsed()) {
        // The gallery shows only what the host offers: without a host there is nothing to open.
        if (auto started = client.startHost(); !started) return report(started.error());
        std::string program = widgethost::galleryProgram();
        char* args[] = {program.data(), nullptr};
        ::execvp(args[0], args);
        std::cerr << "widgetctl: cannot start " << program << ": " << std::strerror(errno) << "\n";
        return 1;
    }

    if (place->parsed()) {
        Placement placement;
        if (placeX) placement = {Placement::Where::at, *placeX, *placeY};
        auto placed = client.place(kind, familyName(family), placement);
        if (!placed) return report(placed.error());
        std::cout << *placed << "\n";
    } else if (move->parsed()) {
        if (auto moved = client.move(id, moveX, moveY); !moved) return report(moved.error());
    } else if (remove->parsed()) {
        if (auto removed = client.remove(id); !removed) return report(removed.error());
    } else if (resize->parsed()) {
        if (auto resized = client.resize(id, familyName(family)); !resized) return report(resized.error());
    } else if (list->parsed()) {
        auto widgets = client.list();
        if (!widgets) return report(widgets.error());
        // One call for every geometry, matched by id: a widget placed or removed between the two
        // calls simply has no geometry.
        auto all = client.geometries();
        if (!all) return report(all.error());
        std::unordered_map<std::string, Geometry> byId;
        for (auto& placed : *all) byId.emplace(std::move(placed.id), std::move(placed.geometry));
        Geometries geometries;
        for (const auto& w : *widgets) {
            auto found = byId.find(w.id);
            geometries.push_back(found == byId.end() ? std::nullopt : std::optional(std::move(found->second)));
        }
        json ? printJson(*widgets, geometries) : printWidgets(*widgets, geometries);
    } else if (render->parsed()) {
        if (auto drawn = client.render(id, *destination, scale, appearance, mode); !drawn) return report(drawn.error());
        std::cout << *destination << "\n";
    } else if (press->parsed()) {
        auto intent = client.press(id, label);
        if (!intent) return report(intent.error());
        std::cout << "pressed \"" << label << "\": " << *intent << " runs\n";
    } else if (click->parsed()) {
        auto pressed = client.pressAt(id, x, y);
        if (!pressed) return report(pressed.error());
        const auto& [action, target] = *pressed;
        if (action == "perform") std::cout << target << " runs\n";
        else if (action == "open") std::cout << "opening " << target << "\n";
        else std::cout << "nothing there\n";
    } else if (kinds->parsed()) {
        auto installed = client.kinds();
        if (!installed) return report(installed.error());
        printKinds(*installed);
    } else if (reload->parsed()) {
        if (auto reloaded = client.reload(); !reloaded) return report(reloaded.error());
    }
    return ok;
}

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "widgetctl: " << error.what() << "\n";
        return failed;
    }
}
