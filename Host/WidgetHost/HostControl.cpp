// What widgetctl asks of the host: placing and removing widgets, listing them, drawing one to a
// file and pressing its buttons.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <systemd/sd-event.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "Host/WidgetHost/Host.hpp"
#include "Host/WidgetHost/Log.hpp"
#include "Host/WidgetHost/PressTarget.hpp"
#include "Platform/System/ChildProcess.hpp"
#include "Platform/System/Files.hpp"
#include "Platform/Views/WidgetMetrics.hpp"
#include "Platform/Widgets/Protocol.hpp"

namespace widgethost {
namespace {

using nlohmann::json;
using Code = HostError::Code;

HostError error(Code code, std::string message) { return HostError{code, std::move(message)}; }

std::string familiesText(const std::vector<platform::WidgetFamily>& families) {
    std::string text;
    for (auto family : families) text += (text.empty() ? "" : ", ") + std::string(platform::toString(family));
    return text.empty() ? "no family" : text;
}

int childEnded(sd_event_source* source, const siginfo_t* info, void*) {
    if (info->si_code != CLD_EXITED || info->si_status != 0)
        log(LogLevel::warning, "a program the host started failed (pid ", info->si_pid, ")");
    sd_event_source_unref(source);  // the reference taken when the watch was added
    return 0;
}

}  // namespace

// Places ---------------------------------------------------------------------------------------

void Host::place(const std::string& kind, platform::WidgetFamily family, std::optional<WidgetPosition> position,
                 std::function<void(HostResult<std::string>)> done) {
    if (position && !isPlausiblePosition(*position))
        return done(error(Code::invalidArgument, "the position lies off any desktop"));
    startPlace({kind, family, position, std::move(done)});
}

void Host::placeNearPointer(const std::string& kind, platform::WidgetFamily family,
                            std::function<void(HostResult<std::string>)> done, std::optional<DesktopArea> avoid) {
    if (avoid && (!isPlausiblePosition({avoid->x, avoid->y}) || avoid->width < 0 || avoid->height < 0 ||
                  !isPlausiblePosition({avoid->width, avoid->height})))
        return done(error(Code::invalidArgument, "the window to keep clear of lies off any desktop"));
    startPlace({kind, family, std::nullopt, std::move(done), true, avoid});
}

void Host::startPlace(PendingPlace request) {
    const auto& kind = request.kind;
    if (kind.empty() || kind.size() > 255)
        return request.done(error(Code::invalidArgument, "the kind must be 1 to 255 bytes"));
    extensions_.rescan();
    if (auto declaring = extensions_.declaring(kind); !declaring.empty())
        return request.done(finishPlace(request, declaring));

    // Only a description says which kinds an extension has: ask those that have not told yet.
    pendingPlaces_.push_back(std::move(request));
    extensions_.describeAll();
    settlePendingPlaces();
}

void Host::settlePendingPlaces() {
    if (pendingPlaces_.empty()) return;
    bool stillDescribing = extensions_.anyDescribing();
    auto pending = std::move(pendingPlaces_);
    pendingPlaces_.clear();
    for (auto& request : pending) {
        if (auto declaring = extensions_.declaring(request.kind); !declaring.empty())
            request.done(finishPlace(request, declaring));
        else if (stillDescribing)
            pendingPlaces_.push_back(std::move(request));
        else
            request.done(error(Code::unknownKind, "no installed extension declares the kind \"" + request.kind + "\""));
    }
}

HostError Host::cannotWrite() const {
    return error(Code::failed, "cannot write " + placed_.file().string());
}

HostResult<std::string> Host::finishPlace(const PendingPlace& request, const std::string& extension) {
    const auto& kind = request.kind;
    auto family = request.family;
    const auto* declaration = extensions_.description(extension)->find(kind);
    const auto& families = declaration->supportedFamilies;
    if (std::find(families.begin(), families.end(), family) == families.end())
        return error(Code::unsupportedFamily, kind + " comes in " + familiesText(families));

    // The position is kept from the start, so that the widget stays put when others come and go.
    const auto& ask = request.nearPointer ? screen_.outputUnderPointer : screen_.primaryOutput;
    auto output = ask ? ask() : std::nullopt;
    auto position = request.position;
    // Headless, a widget placed without a position goes where such widgets always went.
    if (!position && (output || request.nearPointer)) position = spotOn(output, family, request.avoid);
    // A full output still gets the widget, on top of the others, where the user looks for it.
    if (!position && output)
        position = WidgetPosition{output->free.x - output->bounds.x + 24, output->free.y - output->bounds.y + 24,
                                  output->output};
    if (!position) position = defaultPosition(placed_.list().widgets.size());
    auto added = placed_.add({"", kind, family, extension, *position});
    if (!added) return cannotWrite();
    const auto& placed = *added;
    log(LogLevel::info, "placed widget ", placed.id, ": ", kind, " ", platform::toString(family), " from ",
        placed.extension);
    addWidget(placed);
    return placed.id;
}

HostResult<PlacedWidget> Host::remove(const std::string& id) {
    auto it = std::find_if(widgets_.begin(), widgets_.end(), [&](const auto& w) { return w->id == id; });
    if (it == widgets_.end()) return error(Code::unknownWidget, "no widget has the id \"" + id + "\"");
    // Where it showed, so that putting it back puts it there even if it never had a saved position.
    PlacedWidget removed = shown(**it);
    if (!placed_.remove(id)) return cannotWrite();
    widgets_.erase(it);
    screen_.remove(id);
    log(LogLevel::info, "removed widget ", id);
    scheduler_.forget(id);
    extensions_.stopIdle();
    return removed;
}

HostResult<std::string> Host::restore(const PlacedWidget& removed) {
    if (removed.position && !isPlausiblePosition(*removed.position))
        return error(Code::invalidArgument, "the position lies off any desktop");
    auto added = placed_.restore(removed);
    if (!added) return cannotWrite();
    log(LogLevel::info, "put widget ", added->id, " back: ", added->kind, " ", platform::toString(added->family));
    addWidget(*added);
    return added->id;
}

std::optional<Host::Sizes> Host::sizes(const std::string& id) const {
    const auto* widget = widgetNamed(id);
    if (!widget) return std::nullopt;
    const auto& placed = record(*widget);
    Sizes sizes{placed.family, {}};
    if (const auto* description = extensions_.description(placed.extension))
        if (const auto* declaration = description->find(placed.kind)) sizes.supported = declaration->supportedFamilies;
    return sizes;
}

HostResult<Done> Host::resize(const std::string& id, platform::WidgetFamily family) {
    auto* widget = widgetNamed(id);
    if (!widget) return error(Code::unknownWidget, "no widget has the id \"" + id + "\"");
    auto known = sizes(id);
    if (known->current == family) return Done{};
    const auto& families = known->supported;
    if (std::find(families.begin(), families.end(), family) == families.end())
        return error(Code::unsupportedFamily, families.empty() ? record(*widget).extension + " has not said which families it has yet"
                                                               : record(*widget).kind + " comes in " + familiesText(families));
    // The file first, then memory, as with every change; the position stays as saved.
    if (!placed_.setFamily(id, family)) return cannotWrite();
    log(LogLevel::info, "widget ", id, " resized to ", platform::toString(family));
    // The entries were made for the old family: the widget starts over with a placeholder.
    widget->entries.clear();
    widget->views.clear();
    widget->shownIndex.reset();
    widget->layout.reset();
    widget->hasTimeline = false;
    widget->askedForPlaceholder = false;
    scheduler_.forget(id);
    refresh(*widget);
    return Done{};
}

HostResult<Done> Host::move(const std::string& id, WidgetPosition position, MoveOrigin origin) {
    auto* widget = widgetNamed(id);
    if (!widget) return error(Code::unknownWidget, "no widget has the id \"" + id + "\"");
    if (!isPlausiblePosition(position)) return error(Code::invalidArgument, "the position lies off any desktop");
    auto where = [](const WidgetPosition& p) {
        return std::to_string(p.x) + "," + std::to_string(p.y) + (p.output.empty() ? "" : " on " + p.output);
    };
    if (origin == MoveOrigin::windowManager || origin == MoveOrigin::keptOnScreen) {
        // Where the screen shows a widget for now is not where the user put it: the file keeps that.
        log(LogLevel::info, "widget ", id, " shown at ", where(position),
            origin == MoveOrigin::windowManager ? " by the window manager" : " to keep it on screen", "; kept at ",
            where(record(*widget).position.value_or(widget->fallbackPosition)));
        return Done{};
    }
    bool movesWindow = origin == MoveOrigin::request && screen_.move;
    auto before = shown(*widget).position;
    if (movesWindow) position = screen_.move(id, position);
    // The file first, then memory: a position that cannot be kept is not taken, and the window goes
    // back, so that the screen, the host and the file agree.
    if (!placed_.move(id, position)) {
        if (movesWindow) screen_.move(id, *before);
        return cannotWrite();
    }
    log(LogLevel::info, "widget ", id, " moved to ", where(position), origin == MoveOrigin::user ? " by the user" : "");
    return Done{};
}

// Listing --------------------------------------------------------------------------------------

std::vector<WidgetDetails> Host::list() const {
    // The records are looked up by id once for all: searching the store per widget would make a
    // long list quadratic.
    std::unordered_map<std::string_view, const PlacedWidget*> records;
    for (const auto& placed : placed_.list().widgets) records.emplace(placed.id, &placed);
    std::vector<WidgetDetails> out;
    out.reserve(widgets_.size());
    for (const auto& widget : widgets_) out.push_back(detailsOf(*widget, *records.at(widget->id)));
    return out;
}

std::optional<WidgetDetails> Host::details(const std::string& id) const {
    // Without making every other widget's details, which a tool asking widget by widget would repeat.
    const auto* widget = widgetNamed(id);
    if (!widget) return std::nullopt;
    return detailsOf(*widget, record(*widget));
}

WidgetDetails Host::detailsOf(const WidgetSlot& slot, const PlacedWidget& record) const {
    const auto* widget = &slot;
    auto now = timers_->now();
    WidgetDetails details;
    details.placed = shown(*widget, record);
    if (screen_.shownAt)
        if (auto at = screen_.shownAt(widget->id)) details.placed.position = std::move(*at);
    if (widget->shownIndex && *widget->shownIndex < widget->entries.size()) {
        details.entryDate = widget->entries[*widget->shownIndex].date.millisecondsSince1970;
        const auto& view = widget->views[*widget->shownIndex];
        if (view && widget->layout) {
            // Live timers read as of now, as they would on screen; other texts as laid out.
            details.texts = widget->layout->texts;
            if (widget->layout->hasLiveTimers) {
                auto moved = platform::views::advanceLiveTimers(*widget->layout, now);
                details.texts = moved ? moved->texts
                                      : platform::views::layOut(*view, details.placed.family, now,
                                                                platform::views::PlacedBoxes::skipped)
                                            .texts;
            }
            for (const auto& button : widget->layout->buttons)
                details.buttons.push_back(
                    {button.accessibilityLabel, button.enabled, button.intent.type, button.frame});
        }
    }
    details.picture = screen_.picture(widget->id);
    switch (extensions_.phase(details.placed.extension)) {
    case ExtensionPhase::ready: details.status = "ready"; break;
    case ExtensionPhase::describing: details.status = "starting"; break;
    case ExtensionPhase::restarting: details.status = "restarting"; break;
    case ExtensionPhase::stopped: details.status = "stopped"; break;
    case ExtensionPhase::unavailable: details.status = "unavailable"; break;
    }
    return details;
}

// Rendering to a file --------------------------------------------------------------------------

platform::Status<HostError> Host::checkPictureFile(const std::filesystem::path& path, double scale) {
    if (!path.is_absolute() || path.filename().empty())
        return error(Code::invalidArgument, "the path must be absolute and name a file");
    // Any bus client may ask, and the rename that writes the picture would replace a device node too.
    std::error_code ec;
    auto existing = std::filesystem::symlink_status(path, ec);
    if (std::filesystem::exists(existing) && !std::filesystem::is_regular_file(existing))
        return error(Code::invalidArgument, path.string() + " exists and is not a regular file");
    if (!std::isfinite(scale) || scale < 0.25 || scale > 8)
        return error(Code::invalidArgument, "the scale must lie between 0.25 and 8");
    return Done{};
}

HostResult<Done> Host::writePicture(const platform::views::WidgetView& view,
                                    const platform::views::RenderOptions& options, const std::filesystem::path& path) {
    auto bytes = path.extension() == ".svg" ? platform::views::renderSvg(view, options)
                                            : platform::views::renderPng(view, options);
    if (!bytes) return error(Code::failed, "the picture could not be made");
    if (!platform::writeAtomically(path, *bytes)) return error(Code::failed, "cannot write " + path.string());
    return Done{};
}

void Host::render(const RenderRequest& request, std::function<void(HostResult<Done>)> done) {
    auto* widget = widgetNamed(request.id);
    if (!widget) return done(error(Code::unknownWidget, "no widget has the id \"" + request.id + "\""));
    if (auto checked = checkPictureFile(request.path, request.scale); !checked) return done(checked.error());

    auto family = record(*widget).family;
    const Timers& timers = *timers_;
    auto write = [request, family, &timers](const platform::views::WidgetView& view) {
        return writePicture(view, {family, request.scale, request.appearance, timers.now(), request.mode}, request.path);
    };

    if (request.mode == options_.renderingMode) {
        if (!widget->shownIndex || !widget->views[*widget->shownIndex])
            return done(error(Code::nothingToShow, "widget " + request.id + " has no picture yet"));
        return done(write(*widget->views[*widget->shownIndex]));
    }

    // Views are made for one rendering mode, so another mode needs the extension's help.
    auto extension = record(*widget).extension;
    auto unavailable = error(Code::unavailable, extension + " is not running");
    if (extensions_.phase(extension) != ExtensionPhase::ready) return done(unavailable);
    auto answered = [write, done, &timers](const RpcOutcome& outcome) {
        if (outcome.status != RpcOutcome::Status::answered)
            return done(error(Code::unavailable, "the extension did not answer: " + outcome.message));
        auto timeline = platform::protocol::decodeTimeline(*outcome.result);
        auto views = timeline ? readViews(timeline->entries) : platform::Error{timeline.error().message};
        if (!views) return done(error(Code::failed, "the extension's answer is malformed: " + views.error().message));
        auto index = entryShownAt(timeline->entries, timers.now());
        if (!index || !(*views)[*index]) return done(error(Code::nothingToShow, "the entry has no view"));
        done(write(*(*views)[*index]));
    };
    if (!extensions_.send(extension, platform::protocol::method::getTimeline, requestParams(*widget, request.mode),
                          options_.requestTimeout, answered))
        done(unavailable);
}

// Presses ----------------------------------------------------------------------------------------

HostResult<std::string> Host::press(const std::string& id, const std::string& label) {
    auto* widget = widgetNamed(id);
    if (!widget) return error(Code::unknownWidget, "no widget has the id \"" + id + "\"");
    if (!widget->layout) return error(Code::nothingToShow, "widget " + id + " shows nothing yet");
    const auto* button = buttonNamed(widget->layout->buttons, label);
    if (!button) {
        std::string shown;
        for (const auto& b : widget->layout->buttons) shown += (shown.empty() ? "\"" : ", \"") + b.accessibilityLabel + "\"";
        return error(Code::unknownLabel, "widget " + id + " shows no button \"" + label + "\"" +
                                             (shown.empty() ? "; it has no buttons" : "; its buttons: " + shown));
    }
    auto target = pressOn(*button);
    if (std::holds_alternative<DisabledButton>(target))
        return error(Code::disabled, "\"" + button->accessibilityLabel + "\" is disabled");
    log(LogLevel::info, "widget ", id, ": pressed \"", button->accessibilityLabel, "\"");
    return perform(*widget, std::get<RunIntent>(target).intent);
}

HostResult<PressResult> Host::pressAt(const std::string& id, double x, double y) {
    auto* widget = widgetNamed(id);
    if (!widget) return error(Code::unknownWidget, "no widget has the id \"" + id + "\"");
    if (!std::isfinite(x) || !std::isfinite(y)) return error(Code::invalidArgument, "the point must be finite");
    // Outside every button the link opens, but a point off the widget is the caller's mistake.
    auto size = platform::views::widgetSize(record(*widget).family);
    if (!platform::views::Rect{0, 0, size.width, size.height}.contains(x, y))
        return error(Code::invalidArgument, "the point lies outside the widget, which is " +
                                                std::to_string(static_cast<int>(size.width)) + " × " +
                                                std::to_string(static_cast<int>(size.height)) + " points");
    if (!widget->layout) return error(Code::nothingToShow, "widget " + id + " shows nothing yet");
    auto target = widgethost::pressAt(*widget->layout, x, y);
    if (auto* disabled = std::get_if<DisabledButton>(&target))
        return error(Code::disabled, "\"" + disabled->label + "\" is disabled");
    if (auto* run = std::get_if<RunIntent>(&target)) {
        log(LogLevel::info, "widget ", id, ": clicked \"", run->label, "\"");
        auto performed = perform(*widget, run->intent);
        if (!performed) return performed.error();
        return PressResult{PressResult::Action::perform, run->intent.type};
    }
    if (auto* link = std::get_if<OpenLink>(&target)) {
        log(LogLevel::info, "widget ", id, ": clicked outside its buttons; opening ", link->url);
        openLink(link->url);
        return PressResult{PressResult::Action::open, link->url};
    }
    return PressResult{};
}

HostResult<PressResult> Host::activate(const std::string& id, const PressTarget& target) {
    auto* widget = widgetNamed(id);
    if (!widget) return error(Code::unknownWidget, "no widget has the id \"" + id + "\"");
    if (const auto* run = std::get_if<RunIntent>(&target)) {
        log(LogLevel::info, "widget ", id, ": clicked \"", run->label, "\"");
        auto performed = perform(*widget, run->intent);
        if (!performed) return performed.error();
        return PressResult{PressResult::Action::perform, run->intent.type};
    }
    if (const auto* link = std::get_if<OpenLink>(&target)) {
        if (!isOpenableLink(link->url)) return error(Code::invalidArgument, "not a link to open: " + link->url);
        log(LogLevel::info, "widget ", id, ": clicked outside its buttons; opening ", link->url);
        openLink(link->url);
        return PressResult{PressResult::Action::open, link->url};
    }
    return PressResult{};
}

HostResult<std::string> Host::perform(WidgetSlot& widget, const platform::IntentValue& intent) {
    std::string extension = record(widget).extension;
    if (extensions_.phase(extension) != ExtensionPhase::ready)
        return error(Code::unavailable, extension + " is not running; try again in a moment");
    std::string type = intent.type;
    bool sent = extensions_.send(
        extension, platform::protocol::method::perform, platform::protocol::toJson(intent), options_.performTimeout,
        [this, extension, type](const RpcOutcome& outcome) {
            if (outcome.status == RpcOutcome::Status::answered)
                log(LogLevel::info, type, " finished");
            else
                log(LogLevel::warning, type, " did not finish: ", outcome.message);
            // What the intent changed shows through a new timeline.
            for (auto& w : widgets_)
                if (record(*w).extension == extension) requestReload(*w);
        });
    if (!sent) return error(Code::unavailable, extension + " is not running; try again in a moment");
    return type;
}

void Host::openLink(const std::string& url) { startDetached({options_.urlOpener, url}, "the URL opener"); }

void Host::startDetached(const std::vector<std::string>& command, const std::string& what) {
    platform::ChildOptions detached;
    detached.ownSession = true;
    detached.environment = options_.childEnvironment;
    auto started = platform::startChild(command, detached);
    if (!started) {
        log(LogLevel::warning, "cannot start ", what, " (", command.front(), "): ", started.error().message);
        return;
    }
    pid_t child = *started;
    sd_event_source* watch = nullptr;
    // Without a watch it stays a zombie until the host ends; waiting here could block the host for as
    // long as the program runs (the gallery does until it is closed).
    if (sd_event_add_child(loop_, &watch, child, WEXITED, childEnded, nullptr) < 0)
        log(LogLevel::warning, "cannot watch ", what, " (pid ", child, ")");
}

}  // namespace widgethost
