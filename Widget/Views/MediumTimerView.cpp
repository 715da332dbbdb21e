#include "Widget/Views/MediumTimerView.hpp"

#include "Widget/Views/RecentListView.hpp"
#include "Widget/Views/TimerSummaryView.hpp"

namespace kelvo {

using namespace platform::views;

View MediumTimerView::body(const platform::WidgetEnvironment& environment) const {
    // Both columns end in infinite frames, so they share the width equally.
    TimerSummaryView summary{.snapshot = snapshot, .date = date, .showsTodayWhileRunning = true};
    return HStack(VerticalAlignment::top, 14,
                  {summary.body(environment), Divider(), RecentListView{snapshot}.body(environment)});
}

}  // namespace kelvo
