#pragma once

#include <functional>

#include "Platform/Widgets/Timeline.hpp"
#include "Widget/Timeline/TimerEntry.hpp"

namespace kelvo {

/// Answers the widget host's requests from the snapshot in the shared container.
struct TimerProvider {
    /// Sample data dated now; touches nothing.
    TimerEntry placeholder(const platform::TimelineProviderContext& context) const;
    /// One entry dated now: the loaded snapshot, or the sample in a preview when the snapshot is
    /// missing or the widget could not act on it.
    void getSnapshot(const platform::TimelineProviderContext& context,
                     const std::function<void(const TimerEntry&)>& completion) const;
    /// Two entries, now and the next local midnight, with the same snapshot, and a reload after
    /// that midnight. Leaves the "active" marker first.
    void getTimeline(const platform::TimelineProviderContext& context,
                     const std::function<void(const platform::Timeline<TimerEntry>&)>& completion) const;
};

}  // namespace kelvo
