#include "Host/Gallery/GalleryPreview.hpp"

#include <nlohmann/json.hpp>

#include "Platform/System/JsonDepth.hpp"

namespace widgetgallery {

namespace views = platform::views;

platform::Status<> GalleryPreview::show(std::string_view viewJson, std::string_view renderingMode, platform::Date now) {
    auto mode = platform::widgetRenderingModeFromString(std::string(renderingMode));
    if (!mode) return platform::Error{"unknown rendering mode \"" + std::string(renderingMode) + "\""};
    // Too deep a tree could overflow the stack of whatever walks it.
    if (!platform::jsonDepthWithin(viewJson)) return platform::Error{"the view tree nests too deep"};
    auto tree = nlohmann::json::parse(viewJson, nullptr, /*allow_exceptions=*/false);
    if (tree.is_discarded()) return platform::Error{"the view tree is not JSON"};
    auto view = views::WidgetView::fromJson(tree);
    if (!view) return platform::Error{"the view tree is malformed: " + view.error().message};
    view_ = std::move(view).value();
    mode_ = *mode;
    layout_ = views::layOut(*view_, family_, now, views::PlacedBoxes::skipped);
    shownAt_ = now;
    return platform::Done{};
}

bool GalleryPreview::tick(platform::Date now) {
    if (!layout_ || !layout_->hasLiveTimers) return false;
    // A timer whose text changed its width is laid out again.
    auto advanced = views::advanceLiveTimers(*layout_, now);
    layout_ = advanced ? std::move(*advanced) : views::layOut(*view_, family_, now, views::PlacedBoxes::skipped);
    return true;
}

bool GalleryPreview::due(platform::Date now, const platform::Calendar& calendar) const {
    return layout_ && calendar.startOfDay(now) > calendar.startOfDay(shownAt_);
}

std::vector<std::string> GalleryPreview::texts() const { return layout_ ? layout_->texts : std::vector<std::string>{}; }

bool GalleryPreview::paint(cairo_t* cr, double scale, views::Appearance appearance) const {
    return layout_ && views::paint(cr, *layout_, scale, appearance, mode_);
}

}  // namespace widgetgallery
