#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Host/WidgetHost/Desktop/DesktopSurface.hpp"
#include "Host/WidgetHost/Desktop/DisplayChoice.hpp"
#include "Host/WidgetHost/Desktop/Placement.hpp"

// The host's widgets on the desktop: one surface per placed widget, made when it first has
// something to show, and the clicks and drags of all of them reported by widget id.
namespace widgethost::desktop {

struct ScreenHandlers {
    std::function<void(const std::string& id, const PressTarget& target)> activated;
    std::function<void(const std::string& id, SurfacePosition position, MoveCause cause)> moved;
    // The widget menu.
    std::function<std::string(const std::string& id)> menuHeading;
    std::function<void(const std::string& id)> remove;
    std::function<void()> openGallery;
    std::function<MenuSizes(const std::string& id)> sizes;
    std::function<void(const std::string& id, platform::WidgetFamily family)> resize;
};

class DesktopScreen {
public:
    DesktopScreen(DisplayKind display, platform::views::Appearance appearance, ScreenHandlers handlers,
                  platform::WidgetRenderingMode renderingMode = platform::WidgetRenderingMode::fullColor);

    /// Shows a widget's view as laid out in `layout`, making its window the first time and again when
    /// its family changed; a null view hides the window.
    void show(const std::string& id, platform::WidgetFamily family, SurfacePosition position, const std::string& title,
              const platform::views::WidgetView* view, const platform::views::WidgetLayoutInfo* layout = nullptr);
    void remove(const std::string& id);
    /// Returns where the widget went: its window keeps it on an output.
    SurfacePosition move(const std::string& id, SurfacePosition position);
    /// Redraws the widgets, and has the menus follow the theme's dark variant where the user prefers dark.
    void setAppearance(platform::views::Appearance appearance);

    const DesktopSurface* surface(const std::string& id) const;
    /// The outputs there are now, each with the part that panels leave free where the display tells it.
    std::vector<detail::OutputArea> outputs();

private:
    Placement& placement();

    DisplayKind display_;
    std::unique_ptr<Placement> placement_;  // chosen with the first window, from what the display offers
    platform::views::Appearance appearance_;
    bool userPrefersDarkTheme_ = false;  // the GTK setting as the user left it
    ScreenHandlers handlers_;
    platform::WidgetRenderingMode renderingMode_;
    std::map<std::string, std::unique_ptr<DesktopSurface>> surfaces_;
};

}  // namespace widgethost::desktop
