#pragma once

#include <gdk/gdk.h>

#include <string>

namespace widgethost::desktop::detail {

/// The name a position is kept under for an output: its connector name ("DP-1", "HEADLESS-2") where
/// the display tells it (RandR on X11, xdg-output on Wayland), else its model; "" when neither is known.
std::string outputName(GdkMonitor* monitor);

}  // namespace widgethost::desktop::detail
