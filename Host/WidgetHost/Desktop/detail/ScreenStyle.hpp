#pragma once

typedef struct _GdkScreen GdkScreen;

namespace widgethost::desktop::detail {

/// Adds `css` (a string that lives as long as the program) to every widget on `screen`, above the
/// user's theme; once per screen and string however often it is asked.
void addScreenStyle(GdkScreen* screen, const char* css);

}  // namespace widgethost::desktop::detail
