#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/System/Calendar.hpp"
#include "Platform/System/Date.hpp"
#include "Platform/System/Result.hpp"
#include "Platform/Views/WidgetRenderer.hpp"
#include "Platform/Widgets/WidgetFamily.hpp"

typedef struct _cairo cairo_t;

// One preview in the gallery: the view tree the host sent once, laid out here and moved on each
// second by the gallery itself, so that a live timer text runs without asking the host again.
namespace widgetgallery {

class GalleryPreview {
public:
    explicit GalleryPreview(platform::WidgetFamily family) : family_(family) {}

    /// Takes a new entry: its view tree in the wire form and the rendering mode it was made for,
    /// laid out as of `now`. A malformed tree keeps what was shown before.
    platform::Status<> show(std::string_view viewJson, std::string_view renderingMode, platform::Date now);
    /// Moves live timer texts on to `now`; true when the picture changed.
    bool tick(platform::Date now);

    /// Whether the entry shown has ended and a new one is due: a snapshot stands for the day it was
    /// taken on ("today"), so it ends at the next midnight of `calendar`.
    bool due(platform::Date now, const platform::Calendar& calendar) const;

    bool empty() const { return !layout_; }
    platform::WidgetFamily family() const { return family_; }
    /// Every text shown, live timers as of the last `show` or `tick`.
    std::vector<std::string> texts() const;
    /// Paints the widget at the current origin, `scale` pixels per point; false with nothing to paint.
    bool paint(cairo_t* cr, double scale, platform::views::Appearance appearance) const;

private:
    platform::WidgetFamily family_;
    platform::WidgetRenderingMode mode_ = platform::WidgetRenderingMode::fullColor;
    std::optional<platform::views::WidgetView> view_;
    std::optional<platform::views::WidgetLayoutInfo> layout_;
    platform::Date shownAt_{};
};

}  // namespace widgetgallery
