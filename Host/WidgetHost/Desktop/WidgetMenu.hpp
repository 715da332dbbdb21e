#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Platform/Widgets/WidgetFamily.hpp"

typedef struct _GtkWidget GtkWidget;

// The menu of a widget on the desktop: the extension's name as a heading, the sizes the widget comes
// in, "Remove widget" and "Widget gallery…", in the user's language (the widget-host catalog), drawn
// in the user's GTK theme. It opens on a right click or
// a long press on the widget, and on the menu key or Shift+F10 while one of its buttons has focus.
namespace widgethost::desktop {

struct MenuSizes {
    std::vector<platform::WidgetFamily> offered;  // fewer than two: no choice is shown
    platform::WidgetFamily current = platform::WidgetFamily::systemSmall;
};

struct WidgetMenuHandlers {
    /// The heading: the name of the extension that draws the widget, read when the menu opens.
    std::function<std::string()> heading;
    /// Runs after the menu has closed, so that removing the widget may destroy its window.
    std::function<void()> remove;
    std::function<void()> openGallery;
    /// The sizes to offer, read when the menu opens.
    std::function<MenuSizes()> sizes;
    /// Runs after the menu has closed, with the size chosen; resizing makes the window again.
    std::function<void(platform::WidgetFamily)> resize;
};

/// A text of the host's own catalog ("widget-host") in the user's language, else `text` itself.
const char* hostText(const char* text);

/// Gives `window`, which shows its widget in `area`, its menu. `opened` runs as the menu opens, so
/// that a press it interrupts (a long press) is forgotten.
void attachWidgetMenu(GtkWidget* window, GtkWidget* area, WidgetMenuHandlers handlers, std::function<void()> opened);

}  // namespace widgethost::desktop
