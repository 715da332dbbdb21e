#pragma once

#include "Platform/Widgets/WidgetBundleMain.hpp"

namespace kelvo {

/// The widget kind that the host and the bridge know this widget by.
inline constexpr const char* timerWidgetKind = "TimerWidget";

/// The one widget: the running timer, today's total and recent entries, small and medium.
platform::WidgetConfiguration TimerWidget();

/// Everything the extension program offers: `TimerWidget` and the intents of its buttons.
platform::WidgetBundle KelvoWidgetBundle();

}  // namespace kelvo
