#pragma once

#include "Platform/Views/View.hpp"
#include "Platform/Widgets/WidgetFamily.hpp"
#include "Widget/Model/WidgetSnapshot.hpp"

namespace kelvo {

/// The medium widget: the timer block and the recent list side by side, a divider between.
struct MediumTimerView {
    WidgetSnapshot snapshot;
    Date date;

    platform::views::View body(const platform::WidgetEnvironment& environment) const;
};

}  // namespace kelvo
