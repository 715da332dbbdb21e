#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "Platform/System/Date.hpp"
#include "Platform/System/Result.hpp"
#include "Platform/Views/ButtonRegion.hpp"
#include "Platform/Views/Color.hpp"
#include "Platform/Views/Geometry.hpp"
#include "Platform/Views/PlacedBoxes.hpp"
#include "Platform/Views/WidgetMetrics.hpp"
#include "Platform/Widgets/WidgetFamily.hpp"

typedef struct _cairo cairo_t;

// What the widget host needs of the view layer: read a view tree from the wire once, then lay it
// out, paint it and ask it where its buttons are. Layout is the same at every scale.
namespace platform::views {

struct View;
struct Layout;

struct RenderOptions {
    WidgetFamily family = WidgetFamily::systemSmall;
    double scale = 2;  // device pixels per point
    Appearance appearance = Appearance::light;
    Date now{};  // live timer texts show the time elapsed up to this moment
    WidgetRenderingMode renderingMode = WidgetRenderingMode::fullColor;
};

/// Everything about a laid-out widget except its picture.
struct WidgetLayoutInfo {
    std::vector<ButtonRegion> buttons;  // in tree order
    std::optional<std::string> widgetURL;
    std::vector<std::string> texts;  // every text shown, in tree order; live timers as of `now`
    bool hasLiveTimers = false;
    std::string dump;  // the placed tree, one node per line, for people and golden files
    std::shared_ptr<const Layout> placed;  // what `paint` draws without laying out again
};

/// A checked, immutable view tree. Cheap to copy; safe to share between threads.
class WidgetView {
public:
    /// Reads a view tree in its wire form. Malformed input gives nothing and, when `error` is given,
    /// says why.
    static platform::Result<WidgetView> fromJson(const nlohmann::json& tree);

    /// True when the tree shows a live timer text, so its picture changes every second.
    bool hasLiveTimers() const;
    /// The link to open when the widget is clicked outside its buttons.
    std::optional<std::string> widgetURL() const;

    const View& root() const { return *root_; }
    /// A null root stands for an empty view.
    explicit WidgetView(std::shared_ptr<const View> root);

private:
    std::shared_ptr<const View> root_;
};

/// Lays the view out for a family at a moment: buttons, link, texts and, when recorded, the dump of
/// the placed tree.
WidgetLayoutInfo layOut(const WidgetView& view, WidgetFamily family, Date now,
                        PlacedBoxes placedBoxes = PlacedBoxes::recorded);

/// The same layout with its live timer texts as of `now`, without laying the view out again;
/// nothing when a timer changed its shape and the view has to be laid out again.
std::optional<WidgetLayoutInfo> advanceLiveTimers(const WidgetLayoutInfo& layout, Date now);

/// The widget as a PNG image of `widgetSize(family) × scale` pixels, with transparent corners.
/// Nothing when the image cannot be made.
std::optional<std::string> renderPng(const WidgetView& view, const RenderOptions& options);
/// The widget as an SVG document; one user unit is one point times `scale`.
std::optional<std::string> renderSvg(const WidgetView& view, const RenderOptions& options);

/// Paints the widget into `cr` with its top-left corner at the current origin, scaled by
/// `options.scale` on top of the current transform; `cr`'s state is restored afterwards.
/// False when the context is in an error state.
bool paint(cairo_t* cr, const WidgetView& view, const RenderOptions& options);

/// Paints a layout made by `layOut`, at any scale, without laying the view out again.
bool paint(cairo_t* cr, const WidgetLayoutInfo& layout, double scale, Appearance appearance,
           WidgetRenderingMode mode = WidgetRenderingMode::fullColor);

/// The same, reading the wire form first; a malformed tree gives nothing.
std::optional<WidgetLayoutInfo> layOut(const nlohmann::json& tree, WidgetFamily family, Date now);
std::optional<std::string> renderPng(const nlohmann::json& tree, const RenderOptions& options);
std::optional<std::string> renderSvg(const nlohmann::json& tree, const RenderOptions& options);

}  // namespace platform::views
