#include "Host/WidgetHost/Host.hpp"

#include <sys/wait.h>

#include <algorithm>
#include <cstring>

#include <nlohmann/json.hpp>

#include "Host/WidgetHost/Log.hpp"
#include "Host/WidgetHost/PictureScreen.hpp"
#include "Host/WidgetHost/RestartBackoff.hpp"

namespace widgethost {
namespace {

using nlohmann::json;
using platform::Date;
namespace method = platform::protocol::method;

ExtensionLimits withEnvironment(ExtensionLimits limits, const std::optional<std::vector<std::string>>& environment) {
    limits.environment = environment;
    return limits;
}

}  // namespace

Host::Host(sd_event* loop, HostOptions options, std::unique_ptr<Timers> timers)
    : loop_(loop),
      options_(std::move(options)),
      timers_(timers ? std::move(timers) : eventLoopTimers(loop)),
      scheduler_(*timers_, {[this](const std::string& id) {
                                if (auto* widget = widgetNamed(id)) refresh(*widget);
                            },
                            [this](const std::string& id) {
                                if (auto* widget = widgetNamed(id)) draw(*widget);
                            }}),
      screen_(pictureScreen({options_.outputDirectory, options_.scale, options_.appearance, options_.renderingMode},
                            [this](const std::string& id, const std::string& picture) {
                                if (drawn_) drawn_(id, picture);
                            })),
      placed_(options_.placedWidgetsFile),
      extensions_(loop, *timers_, {options_.extensionDirectories, withEnvironment(options_.limits, options_.childEnvironment), options_.requestTimeout},
                  {[this](const std::string& extension) { return inUse(extension); },
                   [this](const std::string& extension) { extensionReady(extension); },
                   [this](const std::string& extension) { extensionEnded(extension); },
                   [this] {
                       if (kindsChanged_) kindsChanged_();
                   }}) {}

Host::~Host() {
    // Widgets first: their requests refer to the slots; extensions are killed by their destructors.
    widgets_.clear();
}

WidgetPosition defaultPosition(std::size_t index) {
    // Four widgets of 170 points high to a column, with room between them, from the top-left corner.
    constexpr int margin = 24;
    constexpr int columnWidth = 364 + margin;
    constexpr int rowHeight = 170 + margin;
    constexpr std::size_t perColumn = 4;
    return {margin + static_cast<int>(index / perColumn % 4) * columnWidth,
            margin + static_cast<int>(index % perColumn) * rowHeight};
}

void Host::setDrawnHandler(std::function<void(const std::string&, const std::string&)> handler) {
    drawn_ = std::move(handler);
}

void Host::start() {
    extensions_.rescan();
    std::vector<std::string> problems;
    placed_.load(&problems);
    for (const auto& problem : problems) log(LogLevel::warning, "placed widgets: ", problem);
    log(LogLevel::info, placed_.list().widgets.size(), " placed widget(s) from ", options_.placedWidgetsFile.string(),
        "; shown as ", screen_.description);
    for (const auto& placed : placed_.list().widgets) addWidget(placed);
    extensions_.watchDirectories();
    auto watching = clockWatch_.start(loop_, [this] { clockChanged(); });
    if (!watching.clock)
        log(LogLevel::warning, "cannot watch for clock changes: ", watching.clock.error().message, ": ",
            std::strerror(watching.clock.error().errnum));
    if (!watching.zone)
        log(LogLevel::warning, "cannot watch for time zone changes: ", watching.zone.error().message, ": ",
            std::strerror(watching.zone.error().errnum));
}

void Host::shutDown(std::function<void()> finished) {
    shuttingDown_ = true;
    shutDownFinished_ = std::move(finished);
    extensions_.shutDown();
    finishShutDownWhenIdle();
}

void Host::finishShutDownWhenIdle() {
    if (!shuttingDown_ || !shutDownFinished_) return;
    if (!extensions_.anyRunning()) std::exchange(shutDownFinished_, nullptr)();
}

// Extensions -------------------------------------------------------------------------------------

bool Host::inUse(const std::string& extension) const {
    if (shuttingDown_) return false;
    if ((!pendingPlaces_.empty() || !pendingKinds_.empty()) && !extensions_.description(extension)) return true;
    return std::any_of(widgets_.begin(), widgets_.end(),
                       [&](const auto& widget) { return record(*widget).extension == extension; });
}

void Host::extensionReady(const std::string& extension) {
    for (auto& widget : widgets_)
        if (record(*widget).extension == extension) refresh(*widget);
    settlePendingPlaces();
    settlePendingKinds();
}

void Host::extensionEnded(const std::string& extension) {
    for (auto& widget : widgets_)
        if (record(*widget).extension == extension) widget->requestInFlight = false;
    // A placement waiting for this extension's description should not wait through the back-off.
    settlePendingPlaces();
    settlePendingKinds();
    finishShutDownWhenIdle();
}

// Widgets and timelines ------------------------------------------------------------------------

Host::WidgetSlot* Host::widgetNamed(const std::string& id) {
    for (auto& widget : widgets_)
        if (widget->id == id) return widget.get();
    return nullptr;
}

const Host::WidgetSlot* Host::widgetNamed(const std::string& id) const {
    for (const auto& widget : widgets_)
        if (widget->id == id) return widget.get();
    return nullptr;
}

const PlacedWidget& Host::record(const WidgetSlot& widget) const {
    // Every slot has its record: both are added and removed together, the record first.
    return *placed_.list().find(widget.id);
}

PlacedWidget Host::shown(const WidgetSlot& widget) const { return shown(widget, record(widget)); }

PlacedWidget Host::shown(const WidgetSlot& widget, const PlacedWidget& record) {
    PlacedWidget placed = record;
    if (!placed.position) placed.position = widget.fallbackPosition;
    return placed;
}

void Host::addWidget(const PlacedWidget& placed) {
    auto widget = std::make_unique<WidgetSlot>();
    widget->id = placed.id;
    // A widget from before positions were kept shows at a default one, which it keeps once it is moved.
    widget->fallbackPosition = defaultPosition(widgets_.size());
    auto& added = *widget;
    widgets_.push_back(std::move(widget));
    if (!extensions_.manifest(placed.extension))
        log(LogLevel::warning, "widget ", placed.id, ": extension ", placed.extension,
            " is not installed; the widget stays placed but shows nothing");
    refresh(added);
}

json Host::requestParams(const WidgetSlot& widget, platform::WidgetRenderingMode mode) const {
    const auto& placed = record(widget);
    return platform::protocol::toJson(platform::protocol::EntryRequest{placed.kind, placed.family, false, mode});
}

void Host::refresh(WidgetSlot& widget) {
    std::string extension = record(widget).extension;
    if (!extensions_.manifest(extension) || shuttingDown_) return;
    if (extensions_.phase(extension) != ExtensionPhase::ready) {
        // Every widget of an extension is refreshed once it has described itself.
        extensions_.ensureRunning(extension);
        return;
    }
    if (widget.requestInFlight) {
        widget.reloadAgain = true;
        return;
    }
    std::string id = widget.id;
    auto family = record(widget).family;
    auto params = requestParams(widget, options_.renderingMode);
    if (widget.entries.empty() && !widget.askedForPlaceholder) {
        // Something to show at once, while the real timeline is being made.
        widget.askedForPlaceholder = true;
        extensions_.send(extension, method::placeholder, params, options_.requestTimeout,
                         [this, id, family](const RpcOutcome& outcome) { placeholderArrived(id, family, outcome); });
    }
    widget.requestInFlight =
        extensions_.send(extension, method::getTimeline, params, options_.requestTimeout,
                         [this, id, family](const RpcOutcome& outcome) { timelineArrived(id, family, outcome); });
}

platform::Result<Host::Views> Host::readViews(const std::vector<EncodedEntry>& entries) {
    Views read;
    for (const auto& entry : entries) {
        read.emplace_back();
        if (!entry.view) continue;
        auto view = platform::views::WidgetView::fromJson(*entry.view);
        if (!view) return view.error();
        read.back() = std::move(view).value();
    }
    return read;
}

void Host::placeholderArrived(const std::string& id, platform::WidgetFamily family, const RpcOutcome& outcome) {
    auto* widget = widgetNamed(id);
    if (!widget || widget->hasTimeline || outcome.status != RpcOutcome::Status::answered) return;
    if (record(*widget).family != family) return;  // asked before a resize
    auto entry = platform::protocol::decodeEntry(*outcome.result);
    auto views = entry ? readViews({*entry}) : platform::Error{entry.error().message};
    if (!views) {
        log(LogLevel::warning, "widget ", id, ": malformed placeholder ignored: ", views.error().message);
        return;
    }
    widget->entries = {std::move(*entry)};
    widget->views = std::move(*views);
    widget->shownIndex.reset();
    draw(*widget);
}

void Host::timelineArrived(const std::string& id, platform::WidgetFamily family, const RpcOutcome& outcome) {
    auto* widget = widgetNamed(id);
    if (!widget) return;
    widget->requestInFlight = false;
    std::string extension = record(*widget).extension;
    // Views are made for one family: an answer asked before a resize is of no use any more.
    if (record(*widget).family != family) {
        widget->reloadAgain = false;
        if (outcome.status != RpcOutcome::Status::ended) refresh(*widget);
        return;
    }

    switch (outcome.status) {
    case RpcOutcome::Status::ended: return;  // asked again once the extension is back
    case RpcOutcome::Status::timedOut:
        log(LogLevel::warning, "widget ", id, ": ", extension,
            " did not answer in time; keeping the last entries and restarting it");
        extensions_.restart(extension);
        return;
    case RpcOutcome::Status::failed:
    case RpcOutcome::Status::answered: break;
    }

    std::string why = outcome.message;
    std::optional<platform::EncodedTimeline> timeline;
    if (outcome.status == RpcOutcome::Status::answered) {
        auto decoded = platform::protocol::decodeTimeline(*outcome.result);
        if (decoded)
            timeline = std::move(*decoded);
        else
            why = decoded.error().message;
    }
    auto views = timeline ? readViews(timeline->entries) : platform::Error{why};
    if (outcome.status == RpcOutcome::Status::failed) {
        log(LogLevel::warning, "widget ", id, ": the extension refused the timeline: ", why);
        scheduler_.answerRefused(id);
    } else if (!views) {
        log(LogLevel::warning, "widget ", id, ": malformed timeline ignored (", views.error().message,
            "); keeping the last entries");
        scheduler_.answerRefused(id);
    } else {
        widget->entries = timeline->entries;
        widget->views = std::move(*views);
        widget->hasTimeline = true;
        widget->shownIndex.reset();
        log(LogLevel::debug, "widget ", id, ": timeline with ", widget->entries.size(), " entries");
        scheduler_.timelineArrived(id, *timeline);
        draw(*widget);
    }
    if (widget->reloadAgain) {
        widget->reloadAgain = false;
        refresh(*widget);
    }
}

void Host::reloadApplication(const std::string& applicationId) {
    size_t count = 0;
    for (auto& widget : widgets_)
        if (isExtensionOf(record(*widget).extension, applicationId)) {
            requestReload(*widget);
            ++count;
        }
    log(LogLevel::debug, "reload for ", applicationId, ": ", count, " widget(s)");
}

std::vector<PlacedWidget> Host::configurations(const std::string& applicationId) const {
    std::vector<PlacedWidget> out;
    for (const auto& widget : widgets_)
        if (isExtensionOf(record(*widget).extension, applicationId)) out.push_back(shown(*widget));
    return out;
}

void Host::reloadAll() {
    for (auto& widget : widgets_) requestReload(*widget);
}

void Host::clockChanged() {
    log(LogLevel::info, "the clock or the time zone changed; asking every widget again");
    reevaluateAll();
}

void Host::systemResumed() {
    log(LogLevel::info, "the system woke up; asking every widget again");
    reevaluateAll();
}

void Host::reevaluateAll() {
    // The entry to show depends on the time, and so does what the extension would answer now.
    for (auto& widget : widgets_) {
        widget->shownIndex.reset();
        draw(*widget);
        requestReload(*widget);
    }
}

void Host::setAppearance(platform::views::Appearance appearance) {
    if (options_.appearance == appearance) return;
    options_.appearance = appearance;
    log(LogLevel::info, "appearance: ", appearance == platform::views::Appearance::dark ? "dark" : "light");
    screen_.setAppearance(appearance);
}

std::string Host::titleOf(const WidgetSlot& widget) const { return kindName(record(widget)); }

std::string Host::kindName(const PlacedWidget& placed) const {
    if (const auto* description = extensions_.description(placed.extension))
        if (const auto* declaration = description->find(placed.kind); declaration && !declaration->displayName.empty())
            return declaration->displayName;
    return placed.kind;
}

}  // namespace widgethost
