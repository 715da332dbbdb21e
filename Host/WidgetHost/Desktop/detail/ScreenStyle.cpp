#include "Host/WidgetHost/Desktop/detail/ScreenStyle.hpp"

#include <gtk/gtk.h>

#include <cstdint>
#include <string>

namespace widgethost::desktop::detail {

void addScreenStyle(GdkScreen* screen, const char* css) {
    // Marked on the screen itself, so that a screen opened later gets its own.
    std::string mark = "widget-host-style-" + std::to_string(reinterpret_cast<std::uintptr_t>(css));
    if (g_object_get_data(G_OBJECT(screen), mark.c_str())) return;
    g_object_set_data(G_OBJECT(screen), mark.c_str(), GINT_TO_POINTER(1));
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, css, -1, nullptr);
    gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(provider), GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);
}

}  // namespace widgethost::desktop::detail
