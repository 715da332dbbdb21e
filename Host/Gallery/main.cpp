// widget-gallery: every installed extension's widgets with their gallery texts and a live preview
// per family, and a button per family that places the widget. It asks the widget host for all of
// it (net.widgethost.Control1), so it shows what the host can place and follows it: when the host
// says the installed widgets changed, the gallery lists them again. Each preview's view tree is
// asked for once and laid out and painted here, its live timer texts moved on each second; every
// question to the host is answered later, from the loop, so the window never waits for the host.
// It follows the host's name on the bus: a gallery opened before the host lists the widgets once
// the host is there (its first question starts it through D-Bus activation where it can).
#include <gtk/gtk.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <list>
#include <memory>
#include <utility>

#include "Host/CommandLine/CommandLine.hpp"
#include "Host/ControlClient/ControlClient.hpp"
#include "Host/Gallery/GalleryCatalog.hpp"
#include "Host/Gallery/GalleryPreview.hpp"
#include "Host/WidgetHost/Desktop/AppearanceSource.hpp"
#include "Host/WidgetHost/Desktop/DisplayChoice.hpp"
#include "Host/WidgetHost/Desktop/SharedLoop.hpp"
#include "Host/WidgetHost/Desktop/WidgetMenu.hpp"
#include "Host/WidgetHost/dbus/Control1.hpp"
#include "Platform/Views/WidgetMetrics.hpp"

namespace {

namespace views = platform::views;
namespace control1 = widgethost::control1;
using widgetgallery::GalleryPreview;
using widgetgallery::GalleryWidget;
using widgetgallery::galleryText;

platform::Date now() {
    auto since1970 = std::chrono::system_clock::now().time_since_epoch();
    return platform::Date::fromMilliseconds(std::chrono::duration<double, std::milli>(since1970).count());
}

// What the user reads; the host's own words, which name kinds and families, go to the log.
std::string describe(const control1::ClientError& error) {
    if (!control1::isNoHost(error)) std::cerr << "widget-gallery: " << error.name << ": " << error.message << "\n";
    return widgetgallery::failureText(error);
}

struct Preview {
    Preview(GalleryWidget w, platform::WidgetFamily f) : widget(std::move(w)), shown(f) {}
    Preview(const Preview&) = delete;
    Preview& operator=(const Preview&) = delete;

    GalleryWidget widget;
    GalleryPreview shown;
    control1::PendingCall asking;  // the view tree asked for
    bool waiting = false;  // for that answer
    std::string failure;  // why the last question failed, said once
    std::pair<int, int> grabbed{0, 0};  // where a drag took hold of the preview, in points
    GtkWidget* area = nullptr;
};

struct Gallery {
    sd_bus* bus = nullptr;
    sd_event* loop = nullptr;
    std::optional<control1::ControlClient> client;
    control1::PendingCall followingHost;
    bool listed = false;  // the host's kinds are shown
    platform::Calendar calendar = platform::Calendar::current();
    views::Appearance appearance = views::Appearance::light;
    std::vector<std::unique_ptr<Preview>> previews;
    control1::PendingCall askingKinds;
    std::list<control1::PendingCall> placing;
    GtkWidget* window = nullptr;
    GtkWidget* outer = nullptr;
    GtkWidget* content = nullptr;  // everything above the status line, made again when the kinds change
    GtkWidget* status = nullptr;
};

// Asks the host for the preview's entry; the preview shows it once it comes.
void fetch(Gallery& gallery, Preview& preview) {
    std::string family(platform::toString(preview.shown.family()));
    preview.waiting = true;
    preview.asking = gallery.client->previewEntry(
        preview.widget.kind, family, [&preview, family](control1::Result<control1::PreviewEntry> entry) {
            preview.waiting = false;
            platform::Status<> shown = entry ? preview.shown.show(entry->view, entry->renderingMode, now())
                                             : platform::Status<>(platform::Error{entry.error().message});
            std::string failure = shown ? "" : shown.error().message;
            if (!failure.empty() && failure != preview.failure)
                std::cerr << "widget-gallery: no preview of " << preview.widget.kind << " " << family << ": " << failure
                          << "\n";
            preview.failure = failure;
            if (preview.area) gtk_widget_queue_draw(preview.area);
        });
}

gboolean drawPreview(GtkWidget* area, cairo_t* cr, gpointer data) {
    auto* preview = static_cast<Preview*>(data);
    auto* gallery = static_cast<Gallery*>(g_object_get_data(G_OBJECT(area), "gallery"));
    // GTK's context counts in points already; it scales to the screen's pixels itself.
    preview->shown.paint(cr, 1, gallery->appearance);
    return TRUE;
}

// Says how a placing went on the status line, from the answer's callback, and lets go of the call.
void sayPlaced(Gallery& gallery, const std::string& said) {
    gtk_label_set_text(GTK_LABEL(gallery.status), said.c_str());
    sd_bus_slot* answered = sd_bus_get_current_slot(gallery.bus);
    gallery.placing.remove_if([answered](const control1::PendingCall& c) { return c.get() == answered; });
}

// Places the preview's widget near the pointer, or at `at` on the desktop, and says how it went.
void place(Gallery& gallery, const Preview& preview, std::optional<std::pair<int, int>> at) {
    control1::Placement placement{control1::Placement::Where::nearPointer};
    if (at) placement = {control1::Placement::Where::at, at->first, at->second};
    std::string name = preview.widget.displayName;
    auto call = gallery.client->place(
        preview.widget.kind, std::string(platform::toString(preview.shown.family())), placement,
        [&gallery, name](control1::Result<std::string> id) {
            sayPlaced(gallery, id ? galleryText("Added %s.", name)
                                  : galleryText("Could not add %s.", name) + " " + describe(id.error()));
        });
    if (call) gallery.placing.push_back(std::move(call));
}

// Where the gallery's window is on the desktop, frame and all; empty where only X11 tells it.
control1::WindowFrame frameOf(GtkWidget* window) {
    GdkWindow* shown = gtk_widget_get_window(window);
    // (By the type's name: gdkx.h brings Xlib's macros, which break CLI11.)
    if (!shown || std::strcmp(G_OBJECT_TYPE_NAME(gtk_widget_get_display(window)), "GdkX11Display") != 0) return {};
    GdkRectangle frame;
    gdk_window_get_frame_extents(shown, &frame);
    return {frame.x, frame.y, frame.width, frame.height};
}

// Adds the preview's widget where the user sees it appear: not under the gallery's own window.
void onAdd(GtkButton* button, gpointer data) {
    auto& gallery = *static_cast<Gallery*>(data);
    const auto& preview = *static_cast<Preview*>(g_object_get_data(G_OBJECT(button), "preview"));
    std::string name = preview.widget.displayName;
    auto call = gallery.client->placeClearOf(
        preview.widget.kind, std::string(platform::toString(preview.shown.family())), frameOf(gallery.window),
        [&gallery, name](control1::Result<control1::Placed> placed) {
            sayPlaced(gallery, placed ? galleryText("Added %s at %s.", {name, std::to_string(placed->x) + ", " +
                                                                                   std::to_string(placed->y)})
                                      : galleryText("Could not add %s.", name) + " " + describe(placed.error()));
        });
    if (call) gallery.placing.push_back(std::move(call));
}

// A preview dragged out of the gallery and let go where nothing takes it (the desktop) places its
// widget there, the point grabbed staying under the pointer.
gboolean onPreviewPress(GtkWidget*, GdkEventButton* event, gpointer data) {
    auto* preview = static_cast<Preview*>(data);
    preview->grabbed = {static_cast<int>(event->x), static_cast<int>(event->y)};
    return FALSE;
}

void onDragBegin(GtkWidget* area, GdkDragContext* context, gpointer data) {
    auto* preview = static_cast<Preview*>(data);
    auto* gallery = static_cast<Gallery*>(g_object_get_data(G_OBJECT(area), "gallery"));
    if (preview->shown.empty()) return;
    int scale = gtk_widget_get_scale_factor(area);
    auto size = views::widgetSize(preview->shown.family());
    cairo_surface_t* picture = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(size.width * scale),
                                                          static_cast<int>(size.height * scale));
    cairo_t* cr = cairo_create(picture);
    preview->shown.paint(cr, scale, gallery->appearance);
    cairo_destroy(cr);
    cairo_surface_set_device_scale(picture, scale, scale);
    cairo_surface_set_device_offset(picture, -preview->grabbed.first * scale, -preview->grabbed.second * scale);
    gtk_drag_set_icon_surface(context, picture);
    cairo_surface_destroy(picture);
}

gboolean onDragFailed(GtkWidget* area, GdkDragContext* context, GtkDragResult result, gpointer data) {
    auto* gallery = static_cast<Gallery*>(g_object_get_data(G_OBJECT(area), "gallery"));
    auto* preview = static_cast<Preview*>(data);
    if (result != GTK_DRAG_RESULT_NO_TARGET) return FALSE;
    // Only X11 says where the pointer is on the desktop; elsewhere the widget goes to a free spot.
    std::optional<std::pair<int, int>> at;
    // (By the type's name: gdkx.h brings Xlib's macros, which break CLI11.)
    if (std::strcmp(G_OBJECT_TYPE_NAME(gtk_widget_get_display(area)), "GdkX11Display") == 0) {
        int x = 0;
        int y = 0;
        gdk_device_get_position(gdk_drag_context_get_device(context), nullptr, &x, &y);
        int left = 0;
        int top = 0;
        int width = 0;
        int height = 0;
        gtk_window_get_position(GTK_WINDOW(gallery->window), &left, &top);
        gtk_window_get_size(GTK_WINDOW(gallery->window), &width, &height);
        // Let go over the gallery itself: nothing happens.
        if (x >= left && x < left + width && y >= top && y < top + height) return FALSE;
        at = std::pair{x - preview->grabbed.first, y - preview->grabbed.second};
    }
    place(*gallery, *preview, at);
    return TRUE;
}

GtkWidget* label(const std::string& text, bool bold = false) {
    GtkWidget* shown = gtk_label_new(nullptr);
    char* markup = g_markup_printf_escaped(bold ? "<b>%s</b>" : "%s", text.c_str());
    gtk_label_set_markup(GTK_LABEL(shown), markup);
    g_free(markup);
    gtk_label_set_xalign(GTK_LABEL(shown), 0);
    gtk_label_set_line_wrap(GTK_LABEL(shown), TRUE);
    return shown;
}

// Shows the kinds the host has, each family with its preview and its Add button.
void show(Gallery& gallery, const control1::Result<std::vector<control1::Kind>>& kinds) {
    if (gallery.content) gtk_widget_destroy(gallery.content);
    gallery.previews.clear();
    gallery.content = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    GtkWidget* column = gallery.content;
    auto widgets = kinds ? widgetgallery::galleryWidgets(*kinds) : std::vector<GalleryWidget>{};
    if (!kinds) {
        std::string why = control1::isNoHost(kinds.error())
                              ? galleryText("The widget host is not running. The widgets appear here as soon as it "
                                            "starts.")
                              : galleryText("Cannot list the widgets.") + " " + describe(kinds.error());
        gtk_box_pack_start(GTK_BOX(column), label(why), FALSE, FALSE, 0);
    } else if (widgets.empty()) {
        gtk_box_pack_start(GTK_BOX(column), label(galleryText("No widgets are installed.")), FALSE, FALSE, 0);
    }
    for (const auto& widget : widgets) {
        gtk_box_pack_start(GTK_BOX(column), label(widget.displayName, true), FALSE, FALSE, 0);
        if (!widget.description.empty())
            gtk_box_pack_start(GTK_BOX(column), label(widget.description), FALSE, FALSE, 0);
        GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 16);
        for (auto family : widget.families) {
            auto& preview = gallery.previews.emplace_back(new Preview{widget, family});
            auto size = views::widgetSize(family);
            GtkWidget* cell = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
            preview->area = gtk_drawing_area_new();
            gtk_widget_set_size_request(preview->area, static_cast<int>(size.width), static_cast<int>(size.height));
            g_object_set_data(G_OBJECT(preview->area), "gallery", &gallery);
            g_signal_connect(preview->area, "draw", G_CALLBACK(drawPreview), preview.get());
            static GtkTargetEntry widgetKind{const_cast<char*>("application/x-widget-kind"), GTK_TARGET_SAME_APP, 0};
            gtk_drag_source_set(preview->area, GDK_BUTTON1_MASK, &widgetKind, 1, GDK_ACTION_COPY);
            g_signal_connect(preview->area, "button-press-event", G_CALLBACK(onPreviewPress), preview.get());
            g_signal_connect(preview->area, "drag-begin", G_CALLBACK(onDragBegin), preview.get());
            g_signal_connect(preview->area, "drag-failed", G_CALLBACK(onDragFailed), preview.get());
            fetch(gallery, *preview);
            GtkWidget* add = gtk_button_new_with_label(widgetgallery::addButtonName(widget, family).c_str());
            g_object_set_data(G_OBJECT(add), "preview", preview.get());
            g_signal_connect(add, "clicked", G_CALLBACK(onAdd), &gallery);
            gtk_box_pack_start(GTK_BOX(cell), preview->area, FALSE, FALSE, 0);
            gtk_box_pack_start(GTK_BOX(cell), add, FALSE, FALSE, 0);
            gtk_box_pack_start(GTK_BOX(row), cell, FALSE, FALSE, 0);
        }
        gtk_box_pack_start(GTK_BOX(column), row, FALSE, FALSE, 0);
    }
    gtk_box_pack_start(GTK_BOX(gallery.outer), column, FALSE, FALSE, 0);
    gtk_box_reorder_child(GTK_BOX(gallery.outer), column, 0);
    gtk_widget_show_all(column);
}

// Asks the host for its kinds; the gallery lists them when they come.
void fill(Gallery& gallery) {
    if (!gallery.content) {
        gallery.content = label(galleryText("Asking the widget host for its widgets…"));
        gtk_box_pack_start(GTK_BOX(gallery.outer), gallery.content, FALSE, FALSE, 0);
        gtk_box_reorder_child(GTK_BOX(gallery.outer), gallery.content, 0);
    }
    gallery.askingKinds = gallery.client->kinds([&gallery](control1::Result<std::vector<control1::Kind>> kinds) {
        gallery.listed = kinds.ok();
        show(gallery, kinds);
    });
}

// Escape and Ctrl+W close the gallery, as they close other utility windows.
gboolean onKey(GtkWidget* window, GdkEventKey* event, gpointer) {
    bool control = (event->state & gtk_accelerator_get_default_mod_mask()) == GDK_CONTROL_MASK;
    bool plain = (event->state & gtk_accelerator_get_default_mod_mask()) == 0;
    if ((plain && event->keyval == GDK_KEY_Escape) || (control && gdk_keyval_to_lower(event->keyval) == GDK_KEY_w)) {
        gtk_window_close(GTK_WINDOW(window));
        return TRUE;
    }
    return FALSE;
}

// GTK's own parts of the window (header bar, buttons, labels) dark or light as the previews are.
void applyTheme(views::Appearance appearance) {
    g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme",
                 appearance == views::Appearance::dark ? TRUE : FALSE, nullptr);
}

void buildWindow(Gallery& gallery) {
    gallery.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    const char* title = widgethost::desktop::hostText("Widget gallery");
    gtk_window_set_title(GTK_WINDOW(gallery.window), title);
    GtkWidget* header = gtk_header_bar_new();
    gtk_header_bar_set_title(GTK_HEADER_BAR(header), title);
    gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(header), TRUE);
    gtk_window_set_titlebar(GTK_WINDOW(gallery.window), header);
    g_signal_connect(gallery.window, "key-press-event", G_CALLBACK(onKey), nullptr);
    gtk_window_set_default_size(GTK_WINDOW(gallery.window), 820, 600);
    gallery.outer = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    gtk_container_set_border_width(GTK_CONTAINER(gallery.outer), 16);
    gallery.status = label("");
    gtk_box_pack_end(GTK_BOX(gallery.outer), gallery.status, FALSE, FALSE, 0);
    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_container_add(GTK_CONTAINER(scrolled), gallery.outer);
    gtk_container_add(GTK_CONTAINER(gallery.window), scrolled);
    g_signal_connect(gallery.window, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer loop) {
        sd_event_exit(static_cast<sd_event*>(loop), 0);
    }), gallery.loop);
}

int onKindsChanged(sd_bus_message*, void* data, sd_bus_error*) {
    fill(*static_cast<Gallery*>(data));
    return 0;
}

// A host that starts after the gallery (or again, after it ended) is asked for its widgets.
void onHostChanged(Gallery& gallery, bool running) {
    if (running && !gallery.listed) fill(gallery);
    if (!running) gallery.listed = false;
    std::string said = running ? "" : galleryText("The widget host is not running.");
    gtk_label_set_text(GTK_LABEL(gallery.status), said.c_str());
}

int list(control1::ControlClient& client) {
    auto kinds = client.kinds();
    if (!kinds) {
        std::cerr << "widget-gallery: cannot list the widgets: " << kinds.error().message << "\n";
        return 1;
    }
    for (const auto& widget : widgetgallery::galleryWidgets(*kinds)) {
        std::printf("%s %s: %s — %s\n", widget.extension.c_str(), widget.kind.c_str(), widget.displayName.c_str(),
                    widget.description.c_str());
        for (auto family : widget.families) {
            GalleryPreview preview{family};
            auto entry = client.previewEntry(widget.kind, std::string(platform::toString(family)));
            bool shown = entry && preview.show(entry->view, entry->renderingMode, now());
            std::printf("  %s%s\n", widgetgallery::addButtonName(widget, family).c_str(), shown ? "" : " (no preview)");
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    widgethost::desktop::hostText("");  // binds the host's catalog, which every text comes from
    CLI::App app{"Shows the installed widgets with a live preview of each size; a button places one on the desktop. "
                 "Everything comes from the widget host on the session bus."};
    std::string appearance = "auto";
    bool listOnly = false;
    app.add_option("--appearance", appearance, "auto (as the desktop), light or dark")
        ->check(CLI::IsMember({"auto", "light", "dark"}));
    app.add_flag("--list", listOnly, "Print the widgets and their buttons instead of opening the window");
    if (auto status = widgethost::parseCommandLine(app, "widget-gallery", argc, argv)) return *status;

    Gallery gallery;
    if (int r = sd_bus_open_user(&gallery.bus); r < 0) {
        std::fprintf(stderr, "widget-gallery: no session bus: %s\n", std::strerror(-r));
        return 1;
    }
    gallery.client.emplace(gallery.bus);
    struct Cleanup {
        Gallery& gallery;
        ~Cleanup() {
            // Calls still out go before the connection they wait on.
            gallery.previews.clear();
            gallery.placing.clear();
            gallery.followingHost.reset();
            gallery.askingKinds.reset();
            gallery.client.reset();
            sd_bus_flush_close_unref(gallery.bus);
            sd_event_unref(gallery.loop);
        }
    } cleanup{gallery};

    if (listOnly) return list(*gallery.client);
    // The gallery shows on the display the widgets are on: through XWayland where Wayland has no
    // layer-shell (GNOME), so that it knows where its window is and a preview let go on the
    // desktop lands where the widget host counts.
    namespace desktop = widgethost::desktop;
    if (desktop::chooseDisplay(desktop::currentDisplayEnvironment()) == desktop::DisplayKind::x11)
        gdk_set_allowed_backends("x11");
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "widget-gallery: cannot open the display\n");
        return 1;
    }
    // One gallery a session: opening it again (from a widget's menu, say) brings the open one forward.
    // GApplication owns the name on a bus connection of its own, served by GLib's loop below.
    GtkApplication* single = gtk_application_new("net.widgethost.Gallery", G_APPLICATION_DEFAULT_FLAGS);
    if (g_application_register(G_APPLICATION(single), nullptr, nullptr) &&
        g_application_get_is_remote(G_APPLICATION(single))) {
        g_application_activate(G_APPLICATION(single));
        g_object_unref(single);
        return 0;
    }
    sd_event_default(&gallery.loop);
    sd_bus_attach_event(gallery.bus, gallery.loop, SD_EVENT_PRIORITY_NORMAL);
    sd_bus_match_signal(gallery.bus, nullptr, control1::busName, control1::objectPath, control1::interfaceName,
                        control1::signal::kindsChanged.name, onKindsChanged, &gallery);

    // Light or dark as the desktop is, following it while the gallery is open, unless chosen.
    std::unique_ptr<widgethost::desktop::AppearanceSource> desktopAppearance;
    if (appearance == "auto") {
        desktopAppearance = std::make_unique<widgethost::desktop::AppearanceSource>(
            views::Appearance::light, [&gallery](views::Appearance now) {
                gallery.appearance = now;
                applyTheme(now);
                for (auto& preview : gallery.previews) gtk_widget_queue_draw(preview->area);
            });
        desktopAppearance->start(gallery.bus);
    } else {
        gallery.appearance = appearance == "dark" ? views::Appearance::dark : views::Appearance::light;
    }
    applyTheme(desktopAppearance ? desktopAppearance->current() : gallery.appearance);

    buildWindow(gallery);
    g_signal_connect(single, "activate", G_CALLBACK(+[](GApplication*, gpointer window) {
        gtk_window_present(GTK_WINDOW(window));
    }), gallery.window);
    gtk_window_set_default_icon_name("net.widgethost.Gallery");
    gallery.followingHost =
        gallery.client->followHost([&gallery](bool running) { onHostChanged(gallery, running); });
    fill(gallery);
    gtk_widget_show_all(gallery.window);
    // Live timer texts in the previews move on each second.
    g_timeout_add_seconds(1, [](gpointer data) -> gboolean {
        auto moment = now();
        auto& shown = *static_cast<Gallery*>(data);
        for (auto& preview : shown.previews) {
            if (preview->shown.tick(moment)) gtk_widget_queue_draw(preview->area);
            if (!preview->waiting && preview->shown.due(moment, shown.calendar)) fetch(shown, *preview);
        }
        return G_SOURCE_CONTINUE;
    }, &gallery);
    int r = widgethost::desktop::runSharedLoop(gallery.loop);
    // `single` stays to the end: GApplication unregisters from the bus only inside g_application_run.
    return r < 0 ? 1 : 0;
}
