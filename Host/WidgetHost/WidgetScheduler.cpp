#include "Host/WidgetHost/WidgetScheduler.hpp"

#include <cmath>
#include <utility>

namespace widgethost {
namespace {

using namespace std::chrono_literals;
using platform::Date;

}  // namespace

void WidgetScheduler::timelineArrived(const std::string& id, const EncodedTimeline& timeline) {
    auto& slot = widgets_[id];
    slot.reload.reset();
    auto next = nextTimelineRequest(timeline, timers_.now(), minimumReloadSeconds);
    if (next) slot.reload = timers_.at(*next, 100ms, [this, id] { actions_.reload(id); });
}

void WidgetScheduler::answerRefused(const std::string& id) {
    widgets_[id].reload = timers_.after(retryDelay, [this, id] { actions_.reload(id); });
}

// A press waits for the reload its application requests: the first request of a burst must not
// wait for the ones that might follow.
void WidgetScheduler::requestReload(const std::string& id) {
    auto& slot = widgets_[id];
    if (slot.coalesce) {
        slot.reloadPending = true;
        return;
    }
    slot.coalesce = timers_.after(coalesceWindow, [this, id] { coalesceWindowEnded(id); });
    actions_.reload(id);
}

void WidgetScheduler::coalesceWindowEnded(const std::string& id) {
    auto it = widgets_.find(id);
    if (it == widgets_.end()) return;
    it->second.coalesce.reset();
    if (std::exchange(it->second.reloadPending, false)) requestReload(id);
}

void WidgetScheduler::showing(const std::string& id, const std::vector<EncodedEntry>& entries, bool liveTimers) {
    auto& slot = widgets_[id];
    // A widget shown again each second mostly keeps its next entry: its timer stays as it is.
    auto next = nextEntryChange(entries, timers_.now());
    if (!next || !slot.entry || slot.entryDue != next) {
        slot.entry.reset();
        if (next) slot.entry = timers_.at(*next, 1ms, [this, id] { actions_.redraw(id); });
        slot.entryDue = next;
    }
    slot.liveTimers = liveTimers;
    armTicker();
}

void WidgetScheduler::forget(const std::string& id) {
    widgets_.erase(id);
    armTicker();
}

void WidgetScheduler::armTicker() {
    bool needed = false;
    for (const auto& [id, slot] : widgets_) needed = needed || slot.liveTimers;
    if (!needed) {
        ticker_.reset();
        return;
    }
    if (ticker_) return;
    ticker_ = timers_.at(nextTick(timers_.now()), 1ms, [this] { tick(); });
}

Date WidgetScheduler::nextTick(Date now) {
    return Date::fromMilliseconds(std::floor(now.millisecondsSince1970 / 1000) * 1000 + 1000 + tickOffsetMilliseconds);
}

void WidgetScheduler::tick() {
    ticker_.reset();
    std::vector<std::string> due;
    for (const auto& [id, slot] : widgets_)
        if (slot.liveTimers) due.push_back(id);
    for (const auto& id : due) actions_.redraw(id);
    armTicker();
}

}  // namespace widgethost
