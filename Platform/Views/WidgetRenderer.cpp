#include "Platform/Views/WidgetRenderer.hpp"

#include <cmath>

#include <cairo-svg.h>
#include <cairo.h>
#include <nlohmann/json.hpp>

#include "Platform/Views/Layout.hpp"
#include "Platform/Views/Painter.hpp"
#include "Platform/Views/TextEngine.hpp"
#include "Platform/Views/ViewJson.hpp"

namespace platform::views {
namespace {

constexpr double maxScale = 16;

bool containsTimer(const View& view) {
    if (!view.node) return false;
    return std::visit(
        [](const auto& n) -> bool {
            using T = std::decay_t<decltype(n)>;
            if constexpr (std::is_same_v<T, nodes::TimerText>) {
                return true;
            } else if constexpr (std::is_same_v<T, nodes::VStack> || std::is_same_v<T, nodes::HStack>) {
                for (const auto& c : n.children)
                    if (containsTimer(c)) return true;
                return false;
            } else if constexpr (std::is_same_v<T, nodes::Button>) {
                return containsTimer(n.label);
            } else if constexpr (std::is_same_v<T, nodes::Background>) {
                return containsTimer(n.content) || containsTimer(n.background);
            } else if constexpr (requires { n.content; }) {
                return containsTimer(n.content);
            } else {
                return false;
            }
        },
        view.node->value);
}

// The outermost link, as layout takes it.
std::optional<std::string> firstURL(const View& view) {
    if (!view.node) return std::nullopt;
    return std::visit(
        [](const auto& n) -> std::optional<std::string> {
            using T = std::decay_t<decltype(n)>;
            if constexpr (std::is_same_v<T, nodes::WidgetURL>) {
                if (n.url) return n.url;
                return firstURL(n.content);
            } else if constexpr (std::is_same_v<T, nodes::VStack> || std::is_same_v<T, nodes::HStack>) {
                for (const auto& c : n.children)
                    if (auto url = firstURL(c)) return url;
                return std::nullopt;
            } else if constexpr (std::is_same_v<T, nodes::Button>) {
                return firstURL(n.label);
            } else if constexpr (std::is_same_v<T, nodes::Background>) {
                if (auto url = firstURL(n.content)) return url;
                return firstURL(n.background);
            } else if constexpr (requires { n.content; }) {
                return firstURL(n.content);
            } else {
                return std::nullopt;
            }
        },
        view.node->value);
}

Layout layoutFor(const WidgetView& view, WidgetFamily family, Date now,
                 PlacedBoxes placedBoxes = PlacedBoxes::skipped) {
    LayoutOptions options;
    options.placedBoxes = placedBoxes;
    options.size = widgetSize(family);
    options.contentMargin = widgetContentMargin;
    options.cornerRadius = widgetCornerRadius;
    options.now = now;
    return layOut(view.root(), options, pangoTextMeasurer());
}

bool usableScale(double scale) { return std::isfinite(scale) && scale > 0 && scale <= maxScale; }

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

WidgetView::WidgetView(std::shared_ptr<const View> root)
    : root_(root ? std::move(root) : std::make_shared<const View>()) {}

platform::Result<WidgetView> WidgetView::fromJson(const nlohmann::json& tree) {
    auto view = viewFromJson(tree);
    if (!view) return view.error();
    return WidgetView(std::make_shared<const View>(std::move(*view)));
}

bool WidgetView::hasLiveTimers() const { return containsTimer(*root_); }

std::optional<std::string> WidgetView::widgetURL() const { return firstURL(*root_); }

WidgetLayoutInfo layOut(const WidgetView& view, WidgetFamily family, Date now, PlacedBoxes placedBoxes) {
    auto layout = std::make_shared<const Layout>(layoutFor(view, family, now, placedBoxes));
    WidgetLayoutInfo info;
    if (placedBoxes == PlacedBoxes::recorded) info.dump = dump(*layout);
    info.buttons = layout->buttons;
    info.widgetURL = layout->widgetURL;
    info.texts = layout->texts;
    info.hasLiveTimers = layout->hasLiveTimers;
    info.placed = std::move(layout);
    return info;
}

std::optional<WidgetLayoutInfo> advanceLiveTimers(const WidgetLayoutInfo& layout, Date now) {
    if (!layout.placed) return std::nullopt;
    Layout placed = *layout.placed;
    if (!advanceLiveTimers(placed, now)) return std::nullopt;
    WidgetLayoutInfo info = layout;
    info.texts = placed.texts;
    info.placed = std::make_shared<const Layout>(std::move(placed));
    return info;
}

bool paint(cairo_t* cr, const WidgetLayoutInfo& layout, double scale, Appearance appearance, WidgetRenderingMode mode) {
    if (!cr || cairo_status(cr) != CAIRO_STATUS_SUCCESS || !usableScale(scale) || !layout.placed) return false;
    cairo_save(cr);
    cairo_scale(cr, scale, scale);
    paintLayout(cr, *layout.placed, appearance, mode);
    cairo_restore(cr);
    return cairo_status(cr) == CAIRO_STATUS_SUCCESS;
}

bool paint(cairo_t* cr, const WidgetView& view, const RenderOptions& options) {
    return paint(cr, layOut(view, options.family, options.now, PlacedBoxes::skipped), options.scale, options.appearance, options.renderingMode);
}

std::optional<std::string> renderPng(const WidgetView& view, const RenderOptions& options) {
    if (!usableScale(options.scale)) return std::nullopt;
    Size size = widgetSize(options.family);
    int width = static_cast<int>(std::ceil(size.width * options.scale));
    int height = static_cast<int>(std::ceil(size.height * options.scale));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    bool painted = paint(cr, view, options);
    cairo_destroy(cr);
    std::string bytes;
    if (painted) {
        cairo_surface_flush(surface);
        painted = cairo_surface_write_to_png_stream(surface, appendBytes, &bytes) == CAIRO_STATUS_SUCCESS;
    }
    cairo_surface_destroy(surface);
    if (!painted) return std::nullopt;
    return bytes;
}

std::optional<std::string> renderSvg(const WidgetView& view, const RenderOptions& options) {
    if (!usableScale(options.scale)) return std::nullopt;
    Size size = widgetSize(options.family);
    std::string bytes;
    cairo_surface_t* surface =
        cairo_svg_surface_create_for_stream(appendBytes, &bytes, size.width * options.scale, size.height * options.scale);
    cairo_t* cr = cairo_create(surface);
    bool painted = paint(cr, view, options);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    painted = painted && cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!painted) return std::nullopt;
    return bytes;
}

std::optional<WidgetLayoutInfo> layOut(const nlohmann::json& tree, WidgetFamily family, Date now) {
    auto view = WidgetView::fromJson(tree);
    if (!view) return std::nullopt;
    return layOut(*view, family, now);
}

std::optional<std::string> renderPng(const nlohmann::json& tree, const RenderOptions& options) {
    auto view = WidgetView::fromJson(tree);
    if (!view) return std::nullopt;
    return renderPng(*view, options);
}

std::optional<std::string> renderSvg(const nlohmann::json& tree, const RenderOptions& options) {
    auto view = WidgetView::fromJson(tree);
    if (!view) return std::nullopt;
    return renderSvg(*view, options);
}

}  // namespace platform::views
