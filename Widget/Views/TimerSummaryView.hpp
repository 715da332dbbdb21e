#pragma once

#include <variant>
#include <vector>

#include "Platform/Views/View.hpp"
#include "Platform/Widgets/WidgetFamily.hpp"
#include "Widget/Intents/TimerIntents.hpp"
#include "Widget/Model/WidgetSnapshot.hpp"
#include "Widget/Views/ActionButton.hpp"

namespace kelvo {

/// The timer block: caption and mark, the running entry with its live timer or today's total,
/// and the start or stop button. The whole small widget and the left column of the medium one.
struct TimerSummaryView {
    WidgetSnapshot snapshot;
    Date date;  // the entry's date: the day whose total is shown
    bool showsTodayWhileRunning = false;

    using PrimaryAction = std::variant<ActionButton<StartTrackingIntent>, ActionButton<StopTrackingIntent>>;

    platform::views::View body(const platform::WidgetEnvironment& environment) const;

    /// The status line: offline, the running project with its dot, or "today".
    platform::views::View caption() const;
    /// Name, live timer and, when asked for, today's running total.
    std::vector<platform::views::View> runningContent(const WidgetSnapshot::RunningEntry& running) const;
    /// Today's total and the not-tracking line.
    std::vector<platform::views::View> idleContent() const;
    /// Stop while an entry runs, start otherwise; enabled by the snapshot's `actionsEnabled`.
    PrimaryAction primaryAction() const;
};

}  // namespace kelvo
