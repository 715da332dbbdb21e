#include "Host/WidgetHost/Desktop/detail/LiveName.hpp"

#include <gtk/gtk-a11y.h>
#include <gtk/gtk.h>

namespace widgethost::desktop::detail {
namespace {

struct LiveName {
    std::function<std::string()> make;
    std::string shown;  // as last read or announced; what `get_name` hands out stays alive here
    bool read = false;
};

constexpr const char* liveNameKey = "widget-host-live-name";

LiveName* liveNameOf(GtkWidget* widget) {
    return widget ? static_cast<LiveName*>(g_object_get_data(G_OBJECT(widget), liveNameKey)) : nullptr;
}

const gchar* (*inheritedName)(AtkObject*) = nullptr;

const gchar* readName(AtkObject* accessible) {
    LiveName* live = liveNameOf(gtk_accessible_get_widget(GTK_ACCESSIBLE(accessible)));
    if (!live) return inheritedName(accessible);
    live->shown = live->make();
    live->read = true;
    return live->shown.c_str();
}

GType accessibleType() {
    static GType type = g_type_register_static_simple(
        GTK_TYPE_WIDGET_ACCESSIBLE, "WidgetHostLiveNameAccessible", sizeof(GtkWidgetAccessibleClass),
        [](gpointer klass, gpointer) {
            auto* atk = ATK_OBJECT_CLASS(klass);
            inheritedName = atk->get_name;
            atk->get_name = readName;
        },
        sizeof(GtkWidgetAccessible), nullptr, GTypeFlags(0));
    return type;
}

GType areaType() {
    static GType type = g_type_register_static_simple(
        GTK_TYPE_DRAWING_AREA, "WidgetHostLiveNameArea", sizeof(GtkDrawingAreaClass),
        [](gpointer klass, gpointer) { gtk_widget_class_set_accessible_type(GTK_WIDGET_CLASS(klass), accessibleType()); },
        sizeof(GtkDrawingArea), nullptr, GTypeFlags(0));
    return type;
}

}  // namespace

GtkWidget* liveNamedArea(std::function<std::string()> name) {
    GtkWidget* area = GTK_WIDGET(g_object_new(areaType(), nullptr));
    g_object_set_data_full(G_OBJECT(area), liveNameKey, new LiveName{std::move(name), {}, false},
                           [](gpointer live) { delete static_cast<LiveName*>(live); });
    return area;
}

void liveNameChanged(GtkWidget* area) {
    LiveName* live = liveNameOf(area);
    if (!live || !live->read) return;
    std::string now = live->make();
    if (now == live->shown) return;
    live->shown = std::move(now);
    g_object_notify(G_OBJECT(gtk_widget_get_accessible(area)), "accessible-name");
}

}  // namespace widgethost::desktop::detail
