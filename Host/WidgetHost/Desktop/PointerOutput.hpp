#pragma once

#include <vector>

#include "Host/WidgetHost/Desktop/DisplayChoice.hpp"
#include "Host/WidgetHost/Desktop/detail/KeepOnOutput.hpp"

// Which output the user is looking at, for placing a new widget there.
namespace widgethost::desktop {

/// Of `outputs`, the one under the pointer on GDK's default display; the primary (else the first)
/// one where the pointer's place is unknown, as on Wayland; null when there is none.
const detail::OutputArea* outputUnderPointer(DisplayKind kind, const std::vector<detail::OutputArea>& outputs);

}  // namespace widgethost::desktop
