// widget-gallery: every installed extension's widgets with their gallery texts and a live preview
// per family, and a button per family that places the widget. It asks the widget host for all of
// it (net.widgethost.Control1), so it shows what the host can place and follows it: when the host
// says the installed widgets changed, the gallery lists them again.
#include <gtk/gtk.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <utility>


#include "Host/CommandLine/CommandLine.hpp"
#include "Host/Gallery/GalleryCatalog.hpp"
#include "Host/WidgetHost/Desktop/AppearanceSource.hpp"
#include "Host/WidgetHost/Desktop/SharedLoop.hpp"
#include "Host/WidgetHost/Desktop/WidgetMenu.hpp"
#include "Host/WidgetHost/dbus/Control1.hpp"
#include "Platform/Views/WidgetMetrics.hpp"
#include "Platform/Views/WidgetRenderer.hpp"

namespace {

namespace views = platform::views;
namespace control1 = widgethost::control1;
using widgetgallery::GalleryWidget;

constexpr std::uint64_t callTimeoutMicroseconds = 10'000'000;

struct Preview {
    Preview(GalleryWidget w, platform::WidgetFamily f, std::filesystem::path to)
        : widget(std::move(w)), family(f), file(std::move(to)) {}
    Preview(const Preview&) = delete;
    Preview& operator=(const Preview&) = delete;

    GalleryWidget widget;
    platform::WidgetFamily family;
    std::filesystem::path file;
    cairo_surface_t* picture = nullptr;  // none when the host could not draw it
    int scale = 1;
    std::string failure;  // why the last drawing failed, said once
    std::pair<int, int> grabbed{0, 0};  // where a drag took hold of the preview, in points
    GtkWidget* area = nullptr;
    ~Preview() {
        if (picture) cairo_surface_destroy(picture);
    }
};

struct Gallery {
    sd_bus* bus = nullptr;
    sd_event* loop = nullptr;
    std::filesystem::path pictures;  // a private directory the host writes the previews to
    views::Appearance appearance = views::Appearance::light;
    std::vector<std::unique_ptr<Preview>> previews;
    GtkWidget* window = nullptr;
    GtkWidget* outer = nullptr;
    GtkWidget* content = nullptr;  // everything above the status line, made again when the kinds change
    GtkWidget* status = nullptr;
};

// A Control1 call on the host; the failure's message when it fails.
std::string call(sd_bus* bus, const char* method, sd_bus_message** reply, const char* types, ...) {
    sd_bus_message* request = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int r = sd_bus_message_new_method_call(bus, &request, control1::busName, control1::objectPath,
                                           control1::interfaceName, method);
    if (r >= 0 && types) {
        va_list arguments;
        va_start(arguments, types);
        r = sd_bus_message_appendv(request, types, arguments);
        va_end(arguments);
    }
    // Longer than the host waits for an extension, short enough not to freeze the window for long.
    if (r >= 0) r = sd_bus_call(bus, request, callTimeoutMicroseconds, &error, reply);
    std::string failure;
    if (r < 0) failure = error.message ? error.message : std::strerror(-r);
    if (r < 0 && sd_bus_error_has_names(&error, SD_BUS_ERROR_SERVICE_UNKNOWN, SD_BUS_ERROR_NAME_HAS_NO_OWNER))
        failure = "the widget host is not running";
    sd_bus_error_free(&error);
    sd_bus_message_unref(request);
    return failure;
}

std::optional<std::vector<GalleryWidget>> fetchKinds(sd_bus* bus, std::string* failure) {
    sd_bus_message* reply = nullptr;
    *failure = call(bus, "Kinds", &reply, nullptr);
    std::optional<std::vector<GalleryWidget>> kinds;
    if (failure->empty()) {
        kinds = widgetgallery::readKinds(reply);
        if (!kinds) *failure = "the widget host's answer is malformed";
    }
    sd_bus_message_unref(reply);
    return kinds;
}

// Has the host draw the preview entry again; false when it could not.
bool redraw(Gallery& gallery, Preview& preview) {
    std::string family(platform::toString(preview.family));
    const char* appearance = gallery.appearance == views::Appearance::dark ? "dark" : "light";
    sd_bus_message* reply = nullptr;
    auto failure = call(gallery.bus, "Preview", &reply, "ssdss", preview.widget.kind.c_str(), family.c_str(),
                        static_cast<double>(preview.scale), appearance, preview.file.c_str());
    sd_bus_message_unref(reply);
    if (!failure.empty()) {
        if (failure != preview.failure)
            std::cerr << "widget-gallery: no preview of " << preview.widget.kind << " " << family << ": " << failure
                      << "\n";
        preview.failure = failure;
        return false;
    }
    preview.failure.clear();
    cairo_surface_t* picture = cairo_image_surface_create_from_png(preview.file.c_str());
    std::filesystem::remove(preview.file);
    if (cairo_surface_status(picture) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(picture);
        return false;
    }
    if (preview.picture) cairo_surface_destroy(preview.picture);
    preview.picture = picture;
    if (preview.area) gtk_widget_queue_draw(preview.area);
    return true;
}

gboolean drawPreview(GtkWidget*, cairo_t* cr, gpointer data) {
    auto* preview = static_cast<Preview*>(data);
    if (!preview->picture) return TRUE;
    cairo_scale(cr, 1.0 / preview->scale, 1.0 / preview->scale);
    cairo_set_source_surface(cr, preview->picture, 0, 0);
    cairo_paint(cr);
    return TRUE;
}

// Places the preview's widget near the pointer, or at `at` on the desktop, and says how it went.
void place(Gallery& gallery, const Preview& preview, std::optional<std::pair<int, int>> at) {
    std::string family(platform::toString(preview.family));
    const char* kind = preview.widget.kind.c_str();
    sd_bus_message* reply = nullptr;
    auto failure = at ? call(gallery.bus, "PlaceAt", &reply, "ssii", kind, family.c_str(), at->first, at->second)
                      : call(gallery.bus, "PlaceNearPointer", &reply, "ss", kind, family.c_str());
    const char* id = nullptr;
    std::string said = failure.empty() && sd_bus_message_read(reply, "s", &id) >= 0
                           ? "Added " + preview.widget.displayName + " (widget " + id + ")."
                           : "Could not add " + preview.widget.displayName + ": " + failure;
    sd_bus_message_unref(reply);
    gtk_label_set_text(GTK_LABEL(gallery.status), said.c_str());
}

void onAdd(GtkButton* button, gpointer data) {
    place(*static_cast<Gallery*>(data), *static_cast<Preview*>(g_object_get_data(G_OBJECT(button), "preview")),
          std::nullopt);
}

// A preview dragged out of the gallery and let go where nothing takes it (the desktop) places its
// widget there, the point grabbed staying under the pointer.
gboolean onPreviewPress(GtkWidget*, GdkEventButton* event, gpointer data) {
    auto* preview = static_cast<Preview*>(data);
    preview->grabbed = {static_cast<int>(event->x), static_cast<int>(event->y)};
    return FALSE;
}

void onDragBegin(GtkWidget*, GdkDragContext* context, gpointer data) {
    auto* preview = static_cast<Preview*>(data);
    if (!preview->picture) return;
    cairo_surface_set_device_scale(preview->picture, preview->scale, preview->scale);
    cairo_surface_set_device_offset(preview->picture, -preview->grabbed.first * preview->scale,
                                    -preview->grabbed.second * preview->scale);
    gtk_drag_set_icon_surface(context, preview->picture);
    cairo_surface_set_device_offset(preview->picture, 0, 0);
    cairo_surface_set_device_scale(preview->picture, 1, 1);
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

// Lists the kinds the host has now, each family with its preview and its Add button.
void fill(Gallery& gallery) {
    if (gallery.content) gtk_widget_destroy(gallery.content);
    gallery.previews.clear();
    gallery.content = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    GtkWidget* column = gallery.content;
    std::string failure;
    auto kinds = fetchKinds(gallery.bus, &failure);
    if (!kinds)
        gtk_box_pack_start(GTK_BOX(column), label("Cannot list the widgets: " + failure + "."), FALSE, FALSE, 0);
    else if (kinds->empty())
        gtk_box_pack_start(GTK_BOX(column), label("No widget extension is installed."), FALSE, FALSE, 0);
    int scale = gtk_widget_get_scale_factor(gallery.window);
    for (const auto& widget : kinds.value_or(std::vector<GalleryWidget>{})) {
        gtk_box_pack_start(GTK_BOX(column), label(widget.displayName, true), FALSE, FALSE, 0);
        if (!widget.description.empty())
            gtk_box_pack_start(GTK_BOX(column), label(widget.description), FALSE, FALSE, 0);
        GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 16);
        for (auto family : widget.families) {
            auto file = gallery.pictures / (std::to_string(gallery.previews.size()) + ".png");
            auto& preview = gallery.previews.emplace_back(new Preview{widget, family, file});
            preview->scale = scale;
            auto size = views::widgetSize(family);
            GtkWidget* cell = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
            preview->area = gtk_drawing_area_new();
            gtk_widget_set_size_request(preview->area, static_cast<int>(size.width), static_cast<int>(size.height));
            g_signal_connect(preview->area, "draw", G_CALLBACK(drawPreview), preview.get());
            static GtkTargetEntry widgetKind{const_cast<char*>("application/x-widget-kind"), GTK_TARGET_SAME_APP, 0};
            gtk_drag_source_set(preview->area, GDK_BUTTON1_MASK, &widgetKind, 1, GDK_ACTION_COPY);
            g_object_set_data(G_OBJECT(preview->area), "gallery", &gallery);
            g_signal_connect(preview->area, "button-press-event", G_CALLBACK(onPreviewPress), preview.get());
            g_signal_connect(preview->area, "drag-begin", G_CALLBACK(onDragBegin), preview.get());
            g_signal_connect(preview->area, "drag-failed", G_CALLBACK(onDragFailed), preview.get());
            redraw(gallery, *preview);
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

void buildWindow(Gallery& gallery) {
    gallery.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(gallery.window), widgethost::desktop::hostText("Widget gallery"));
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

int list(sd_bus* bus, const std::filesystem::path& pictures) {
    std::string failure;
    auto kinds = fetchKinds(bus, &failure);
    if (!kinds) {
        std::cerr << "widget-gallery: cannot list the widgets: " << failure << "\n";
        return 1;
    }
    Gallery gallery;
    gallery.bus = bus;
    for (const auto& widget : *kinds) {
        std::printf("%s %s: %s — %s\n", widget.extension.c_str(), widget.kind.c_str(), widget.displayName.c_str(),
                    widget.description.c_str());
        for (auto family : widget.families) {
            Preview preview{widget, family, pictures / "list.png"};
            std::printf("  %s%s\n", widgetgallery::addButtonName(widget, family).c_str(),
                        redraw(gallery, preview) ? "" : " (no preview)");
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
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
    char* directory = g_dir_make_tmp("widget-gallery-XXXXXX", nullptr);
    if (!directory) {
        std::fprintf(stderr, "widget-gallery: cannot make a directory for the previews\n");
        return 1;
    }
    gallery.pictures = directory;
    g_free(directory);
    struct Cleanup {
        Gallery& gallery;
        ~Cleanup() {
            gallery.previews.clear();
            std::error_code ignored;
            std::filesystem::remove_all(gallery.pictures, ignored);
            sd_bus_flush_close_unref(gallery.bus);
            sd_event_unref(gallery.loop);
        }
    } cleanup{gallery};

    if (listOnly) return list(gallery.bus, gallery.pictures);
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
                        "KindsChanged", onKindsChanged, &gallery);

    // Light or dark as the desktop is, following it while the gallery is open, unless chosen.
    std::unique_ptr<widgethost::desktop::AppearanceSource> desktopAppearance;
    if (appearance == "auto") {
        desktopAppearance = std::make_unique<widgethost::desktop::AppearanceSource>(
            views::Appearance::light, [&gallery](views::Appearance now) {
                gallery.appearance = now;
                for (auto& preview : gallery.previews) redraw(gallery, *preview);
            });
        desktopAppearance->start(gallery.bus);
    } else {
        gallery.appearance = appearance == "dark" ? views::Appearance::dark : views::Appearance::light;
    }

    buildWindow(gallery);
    g_signal_connect(single, "activate", G_CALLBACK(+[](GApplication*, gpointer window) {
        gtk_window_present(GTK_WINDOW(window));
    }), gallery.window);
    fill(gallery);
    gtk_widget_show_all(gallery.window);
    // Live timer texts in the previews move on each second.
    g_timeout_add_seconds(1, [](gpointer data) -> gboolean {
        auto* g = static_cast<Gallery*>(data);
        for (auto& preview : g->previews) redraw(*g, *preview);
        return G_SOURCE_CONTINUE;
    }, &gallery);
    int r = widgethost::desktop::runSharedLoop(gallery.loop);
    // `single` stays to the end: GApplication unregisters from the bus only inside g_application_run.
    return r < 0 ? 1 : 0;
}
