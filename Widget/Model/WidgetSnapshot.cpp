#include "Widget/Model/WidgetSnapshot.hpp"

#include <algorithm>

#include "Platform/System/Calendar.hpp"
#include "Platform/System/Services.hpp"
#include "Widget/Model/WidgetStrings.hpp"

namespace kelvo {

bool WidgetSnapshot::actionsEnabled() const {
    if (!appRunning || !loggedIn) return false;
    return canTrack.value_or(!offline);
}

double WidgetSnapshot::todayBaseSeconds(Date on) const {
    if (!today) return 0;
    return platform::Calendar::current().isDate(today->dayStart, on) ? today->baseSeconds : 0;
}

std::optional<Date> WidgetSnapshot::todayCountingReference(Date on) const {
    if (!running) return std::nullopt;
    Date dayStart = platform::Calendar::current().startOfDay(on);
    // An entry that started before midnight counts only from midnight.
    Date countedStart = std::max(dayStart, running->startTime);
    return countedStart.addingSeconds(-todayBaseSeconds(on));
}

WidgetSnapshot::Strings WidgetSnapshot::Strings::localized() {
    namespace s = strings;
    return Strings{
        s::text(s::startTracking), s::text(s::stopTracking),  s::text(s::today),
        s::text(s::recent),        s::text(s::noRecent),      s::text(s::notTracking),
        s::text(s::noDescription), s::text(s::openApp),       s::text(s::loggedOut),
        s::text(s::offline),
    };
}

WidgetSnapshot WidgetSnapshot::preview() {
    using strings::text;
    namespace s = strings;
    Date now = platform::services().now();
    WidgetSnapshot sample;
    sample.updatedAt = now;
    sample.appRunning = true;
    sample.loggedIn = true;
    sample.offline = false;
    sample.canTrack = true;
    sample.running = RunningEntry{text(s::sampleEntry), text(s::sampleProject), now.addingSeconds(-1458)};
    sample.today = TodayTotal{platform::Calendar::current().startOfDay(now), 11520};
    sample.recent = {
        {"0", text(s::sampleRecentFirst), text(s::sampleRecentFirstProject)},
        {"1", text(s::sampleRecentSecond), text(s::sampleRecentSecondProject)},
        {"2", text(s::sampleRecentThird), std::nullopt},
    };
    sample.strings = Strings::localized();
    return sample;
}

}  // namespace kelvo
