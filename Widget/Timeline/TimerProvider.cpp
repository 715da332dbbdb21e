#include "Widget/Timeline/TimerProvider.hpp"

#include "Platform/System/Calendar.hpp"
#include "Platform/System/Services.hpp"
#include "Widget/Store/WidgetStore.hpp"

namespace kelvo {

TimerEntry TimerProvider::placeholder(const platform::TimelineProviderContext&) const {
    return TimerEntry{platform::services().now(), WidgetSnapshot::preview()};
}

void TimerProvider::getSnapshot(const platform::TimelineProviderContext& context,
                                const std::function<void(const TimerEntry&)>& completion) const {
    auto loaded = WidgetStore::loadSnapshot();
    bool fitForDisplay = loaded && loaded->actionsEnabled();
    Date now = platform::services().now();
    if (!context.isPreview || fitForDisplay)
        completion(TimerEntry{now, std::move(loaded)});
    else
        completion(TimerEntry{now, WidgetSnapshot::preview()});
}

void TimerProvider::getTimeline(const platform::TimelineProviderContext&,
                                const std::function<void(const platform::Timeline<TimerEntry>&)>& completion) const {
    WidgetStore::markActive();
    Date now = platform::services().now();
    auto snapshot = WidgetStore::loadSnapshot();
    auto calendar = platform::Calendar::current();
    // The start of the next day, not just "a day after today's start": on a day that starts at 01:00
    // the latter would roll the totals over an hour late.
    auto dayLater = calendar.dateByAddingDays(1, calendar.startOfDay(now));
    Date nextMidnight = dayLater ? calendar.startOfDay(*dayLater) : now.addingSeconds(86400);
    // Built entry by entry: an initializer list would copy the snapshot twice more.
    platform::Timeline<TimerEntry> timeline{{}, platform::TimelineReloadPolicy::after(nextMidnight)};
    timeline.entries.reserve(2);
    timeline.entries.push_back(TimerEntry{now, snapshot});
    timeline.entries.push_back(TimerEntry{nextMidnight, std::move(snapshot)});
    completion(timeline);
}

}  // namespace kelvo
