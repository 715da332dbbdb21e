#include "Host/WidgetHost/WidgetTimeline.hpp"

#include <algorithm>
#include <cmath>

namespace widgethost {

using platform::Date;

std::optional<size_t> entryShownAt(const std::vector<EncodedEntry>& entries, Date now) {
    if (entries.empty()) return std::nullopt;
    auto reached = std::upper_bound(entries.begin(), entries.end(), now,
                                    [](Date t, const EncodedEntry& entry) { return t < entry.date; });
    if (reached == entries.begin()) return 0;
    return static_cast<size_t>(reached - entries.begin()) - 1;
}

std::optional<Date> nextEntryChange(const std::vector<EncodedEntry>& entries, Date now) {
    auto next = std::upper_bound(entries.begin(), entries.end(), now,
                                 [](Date t, const EncodedEntry& entry) { return t < entry.date; });
    if (next == entries.end()) return std::nullopt;
    return next->date;
}

std::optional<Date> nextTimelineRequest(const EncodedTimeline& timeline, Date answeredAt, double minimumSeconds) {
    Date earliest = answeredAt.addingSeconds(minimumSeconds);
    switch (timeline.policy.kind) {
    case platform::TimelineReloadPolicy::Kind::never: return std::nullopt;
    case platform::TimelineReloadPolicy::Kind::after: return std::max(timeline.policy.date, earliest);
    case platform::TimelineReloadPolicy::Kind::atEnd:
        return timeline.entries.empty() ? earliest : std::max(timeline.entries.back().date, earliest);
    }
    return std::nullopt;
}

}  // namespace widgethost
