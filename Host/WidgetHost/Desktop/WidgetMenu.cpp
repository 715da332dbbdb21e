#include "Host/WidgetHost/Desktop/WidgetMenu.hpp"

#include <gtk/gtk.h>
#include <libintl.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "Host/WidgetHost/Desktop/detail/ScreenStyle.hpp"

namespace widgethost::desktop {
namespace {

struct Menu {
    WidgetMenuHandlers handlers;
    std::function<void()> opened;
    GtkWidget* area = nullptr;
    GtkWidget* menu = nullptr;  // made on first use, attached to the area and gone with it
    GtkWidget* heading = nullptr;
    GtkWidget* headingLabel = nullptr;
    std::vector<GtkWidget*> sizeItems = {};  // made again each time the menu opens, with their separator
    GtkGesture* longPress = nullptr;
    bool longPressed = false;  // the long press was recognised and waits for its end
};

// Runs a handler from the main loop once the menu's own signal has returned: removing the widget
// destroys the window the menu is attached to.
void later(const std::function<void()>& handler) {
    if (!handler) return;
    g_idle_add_full(
        G_PRIORITY_DEFAULT_IDLE,
        [](gpointer data) -> gboolean {
            (*static_cast<std::function<void()>*>(data))();
            return G_SOURCE_REMOVE;
        },
        new std::function<void()>(handler), [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
}

GtkWidget* item(GtkWidget* menu, const char* label, void (*activated)(GtkMenuItem*, gpointer), Menu* self) {
    GtkWidget* entry = gtk_menu_item_new_with_label(label);
    g_signal_connect(entry, "activate", G_CALLBACK(activated), self);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), entry);
    return entry;
}

// The heading is a menu item the keyboard and the pointer pass over, so it is insensitive; the
// theme would grey it like a choice that is unavailable, so it keeps the menu's text colour and is bold.
constexpr const char* headingClass = "widget-host-menu-heading";
constexpr const char* css = R"css(
menuitem.widget-host-menu-heading:disabled,
menuitem.widget-host-menu-heading:disabled label { color: inherit; font-weight: bold; }
)css";

const char* sizeName(platform::WidgetFamily family) {
    switch (family) {
    case platform::WidgetFamily::systemSmall: return hostText("Small");
    case platform::WidgetFamily::systemMedium: return hostText("Medium");
    }
    return "";
}

GtkWidget* menuOf(Menu* self) {
    if (self->menu) return self->menu;
    detail::addScreenStyle(gtk_widget_get_screen(self->area), css);
    self->menu = gtk_menu_new();
    // A heading, not a choice: screen readers read it and pass over it.
    self->heading = gtk_menu_item_new();
    self->headingLabel = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(self->headingLabel), 0);
    gtk_container_add(GTK_CONTAINER(self->heading), self->headingLabel);
    gtk_style_context_add_class(gtk_widget_get_style_context(self->heading), headingClass);
    gtk_widget_set_sensitive(self->heading, FALSE);
    gtk_menu_shell_append(GTK_MENU_SHELL(self->menu), self->heading);
    gtk_menu_shell_append(GTK_MENU_SHELL(self->menu), gtk_separator_menu_item_new());
    item(self->menu, hostText("Remove widget"), [](GtkMenuItem*, gpointer s) {
        later(static_cast<Menu*>(s)->handlers.remove);
    }, self);
    item(self->menu, hostText("Widget gallery…"), [](GtkMenuItem*, gpointer s) {
        later(static_cast<Menu*>(s)->handlers.openGallery);
    }, self);
    gtk_menu_attach_to_widget(GTK_MENU(self->menu), self->area, nullptr);
    gtk_widget_show_all(self->menu);
    return self->menu;
}

void onSizeToggled(GtkCheckMenuItem* entry, gpointer data) {
    auto* self = static_cast<Menu*>(data);
    if (!gtk_check_menu_item_get_active(entry) || !self->handlers.resize) return;
    auto family = static_cast<platform::WidgetFamily>(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(entry), "family")));
    later([resize = self->handlers.resize, family] { resize(family); });
}

// The sizes come from the extension, which may describe itself again between two openings.
void offerSizes(Menu* self) {
    for (GtkWidget* entry : self->sizeItems) gtk_widget_destroy(entry);
    self->sizeItems.clear();
    MenuSizes sizes = self->handlers.sizes ? self->handlers.sizes() : MenuSizes{};
    if (sizes.offered.size() < 2) return;
    // Smallest first, whatever order the extension lists them in.
    std::sort(sizes.offered.begin(), sizes.offered.end());
    int position = 2;  // under the heading and its separator
    GSList* group = nullptr;
    for (auto family : sizes.offered) {
        GtkWidget* entry = gtk_radio_menu_item_new_with_label(group, sizeName(family));
        group = gtk_radio_menu_item_get_group(GTK_RADIO_MENU_ITEM(entry));
        g_object_set_data(G_OBJECT(entry), "family", GINT_TO_POINTER(static_cast<int>(family)));
        gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(entry), family == sizes.current);
        g_signal_connect(entry, "toggled", G_CALLBACK(onSizeToggled), self);
        self->sizeItems.push_back(entry);
    }
    self->sizeItems.push_back(gtk_separator_menu_item_new());
    for (GtkWidget* entry : self->sizeItems) {
        gtk_menu_shell_insert(GTK_MENU_SHELL(self->menu), entry, position++);
        gtk_widget_show(entry);
    }
}

void open(Menu* self, const GdkEvent* trigger, GtkWidget* anchor) {
    GtkWidget* menu = menuOf(self);
    std::string heading = self->handlers.heading ? self->handlers.heading() : std::string();
    gtk_label_set_text(GTK_LABEL(self->headingLabel), heading.c_str());
    gtk_widget_set_visible(self->heading, !heading.empty());
    offerSizes(self);
    if (self->opened) self->opened();
    if (anchor)
        gtk_menu_popup_at_widget(GTK_MENU(menu), anchor, GDK_GRAVITY_SOUTH_WEST, GDK_GRAVITY_NORTH_WEST, trigger);
    else
        gtk_menu_popup_at_pointer(GTK_MENU(menu), trigger);
}

gboolean onPress(GtkWidget*, GdkEventButton* event, gpointer self) {
    if (event->type != GDK_BUTTON_PRESS || !gdk_event_triggers_context_menu(reinterpret_cast<GdkEvent*>(event)))
        return FALSE;
    open(static_cast<Menu*>(self), reinterpret_cast<GdkEvent*>(event), nullptr);
    return TRUE;
}

// A long press opens the menu when the finger or button lifts: a menu open under a held button
// would take that release for a choice, or for a click beside it that closes the menu. The press
// is claimed, so the button under it is not clicked.
void onLongPress(GtkGestureLongPress* gesture, double, double, gpointer self) {
    auto* menu = static_cast<Menu*>(self);
    gtk_gesture_set_state(GTK_GESTURE(gesture), GTK_EVENT_SEQUENCE_CLAIMED);
    menu->longPressed = true;
    if (menu->opened) menu->opened();
}

void onLongPressEnd(GtkGesture* gesture, GdkEventSequence* sequence, gpointer self) {
    auto* menu = static_cast<Menu*>(self);
    if (!std::exchange(menu->longPressed, false)) return;
    open(menu, gtk_gesture_get_last_event(gesture, sequence), nullptr);
}

// The menu key and Shift+F10 ask the focused widget, then its parents, for a menu.
gboolean onPopupMenu(GtkWidget* window, gpointer self) {
    GtkWidget* focused = gtk_window_get_focus(GTK_WINDOW(window));
    open(static_cast<Menu*>(self), nullptr, focused ? focused : static_cast<Menu*>(self)->area);
    return TRUE;
}

}  // namespace

const char* hostText(const char* text) {
    static constexpr const char* domain = "widget-host";
    static std::once_flag bound;
    // The catalog lies in share/locale beside the program's bin directory, installed or in the build tree.
    std::call_once(bound, [] {
        std::error_code error;
        auto program = std::filesystem::read_symlink("/proc/self/exe", error);
        if (error) return;
        auto locale = (program.parent_path() / "../share/locale").lexically_normal();
        bindtextdomain(domain, locale.c_str());
        bind_textdomain_codeset(domain, "UTF-8");
    });
    return dgettext(domain, text);
}

void attachWidgetMenu(GtkWidget* window, GtkWidget* area, WidgetMenuHandlers handlers, std::function<void()> opened) {
    auto* self = new Menu{std::move(handlers), std::move(opened), area};
    // Freed with the window, whose signals carry it; the menu itself goes with the area.
    g_object_set_data_full(G_OBJECT(window), "widget-menu", self, [](gpointer data) { delete static_cast<Menu*>(data); });
    // The gesture goes while its window is still whole: it takes itself off the window as it ends.
    g_signal_connect(window, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer menu) {
        g_clear_object(&static_cast<Menu*>(menu)->longPress);
    }), self);
    // On the window, where presses on the drawing and on the buttons over it both arrive; the long
    // press is watched before either sees it.
    gtk_widget_add_events(window, GDK_BUTTON_PRESS_MASK);
    g_signal_connect(window, "button-press-event", G_CALLBACK(onPress), self);
    self->longPress = gtk_gesture_long_press_new(window);
    gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(self->longPress), GTK_PHASE_CAPTURE);
    g_signal_connect(self->longPress, "pressed", G_CALLBACK(onLongPress), self);
    g_signal_connect(self->longPress, "end", G_CALLBACK(onLongPressEnd), self);
    g_signal_connect(window, "popup-menu", G_CALLBACK(onPopupMenu), self);
}

}  // namespace widgethost::desktop
