#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Host/WidgetHost/Timers.hpp"
#include "Host/WidgetHost/WidgetTimeline.hpp"

// When each placed widget is asked for a new timeline and drawn again: at its reload policy's date,
// soon after a reload request, when its next entry comes due, and each second while it shows a
// live timer. It decides only when; what happens then is the host's.
namespace widgethost {

class WidgetScheduler {
public:
    struct Actions {
        /// Ask the widget's extension for a new timeline.
        std::function<void(const std::string& id)> reload;
        /// Draw the widget again: its next entry came due, or a second passed while it shows a live timer.
        std::function<void(const std::string& id)> redraw;
    };

    /// A timeline that asks to be reloaded sooner than this after its answer waits this long instead.
    static constexpr double minimumReloadSeconds = 5;
    /// After a malformed or refused answer the widget is asked again this much later.
    static constexpr std::chrono::seconds retryDelay{30};
    /// A widget's first reload request goes out at once; the ones that follow within this window are
    /// answered by one more timeline request when it ends.
    static constexpr std::chrono::milliseconds coalesceWindow{20};
    /// Ticks land this long after the whole second, so that a timer text turns over with the second.
    static constexpr double tickOffsetMilliseconds = 5;
    /// When live timers next tick after `now`: just after the next whole second.
    static platform::Date nextTick(platform::Date now);

    WidgetScheduler(Timers& timers, Actions actions) : timers_(timers), actions_(std::move(actions)) {}

    /// A timeline arrived: the next request goes out when its policy says, never sooner than
    /// `minimumReloadSeconds` from now.
    void timelineArrived(const std::string& id, const EncodedTimeline& timeline);
    /// The answer was refused or malformed: ask again after `retryDelay`.
    void answerRefused(const std::string& id);
    /// A reload was requested: now, unless one went out less than `coalesceWindow` ago; requests
    /// within that window become one at its end.
    void requestReload(const std::string& id);
    /// The widget shows one of `entries` (sorted by date): redraw when the next one comes due, and
    /// each second while `liveTimers`.
    void showing(const std::string& id, const std::vector<EncodedEntry>& entries, bool liveTimers);
    /// The widget was removed: nothing of it is due any more.
    void forget(const std::string& id);

    bool ticking() const { return ticker_ != nullptr; }

private:
    struct Slot {
        TimerHandle reload;
        TimerHandle entry;
        std::optional<platform::Date> entryDue;  // when `entry` fires
        TimerHandle coalesce;  // open while reload requests are merged
        bool reloadPending = false;
        bool liveTimers = false;
    };

    void coalesceWindowEnded(const std::string& id);
    void armTicker();
    void tick();

    Timers& timers_;
    Actions actions_;
    std::map<std::string, Slot> widgets_;
    TimerHandle ticker_;
};

}  // namespace widgethost
