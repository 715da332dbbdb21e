// widget-render: asks a widget extension for one entry and draws it to a PNG or SVG file, or
// prints its placed tree. For galleries, documentation and looking at a state without a desktop.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>

#include <nlohmann/json.hpp>

#include "Host/CommandLine/CommandLine.hpp"
#include "Host/Render/ExtensionCall.hpp"
#include "Host/Render/Moment.hpp"
#include "Platform/System/Date.hpp"
#include "Platform/Views/TextEngine.hpp"
#include "Platform/Views/WidgetRenderer.hpp"
#include "Platform/Widgets/Protocol.hpp"

namespace {

using platform::Date;
using widgetrender::parseMoment;
namespace protocol = platform::protocol;
namespace views = platform::views;

struct Failure {
    std::string message;
};

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw Failure{"cannot write " + path};
}

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Draws one entry of a widget extension to a PNG or SVG file, or prints its placed tree."};
    std::string extension;
    std::string request = "timeline";
    std::size_t entryIndex = 0;
    std::string family = "small";
    std::string mode = "fullColor";
    std::string appearance = "light";
    double scale = 2;
    std::string now;
    std::string output;
    std::string format;
    bool preview = false;
    bool printTree = false;
    bool printView = false;
    double timeoutSeconds = 10;

    app.add_option("extension", extension, "The widget extension program")->required();
    app.add_option("-r,--request", request, "placeholder, snapshot or timeline")
        ->check(CLI::IsMember({"placeholder", "snapshot", "timeline"}));
    app.add_option("-e,--entry", entryIndex, "Which entry of the timeline (from 0)");
    app.add_option("-f,--family", family, "small, medium, systemSmall or systemMedium")
        ->check(CLI::IsMember({"small", "medium", "systemSmall", "systemMedium"}));
    app.add_option("-m,--mode", mode, "Rendering mode: fullColor, accented or vibrant")
        ->check(CLI::IsMember({"fullColor", "accented", "vibrant"}));
    app.add_option("-a,--appearance", appearance, "light or dark")->check(CLI::IsMember({"light", "dark"}));
    app.add_option("-s,--scale", scale, "Pixels per point")->check(CLI::Range(0.25, 16.0));
    app.add_option("-n,--now", now, "The moment live timers show: milliseconds since 1970 or 2024-05-14T10:30:00Z "
                                    "(default: the clock)");
    app.add_option("-o,--output", output, "The image file to write (.png or .svg)");
    app.add_option("--format", format, "png or svg (default: from the file name)")->check(CLI::IsMember({"png", "svg"}));
    app.add_flag("--preview", preview, "Ask as the widget gallery does");
    app.add_flag("-t,--tree", printTree, "Print the placed tree");
    app.add_flag("--view-json", printView, "Print the entry's view tree as the extension sent it");
    app.add_option("--timeout", timeoutSeconds, "Seconds to wait for the extension")->check(CLI::Range(0.1, 600.0));

    if (auto status = widgethost::parseCommandLine(app, "widget-render", argc, argv)) return *status;

    try {
        if (output.empty() && !printTree && !printView) throw Failure{"nothing to do: give --output, --tree or --view-json"};
        if (format.empty() && !output.empty()) {
            if (endsWith(output, ".png")) format = "png";
            else if (endsWith(output, ".svg")) format = "svg";
            else throw Failure{"cannot tell the format of " + output + ": use --format png or --format svg"};
        }
        std::string familyName = family == "small" ? "systemSmall" : family == "medium" ? "systemMedium" : family;
        auto widgetFamily = platform::widgetFamilyFromString(familyName);
        std::optional<Date> fixedMoment;
        if (!now.empty()) {
            fixedMoment = parseMoment(now);
            if (!fixedMoment) throw Failure{"--now: not milliseconds since 1970 nor an ISO 8601 UTC time: " + now};
        }

        static const std::map<std::string, std::string_view> methods = {{"placeholder", protocol::method::placeholder},
                                                                         {"snapshot", protocol::method::getSnapshot},
                                                                         {"timeline", protocol::method::getTimeline}};
        protocol::EntryRequest entryRequest{std::nullopt, widgetFamily, preview,
                                            *platform::widgetRenderingModeFromString(mode)};
        auto result = widgetrender::callExtension(extension, methods.at(request), protocol::toJson(entryRequest),
                                                  std::chrono::milliseconds(static_cast<long>(timeoutSeconds * 1000)));

        std::optional<platform::EncodedEntry> entry;
        if (request == "timeline") {
            auto timeline = protocol::decodeTimeline(result);
            if (!timeline) throw Failure{"the extension's timeline is malformed: " + timeline.error().message};
            if (entryIndex >= timeline->entries.size())
                throw Failure{"the timeline has " + std::to_string(timeline->entries.size()) +
                              " entries; there is no entry " + std::to_string(entryIndex)};
            entry = timeline->entries[entryIndex];
        } else {
            auto decoded = protocol::decodeEntry(result);
            if (!decoded) throw Failure{"the extension's entry is malformed: " + decoded.error().message};
            entry = std::move(*decoded);
        }
        // Taken after the answer, so that live timers never show a moment before the entry was made.
        Date moment = fixedMoment.value_or(Date::fromMilliseconds(static_cast<double>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
                .count())));
        if (!entry->view) throw Failure{"the entry carries no view tree"};

        if (printView) std::cout << entry->view->dump(2) << "\n";
        auto view = views::WidgetView::fromJson(*entry->view);
        if (!view) throw Failure{"the entry's view tree is malformed: " + view.error().message};

        for (const auto& missing : views::missingFonts())
            std::cerr << "widget-render: warning: " << missing << " is not installed; text uses a fallback\n";

        if (printTree) std::cout << views::layOut(*view, *widgetFamily, moment).dump;
        if (!output.empty()) {
            views::RenderOptions options{*widgetFamily, scale,
                                         appearance == "dark" ? views::Appearance::dark : views::Appearance::light, moment,
                                         platform::widgetRenderingModeFromString(mode).value_or(platform::WidgetRenderingMode::fullColor)};
            auto bytes = format == "svg" ? views::renderSvg(*view, options) : views::renderPng(*view, options);
            if (!bytes) throw Failure{"the image could not be drawn"};
            writeFile(output, *bytes);
        }
    } catch (const Failure& f) {
        std::cerr << "widget-render: " << f.message << "\n";
        return 1;
    } catch (const widgetrender::CallError& e) {
        std::cerr << "widget-render: " << e.message << "\n";
        return 1;
    }
    return 0;
}
