#include "Widget/Views/MediumTimerView.hpp"

#include "Widget/Views/RecentListView.hpp"
#include "Widget/Views/TimerSummaryView.hpp"

namespace kelvo {

using namespace platform::views;

View MediumTimerView::body(const platform::WidgetEnvironment& environment) const {
    // Both columns end in infinite frames, so they share the width equally.
    return HStack(VerticalAlignment::top, 14,
                  {TimerSummaryView{snapshot, date, true}.body(environment), Divider(),
                   RecentListView{snapshot}.body(environment)});
}

}  // namespace kelvo
