#pragma once

#include <optional>

#include "Widget/Model/WidgetSnapshot.hpp"

namespace kelvo {

/// One timeline entry: from `date` on, the widget shows `snapshot` (or the "open Kelvo" message).
struct TimerEntry {
    Date date;
    std::optional<WidgetSnapshot> snapshot;
};

}  // namespace kelvo
