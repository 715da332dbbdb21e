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
      extensions_(loop, *timers_, withEnvironment(options_.limits, options_.childEnvironment), options_.requestTimeout,
                  {[this](const Extension& extension) { return inUse(extension); },
                   [this](Extension& extension) { extensionReady(extension); },
                   [this](Extension& extension) { extensionEnded(extension); }}) {}

Host::~Host() {
    // Widgets first: their requests refer to the slots; extensions are killed by their destructors.
    widgets_.clear();
    for (auto* watch : directoryWatches_) sd_event_source_disable_unref(watch);
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
    extensions_.rescan(options_.extensionDirectories);
    std::vector<std::string> problems;
    placed_.load(&problems);
    for (const auto& problem : problems) log(LogLevel::warning, "placed widgets: ", problem);
    log(LogLevel::info, placed_.list().widgets.size(), " placed widget(s) from ", options_.placedWidgetsFile.string(),
        "; shown as ", screen_.description);
    for (const auto& placed : placed_.list().widgets) addWidget(placed);
    watchExtensionDirectories();
    if (!clockWatch_.start(loop_, [this] { clockChanged(); }))
        log(LogLevel::warning, "cannot watch for clock changes: ", std::strerror(errno));
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

bool Host::inUse(const Extension& extension) const {
    if (shuttingDown_) return false;
    if ((!pendingPlaces_.empty() || !pendingKinds_.empty()) && !extension.description) return true;
    if (heldForGallery_) return true;
    const auto& id = extension.manifest.bundleIdentifier;
    if (std::any_of(readyWaiters_.begin(), readyWaiters_.end(), [&](const auto& w) { return w.first == id; }))
        return true;
    return std::any_of(widgets_.begin(), widgets_.end(), [&](const auto& widget) {
        return widget->placed.extension == extension.manifest.bundleIdentifier;
    });
}

void Host::extensionReady(Extension& extension) {
    for (auto& widget : widgets_)
        if (widget->placed.extension == extension.manifest.bundleIdentifier) refresh(*widget);
    settlePendingPlaces();
    settlePendingKinds();
    for (auto& then : takeReadyWaiters(extension.manifest.bundleIdentifier)) then(&extension);
    extensions_.stopIdle();
}

void Host::extensionEnded(Extension& extension) {
    for (auto& widget : widgets_)
        if (widget->placed.extension == extension.manifest.bundleIdentifier) widget->requestInFlight = false;
    // A placement waiting for this extension's description should not wait through the back-off.
    settlePendingPlaces();
    settlePendingKinds();
    const auto& id = extension.manifest.bundleIdentifier;
    bool waited = std::any_of(readyWaiters_.begin(), readyWaiters_.end(), [&](const auto& w) { return w.first == id; });
    if (waited && extension.phase == Extension::Phase::stopped && !shuttingDown_) {
        // Stopped as idle just before someone asked: start it again, outside its process's own callback.
        relaunch_ = timers_->after(std::chrono::microseconds(0), [this, id] {
            if (auto* again = extensions_.find(id)) extensions_.ensureRunning(*again);
        });
    } else if (waited) {
        // A crash is not waited out: a broken extension would otherwise be restarted for as long as
        // a question about it is open.
        for (auto& then : takeReadyWaiters(id)) then(nullptr);
    }
    finishShutDownWhenIdle();
}

// Widgets and timelines ------------------------------------------------------------------------

Host::WidgetSlot* Host::widgetNamed(const std::string& id) {
    for (auto& widget : widgets_)
        if (widget->placed.id == id) return widget.get();
    return nullptr;
}

const Host::WidgetSlot* Host::widgetNamed(const std::string& id) const {
    for (const auto& widget : widgets_)
        if (widget->placed.id == id) return widget.get();
    return nullptr;
}

void Host::addWidget(PlacedWidget placed) {
    auto widget = std::make_unique<WidgetSlot>();
    // A widget from before positions were kept gets one, which it keeps once it is moved.
    if (!placed.position) placed.position = defaultPosition(widgets_.size());
    widget->placed = std::move(placed);
    auto& added = *widget;
    widgets_.push_back(std::move(widget));
    if (!extensions_.find(added.placed.extension))
        log(LogLevel::warning, "widget ", added.placed.id, ": extension ", added.placed.extension,
            " is not installed; the widget stays placed but shows nothing");
    refresh(added);
}

json Host::requestParams(const WidgetSlot& widget, platform::WidgetRenderingMode mode) const {
    return platform::protocol::toJson(platform::protocol::EntryRequest{widget.placed.kind, widget.placed.family, false, mode});
}

void Host::refresh(WidgetSlot& widget) {
    auto* slot = extensions_.find(widget.placed.extension);
    if (!slot || shuttingDown_) return;
    if (slot->phase != Extension::Phase::ready) {
        // Every widget of an extension is refreshed once it has described itself.
        extensions_.ensureRunning(*slot);
        return;
    }
    if (widget.requestInFlight) {
        widget.reloadAgain = true;
        return;
    }
    std::string id = widget.placed.id;
    auto params = requestParams(widget, options_.renderingMode);
    if (widget.entries.empty() && !widget.askedForPlaceholder) {
        // Something to show at once, while the real timeline is being made.
        widget.askedForPlaceholder = true;
        slot->process->send(method::placeholder, params, options_.requestTimeout,
                            [this, id](const RpcOutcome& outcome) { placeholderArrived(id, outcome); });
    }
    widget.requestInFlight = slot->process->send(
        method::getTimeline, params, options_.requestTimeout,
        [this, id](const RpcOutcome& outcome) { timelineArrived(id, outcome); });
}

bool Host::readViews(const std::vector<EncodedEntry>& entries, Views& views, std::string* why) {
    Views read;
    for (const auto& entry : entries) {
        read.emplace_back();
        if (!entry.view) continue;
        read.back() = platform::views::WidgetView::fromJson(*entry.view, why);
        if (!read.back()) return false;
    }
    views = std::move(read);
    return true;
}

void Host::placeholderArrived(const std::string& id, const RpcOutcome& outcome) {
    auto* widget = widgetNamed(id);
    if (!widget || widget->hasTimeline || outcome.status != RpcOutcome::Status::answered) return;
    auto entry = platform::protocol::decodeEntry(*outcome.result);
    std::string why = entry ? "" : entry.error().message;
    Views views;
    if (!entry || !readViews({*entry}, views, &why)) {
        log(LogLevel::warning, "widget ", id, ": malformed placeholder ignored: ", why);
        return;
    }
    widget->entries = {std::move(*entry)};
    widget->views = std::move(views);
    widget->shownIndex.reset();
    draw(*widget);
}

void Host::timelineArrived(const std::string& id, const RpcOutcome& outcome) {
    auto* widget = widgetNamed(id);
    if (!widget) return;
    widget->requestInFlight = false;
    auto* slot = extensions_.find(widget->placed.extension);

    switch (outcome.status) {
    case RpcOutcome::Status::ended: return;  // asked again once the extension is back
    case RpcOutcome::Status::timedOut:
        log(LogLevel::warning, "widget ", id, ": ", widget->placed.extension,
            " did not answer in time; keeping the last entries and restarting it");
        if (slot) extensions_.kill(*slot);
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
    Views views;
    if (outcome.status == RpcOutcome::Status::failed) {
        log(LogLevel::warning, "widget ", id, ": the extension refused the timeline: ", why);
        scheduler_.answerRefused(id);
    } else if (!timeline || !readViews(timeline->entries, views, &why)) {
        log(LogLevel::warning, "widget ", id, ": malformed timeline ignored (", why, "); keeping the last entries");
        scheduler_.answerRefused(id);
    } else {
        widget->entries = timeline->entries;
        widget->views = std::move(views);
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
        if (isExtensionOf(widget->placed.extension, applicationId)) {
            requestReload(*widget);
            ++count;
        }
    log(LogLevel::debug, "reload for ", applicationId, ": ", count, " widget(s)");
}

std::vector<PlacedWidget> Host::configurations(const std::string& applicationId) const {
    std::vector<PlacedWidget> out;
    for (const auto& widget : widgets_)
        if (isExtensionOf(widget->placed.extension, applicationId)) out.push_back(widget->placed);
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

std::string Host::titleOf(const WidgetSlot& widget) const {
    if (const auto* extension = extensions_.find(widget.placed.extension); extension && extension->description)
        if (const auto* declaration = extension->description->find(widget.placed.kind);
            declaration && !declaration->displayName.empty())
            return declaration->displayName;
    return widget.placed.kind;
}

}  // namespace widgethost
