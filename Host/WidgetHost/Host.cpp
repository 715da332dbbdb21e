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

// An extension that ran this long before it ended starts again without back-off.
constexpr auto stableRun = std::chrono::seconds(30);
constexpr auto stopGrace = std::chrono::seconds(3);

std::string describeExit(int code, int status) {
    switch (code) {
    case CLD_EXITED: return "exited with status " + std::to_string(status);
    case CLD_KILLED:
    case CLD_DUMPED: {
        const char* name = sigabbrev_np(status);
        return "was killed by signal " + (name ? "SIG" + std::string(name) : std::to_string(status));
    }
    }
    return "ended";
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
      screen_(pictureScreen({options_.outputDirectory, options_.scale, options_.appearance},
                            [this](const std::string& id, const std::string& picture) {
                                if (drawn_) drawn_(id, picture);
                            })),
      placed_(options_.placedWidgetsFile) {}

Host::~Host() {
    // Widgets first: their timers refer to the slots, and extensions are killed by their destructors.
    widgets_.clear();
    extensions_.clear();
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
    rescanExtensions();
    std::vector<std::string> problems;
    placed_.load(&problems);
    for (const auto& problem : problems) log(LogLevel::warning, "placed widgets: ", problem);
    log(LogLevel::info, placed_.list().widgets.size(), " placed widget(s) from ", options_.placedWidgetsFile.string(),
        "; pictures in ", options_.outputDirectory.string());
    for (const auto& placed : placed_.list().widgets) addWidget(placed);
    if (!clockWatch_.start(loop_, [this] { clockChanged(); }))
        log(LogLevel::warning, "cannot watch for clock changes: ", std::strerror(errno));
}

void Host::shutDown(std::function<void()> finished) {
    shuttingDown_ = true;
    shutDownFinished_ = std::move(finished);
    for (auto& slot : extensions_) {
        slot->restartTimer.reset();
        if (slot->process && slot->process->running()) {
            slot->stopping = true;
            slot->process->stop(stopGrace);
        }
    }
    finishShutDownWhenIdle();
}

void Host::finishShutDownWhenIdle() {
    if (!shuttingDown_ || !shutDownFinished_) return;
    bool running = std::any_of(extensions_.begin(), extensions_.end(),
                               [](const auto& slot) { return slot->process && slot->process->running(); });
    if (!running) std::exchange(shutDownFinished_, nullptr)();
}

// Extensions -------------------------------------------------------------------------------------

void Host::rescanExtensions() {
    std::vector<std::string> problems;
    auto found = findExtensions(options_.extensionDirectories, &problems);
    for (const auto& problem : problems) log(LogLevel::warning, "extension manifest ", problem);
    for (auto& manifest : found) {
        if (auto* slot = extensionNamed(manifest.bundleIdentifier)) {
            // A program that was reinstalled elsewhere is used from its next start on.
            slot->manifest = std::move(manifest);
            continue;
        }
        log(LogLevel::info, "extension ", manifest.bundleIdentifier, " at ", manifest.executable.string());
        auto slot = std::make_unique<ExtensionSlot>();
        slot->manifest = std::move(manifest);
        extensions_.push_back(std::move(slot));
    }
}

Host::ExtensionSlot* Host::extensionNamed(const std::string& bundleIdentifier) {
    for (auto& slot : extensions_)
        if (slot->manifest.bundleIdentifier == bundleIdentifier) return slot.get();
    return nullptr;
}

bool Host::inUse(const ExtensionSlot& slot) const {
    if (shuttingDown_) return false;
    if (!pendingPlaces_.empty() && !slot.description) return true;
    return std::any_of(widgets_.begin(), widgets_.end(), [&](const auto& widget) {
        return widget->placed.extension == slot.manifest.bundleIdentifier;
    });
}

void Host::ensureRunning(ExtensionSlot& slot) {
    if (shuttingDown_) return;
    switch (slot.phase) {
    case ExtensionSlot::Phase::stopped:
    case ExtensionSlot::Phase::unavailable: launch(slot); return;
    case ExtensionSlot::Phase::describing:
    case ExtensionSlot::Phase::ready:
    case ExtensionSlot::Phase::restarting: return;
    }
}

void Host::launch(ExtensionSlot& slot) {
    slot.restartTimer.reset();
    std::string id = slot.manifest.bundleIdentifier;
    if (!slot.process) {
        slot.process = std::make_unique<ExtensionProcess>(loop_, slot.manifest.executable, options_.limits,
                                                          [this, id](int code, int status) {
                                                              extensionEnded(id, describeExit(code, status));
                                                          });
    }
    std::string why;
    if (!slot.process->start(&why)) {
        slot.process.reset();
        extensionEnded(id, "could not start: " + why);
        return;
    }
    slot.stopping = false;
    slot.phase = ExtensionSlot::Phase::describing;
    slot.startedAt = timers_->monotonicNow();
    log(LogLevel::info, "started ", id, " (pid ", slot.process->pid(), ")");
    slot.process->send(method::describe, json::object(), options_.requestTimeout,
                       [this, id](const RpcOutcome& outcome) { described(id, outcome); });
}

void Host::described(const std::string& bundleIdentifier, const RpcOutcome& outcome) {
    auto* slot = extensionNamed(bundleIdentifier);
    if (!slot || outcome.status == RpcOutcome::Status::ended) return;  // the end is handled on its own
    std::string why = outcome.message;
    auto description = outcome.status == RpcOutcome::Status::answered ? platform::protocol::decodeDescription(*outcome.result, &why)
                                                                      : std::nullopt;
    if (!description) {
        log(LogLevel::warning, bundleIdentifier, " did not describe itself (", why, "); stopping it");
        slot->process->kill();
        return;
    }
    if (description->bundleIdentifier && *description->bundleIdentifier != bundleIdentifier)
        log(LogLevel::warning, bundleIdentifier, " calls itself ", *description->bundleIdentifier,
            "; its manifest's name is used");
    std::string kinds;
    for (const auto& widget : description->widgets) kinds += (kinds.empty() ? "" : ", ") + widget.kind;
    log(LogLevel::info, bundleIdentifier, " is ready; widget kinds: ", kinds.empty() ? "none" : kinds);
    slot->description = std::move(*description);
    slot->phase = ExtensionSlot::Phase::ready;

    for (auto& widget : widgets_)
        if (widget->placed.extension == bundleIdentifier) refresh(*widget);
    settlePendingPlaces();
    stopIdleExtensions();
}

void Host::extensionEnded(const std::string& bundleIdentifier, std::string how) {
    auto* slot = extensionNamed(bundleIdentifier);
    if (!slot) return;
    bool expected = slot->stopping || shuttingDown_;
    slot->stopping = false;
    for (auto& widget : widgets_)
        if (widget->placed.extension == bundleIdentifier) widget->requestInFlight = false;

    if (expected) {
        log(LogLevel::info, bundleIdentifier, " ", how);
        slot->phase = ExtensionSlot::Phase::stopped;
        settlePendingPlaces();
        finishShutDownWhenIdle();
        return;
    }
    if (timers_->monotonicNow() - slot->startedAt >= stableRun) slot->failures = 0;
    ++slot->failures;
    if (!inUse(*slot)) {
        log(LogLevel::warning, bundleIdentifier, " ", how);
        slot->phase = ExtensionSlot::Phase::unavailable;
        settlePendingPlaces();
        return;
    }
    auto delay = restartDelay(slot->failures);
    log(LogLevel::warning, bundleIdentifier, " ", how, "; starting it again in ", delay.count(), " ms",
        " (the widgets keep their last pictures)");
    slot->phase = ExtensionSlot::Phase::restarting;
    slot->restartTimer = timers_->after(delay, [this, bundleIdentifier] {
        if (auto* again = extensionNamed(bundleIdentifier)) {
            again->phase = ExtensionSlot::Phase::stopped;
            if (inUse(*again)) launch(*again);
        }
    });
    // A placement waiting for this extension's description should not wait through the back-off.
    settlePendingPlaces();
}

void Host::stopIdleExtensions() {
    for (auto& slot : extensions_) {
        if (inUse(*slot) || !slot->process || !slot->process->running() || slot->stopping) continue;
        if (slot->phase != ExtensionSlot::Phase::ready) continue;
        log(LogLevel::info, "stopping ", slot->manifest.bundleIdentifier, ": no widget of it is placed");
        slot->stopping = true;
        slot->process->stop(stopGrace);
    }
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
    if (!extensionNamed(added.placed.extension))
        log(LogLevel::warning, "widget ", added.placed.id, ": extension ", added.placed.extension,
            " is not installed; the widget stays placed but shows nothing");
    refresh(added);
}

json Host::requestParams(const WidgetSlot& widget, platform::WidgetRenderingMode mode) const {
    return platform::protocol::toJson(platform::protocol::EntryRequest{widget.placed.kind, widget.placed.family, false, mode});
}

void Host::refresh(WidgetSlot& widget) {
    auto* slot = extensionNamed(widget.placed.extension);
    if (!slot || shuttingDown_) return;
    if (slot->phase != ExtensionSlot::Phase::ready) {
        // Every widget of an extension is refreshed once it has described itself.
        ensureRunning(*slot);
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
    std::string why;
    auto entry = platform::protocol::decodeEntry(*outcome.result, &why);
    Views views;
    if (!entry || !readViews({*entry}, views, &why)) {
        log(LogLevel::warning, "widget ", id, ": malformed placeholder ignored: ", why);
        return;
    }
    widget->entries = {std::move(*entry)};
    widget->views = std::move(views);
    draw(*widget);
}

void Host::timelineArrived(const std::string& id, const RpcOutcome& outcome) {
    auto* widget = widgetNamed(id);
    if (!widget) return;
    widget->requestInFlight = false;
    auto* slot = extensionNamed(widget->placed.extension);

    switch (outcome.status) {
    case RpcOutcome::Status::ended: return;  // asked again once the extension is back
    case RpcOutcome::Status::timedOut:
        log(LogLevel::warning, "widget ", id, ": ", widget->placed.extension,
            " did not answer in time; keeping the last entries and restarting it");
        if (slot && slot->process) slot->process->kill();
        return;
    case RpcOutcome::Status::failed:
    case RpcOutcome::Status::answered: break;
    }

    std::string why = outcome.message;
    auto timeline = outcome.status == RpcOutcome::Status::answered ? platform::protocol::decodeTimeline(*outcome.result, &why) : std::nullopt;
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
    log(LogLevel::info, "the clock was set; asking every widget again");
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
    for (const auto& slot : extensions_)
        if (slot->manifest.bundleIdentifier == widget.placed.extension && slot->description)
            if (const auto* declaration = slot->description->find(widget.placed.kind);
                declaration && !declaration->displayName.empty())
                return declaration->displayName;
    return widget.placed.kind;
}

}  // namespace widgethost
