#pragma once

#include <cstddef>
#include <vector>

#include "Platform/Intents/Intent.hpp"
#include "Platform/Widgets/WidgetConfiguration.hpp"

namespace platform {

/// What a widget extension program offers: its widgets and the intents its buttons run.
struct WidgetBundle {
    std::vector<WidgetConfiguration> widgets;
    IntentRegistry intents;
};

/// Serves the widget host: JSON-RPC 2.0 requests, one per line, on the descriptor `input`; one
/// answer per line on `output`. `perform` requests run at the same time as everything else and are
/// answered when the intent has finished. Returns 0 at end of input, after every running intent has
/// finished.
int widgetBundleMain(const WidgetBundle& bundle, int input = 0, int output = 1);

}  // namespace platform
