// widget-render: asks a widget extension for one entry and draws it to a PNG or SVG file, or
// prints its placed tree. For galleries, documentation and looking at a state without a desktop.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "Host/Render/ExtensionCall.hpp"
#include "Platform/System/Date.hpp"
#include "Platform/Views/TextEngine.hpp"
#include "Platform/Views/WidgetRenderer.hpp"

namespace {

using platform::Date;
namespace views = platform::views;

struct Failure {
    std::string message;
};

// Days since 1970-01-01 of a proleptic Gregorian date.
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    long long era = (y >= 0 ? y : y - 399) / 400;
    auto yoe = static_cast<unsigned>(y - era * 400);
    unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

// Milliseconds since 1970, or an ISO 8601 UTC time such as 2024-05-14T10:30:00Z.
std::optional<Date> parseMoment(const std::string& text) {
    char* end = nullptr;
    double ms = std::strtod(text.c_str(), &end);
    if (!text.empty() && end && *end == '\0' && std::isfinite(ms)) return Date::fromMilliseconds(ms);
    int y, mo, d, h, mi;
    double s;
    char zone[8] = {0};
    int n = std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%lf%7s", &y, &mo, &d, &h, &mi, &s, zone);
    if (n < 6 || (n == 7 && std::string(zone) != "Z")) return std::nullopt;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s < 0 || s >= 61) return std::nullopt;
    double seconds = static_cast<double>(daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d))) * 86400 +
                     h * 3600 + mi * 60 + s;
    return Date::fromSeconds(seconds);
}

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

    CLI11_PARSE(app, argc, argv);

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

        static const std::map<std::string, std::string> methods = {
            {"placeholder", "placeholder"}, {"snapshot", "getSnapshot"}, {"timeline", "getTimeline"}};
        nlohmann::json params = {{"family", familyName}, {"isPreview", preview}, {"renderingMode", mode}};
        auto result = widgetrender::callExtension(extension, methods.at(request), params,
                                                  std::chrono::milliseconds(static_cast<long>(timeoutSeconds * 1000)));

        nlohmann::json entry = result;
        if (request == "timeline") {
            auto entries = result.find("entries");
            if (entries == result.end() || !entries->is_array()) throw Failure{"the timeline has no entries array"};
            if (entryIndex >= entries->size())
                throw Failure{"the timeline has " + std::to_string(entries->size()) + " entries; there is no entry " +
                              std::to_string(entryIndex)};
            entry = (*entries)[entryIndex];
        }
        // Taken after the answer, so that live timers never show a moment before the entry was made.
        Date moment = fixedMoment.value_or(Date::fromMilliseconds(static_cast<double>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
                .count())));
        if (!entry.is_object() || !entry.contains("view") || entry["view"].is_null())
            throw Failure{"the entry carries no view tree"};

        if (printView) std::cout << entry["view"].dump(2) << "\n";
        std::string error;
        auto view = views::WidgetView::fromJson(entry["view"], &error);
        if (!view) throw Failure{"the entry's view tree is malformed: " + error};

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
