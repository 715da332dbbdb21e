#pragma once

#include <functional>
#include <string>

typedef struct _GtkWidget GtkWidget;

// A drawing area whose accessible name is made when it is read. The name follows live timers each
// second, and announcing every change on the accessibility bus costs the host more than drawing
// it; until something has read the name nothing can hold an old one, so changes are announced
// from the first reading on.
namespace widgethost::desktop::detail {

/// A drawing area whose accessible name is `name()` as it is when read.
GtkWidget* liveNamedArea(std::function<std::string()> name);

/// The name may read differently now: announced where it does and has been read before.
void liveNameChanged(GtkWidget* area);

}  // namespace widgethost::desktop::detail
