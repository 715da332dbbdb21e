// widget-gallery: every installed extension's widgets with their gallery texts and a live preview
// per family, and a button per family that places the widget through the widget host.
#include <gtk/gtk.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>

#include <CLI/CLI.hpp>

#include "Host/Gallery/GalleryCatalog.hpp"
#include "Host/Render/ExtensionCall.hpp"
#include "Host/WidgetHost/Desktop/AppearanceSource.hpp"
#include "Host/WidgetHost/ExtensionCatalog.hpp"
#include "Platform/System/Date.hpp"
#include "Platform/Views/WidgetMetrics.hpp"
#include "Platform/Views/WidgetRenderer.hpp"
#include "Platform/System/detail/Bus.hpp"

namespace {

namespace views = platform::views;
using namespace std::chrono_literals;
using widgetgallery::GalleryWidget;

constexpr auto extensionTimeout = 5s;

struct Preview {
    GalleryWidget widget;
    platform::WidgetFamily family;
    std::optional<views::WidgetView> view;  // none when the extension gave no preview
};

struct Gallery {
    std::vector<GalleryWidget> widgets;
    std::vector<std::unique_ptr<Preview>> previews;
    views::Appearance appearance = views::Appearance::light;
    GtkWidget* status = nullptr;
    std::vector<GtkWidget*> areas;
};

platform::Date now() {
    return platform::Date::fromMilliseconds(static_cast<double>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch()).count()));
}

// The extension's preview entry for the gallery: its snapshot with isPreview, which shows sample
// data when the application has nothing fit to show.
std::optional<views::WidgetView> previewOf(const GalleryWidget& widget, platform::WidgetFamily family) {
    try {
        nlohmann::json params = {{"family", platform::toString(family)}, {"isPreview", true}, {"renderingMode", "fullColor"}};
        auto entry = widgetrender::callExtension(widget.executable, "getSnapshot", params, extensionTimeout);
        if (!entry.is_object() || !entry.contains("view")) return std::nullopt;
        return views::WidgetView::fromJson(entry["view"]);
    } catch (const widgetrender::CallError& e) {
        std::cerr << "widget-gallery: " << widget.extension << ": " << e.message << "\n";
        return std::nullopt;
    }
}

std::vector<GalleryWidget> installedWidgets(const std::vector<std::filesystem::path>& developmentDirs) {
    auto dirs = widgethost::extensionDirectories(developmentDirs, std::getenv("XDG_DATA_HOME"), std::getenv("HOME"),
                                                 std::getenv("XDG_DATA_DIRS"));
    std::vector<std::string> problems;
    std::vector<GalleryWidget> all;
    for (const auto& manifest : widgethost::findExtensions(dirs, &problems)) {
        try {
            auto described = widgetrender::callExtension(manifest.executable, "describe", nlohmann::json::object(),
                                                         extensionTimeout);
            auto widgets = widgetgallery::galleryWidgets(manifest.bundleIdentifier, manifest.executable, described, &problems);
            all.insert(all.end(), widgets.begin(), widgets.end());
        } catch (const widgetrender::CallError& e) {
            problems.push_back(manifest.bundleIdentifier + ": " + e.message);
        }
    }
    for (const auto& problem : problems) std::cerr << "widget-gallery: " << problem << "\n";
    return all;
}

// Light or dark as the desktop says through its portal; light when nothing answers.
views::Appearance desktopAppearance() {
    auto bus = platform::detail::openUserBus();
    if (!bus) return views::Appearance::light;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int r = sd_bus_call_method(bus.get(), "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                               "org.freedesktop.portal.Settings", "Read", &error, &reply, "ss", "org.freedesktop.appearance",
                               "color-scheme");
    sd_bus_error_free(&error);
    auto appearance = views::Appearance::light;
    if (r >= 0) {
        if (auto scheme = widgethost::desktop::readColorScheme(reply))
            appearance = widgethost::desktop::appearanceFromColorScheme(*scheme).value_or(views::Appearance::light);
    }
    sd_bus_message_unref(reply);
    return appearance;
}

// Places the widget through the host's control interface; the host picks a free spot.
std::string place(const GalleryWidget& widget, platform::WidgetFamily family) {
    auto bus = platform::detail::openUserBus();
    if (!bus) return "No session bus: the widget host cannot be reached.";
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int r = sd_bus_call_method(bus.get(), "net.widgethost.Host1", "/net/widgethost/Host1", "net.widgethost.Control1",
                               "Place", &error, &reply, "ss", widget.kind.c_str(),
                               std::string(platform::toString(family)).c_str());
    std::string said;
    const char* id = nullptr;
    if (r >= 0 && sd_bus_message_read(reply, "s", &id) >= 0)
        said = "Added " + widget.displayName + " (widget " + id + ").";
    else
        said = "Could not add " + widget.displayName + ": " + (error.message ? error.message : std::strerror(-r));
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    return said;
}

gboolean drawPreview(GtkWidget*, cairo_t* cr, gpointer data) {
    auto* preview = static_cast<Preview*>(g_object_get_data(G_OBJECT(data), "preview"));
    auto* gallery = static_cast<Gallery*>(g_object_get_data(G_OBJECT(data), "gallery"));
    if (preview->view)
        views::paint(cr, *preview->view, views::RenderOptions{preview->family, 1, gallery->appearance, now()});
    return TRUE;
}

void onAdd(GtkButton* button, gpointer data) {
    auto* preview = static_cast<Preview*>(g_object_get_data(G_OBJECT(button), "preview"));
    auto* gallery = static_cast<Gallery*>(data);
    gtk_label_set_text(GTK_LABEL(gallery->status), place(preview->widget, preview->family).c_str());
}

GtkWidget* buildWindow(Gallery& gallery) {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Widget gallery");
    gtk_window_set_default_size(GTK_WINDOW(window), 820, 600);
    GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    gtk_container_set_border_width(GTK_CONTAINER(column), 16);

    if (gallery.widgets.empty())
        gtk_box_pack_start(GTK_BOX(column), gtk_label_new("No widget extension is installed."), FALSE, FALSE, 0);
    for (const auto& widget : gallery.widgets) {
        GtkWidget* name = gtk_label_new(nullptr);
        char* markup = g_markup_printf_escaped("<b>%s</b>", widget.displayName.c_str());
        gtk_label_set_markup(GTK_LABEL(name), markup);
        g_free(markup);
        gtk_label_set_xalign(GTK_LABEL(name), 0);
        GtkWidget* description = gtk_label_new(widget.description.c_str());
        gtk_label_set_xalign(GTK_LABEL(description), 0);
        gtk_label_set_line_wrap(GTK_LABEL(description), TRUE);
        gtk_box_pack_start(GTK_BOX(column), name, FALSE, FALSE, 0);
        gtk_box_pack_start(GTK_BOX(column), description, FALSE, FALSE, 0);

        GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 16);
        for (auto family : widget.families) {
            auto& preview = gallery.previews.emplace_back(new Preview{widget, family, previewOf(widget, family)});
            auto size = views::widgetSize(family);
            GtkWidget* cell = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
            GtkWidget* area = gtk_drawing_area_new();
            gtk_widget_set_size_request(area, static_cast<int>(size.width), static_cast<int>(size.height));
            g_object_set_data(G_OBJECT(area), "preview", preview.get());
            g_object_set_data(G_OBJECT(area), "gallery", &gallery);
            g_signal_connect(area, "draw", G_CALLBACK(drawPreview), area);
            gallery.areas.push_back(area);
            GtkWidget* add = gtk_button_new_with_label(widgetgallery::addButtonName(widget, family).c_str());
            g_object_set_data(G_OBJECT(add), "preview", preview.get());
            g_signal_connect(add, "clicked", G_CALLBACK(onAdd), &gallery);
            gtk_box_pack_start(GTK_BOX(cell), area, FALSE, FALSE, 0);
            gtk_box_pack_start(GTK_BOX(cell), add, FALSE, FALSE, 0);
            gtk_box_pack_start(GTK_BOX(row), cell, FALSE, FALSE, 0);
        }
        gtk_box_pack_start(GTK_BOX(column), row, FALSE, FALSE, 0);
    }
    gallery.status = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(gallery.status), 0);
    gtk_box_pack_start(GTK_BOX(column), gallery.status, FALSE, FALSE, 0);

    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_container_add(GTK_CONTAINER(scrolled), column);
    gtk_container_add(GTK_CONTAINER(window), scrolled);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    return window;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Shows the installed widgets with a live preview of each size; a button places one on the desktop."};
    std::vector<std::string> developmentDirs;
    std::string appearance = "auto";
    bool list = false;
    app.add_option("--extensions-dir", developmentDirs, "Also look for extension manifests here (first)");
    app.add_option("--appearance", appearance, "auto (as the desktop), light or dark")
        ->check(CLI::IsMember({"auto", "light", "dark"}));
    app.add_flag("--list", list, "Print the widgets and their buttons instead of opening the window");
    CLI11_PARSE(app, argc, argv);

    Gallery gallery;
    gallery.widgets = installedWidgets({developmentDirs.begin(), developmentDirs.end()});
    if (list) {
        for (const auto& widget : gallery.widgets) {
            std::printf("%s %s: %s — %s\n", widget.extension.c_str(), widget.kind.c_str(), widget.displayName.c_str(),
                        widget.description.c_str());
            for (auto family : widget.families)
                std::printf("  %s%s\n", widgetgallery::addButtonName(widget, family).c_str(),
                            previewOf(widget, family) ? "" : " (no preview)");
        }
        return 0;
    }
    gallery.appearance = appearance == "dark"    ? views::Appearance::dark
                         : appearance == "light" ? views::Appearance::light
                                                 : desktopAppearance();
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "widget-gallery: cannot open the display\n");
        return 1;
    }
    gtk_widget_show_all(buildWindow(gallery));
    // Live timer texts in the previews move on each second.
    g_timeout_add_seconds(1, [](gpointer data) -> gboolean {
        for (auto* area : static_cast<Gallery*>(data)->areas) gtk_widget_queue_draw(area);
        return G_SOURCE_CONTINUE;
    }, &gallery);
    gtk_main();
    return 0;
}
