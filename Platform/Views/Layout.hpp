#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "Platform/System/Date.hpp"
#include "Platform/Views/ButtonRegion.hpp"
#include "Platform/Views/Color.hpp"
#include "Platform/Views/Font.hpp"
#include "Platform/Views/Geometry.hpp"
#include "Platform/Views/PlacedBoxes.hpp"
#include "Platform/Views/TextMeasurer.hpp"
#include "Platform/Views/View.hpp"
#include "Platform/Views/WidgetMetrics.hpp"

// Layout: a view tree and a size in, a flat list of placed boxes and draw commands out. The
// painter only consumes that list; nothing here knows about pixels, scales or appearances.
namespace platform::views {

namespace draw {
struct Shape {
    Rect frame;
    ShapeKind kind = ShapeKind::rectangle;
    CornerStyle style = CornerStyle::circular;
    Color color;
    bool accent = false;  // in the accent group, tinted in the accented rendering mode
};
struct Text {
    Rect frame;
    std::string text;
    Font font;      // at the size it is drawn, after any shrinking
    Color color;
    int maxLines = 0;  // 0: no limit
    TextAlignment alignment = TextAlignment::leading;
    double wrapWidth = 0;  // the width it was measured at (infinite: unwrapped), for drawing it the same
    bool accent = false;
};
struct Symbol {
    Rect frame;
    std::string name;
    Font font;
    Color color;
    bool accent = false;
};
}  // namespace draw

/// In painting order: later commands cover earlier ones.
using DrawCommand = std::variant<draw::Shape, draw::Text, draw::Symbol>;

/// One node of the placed tree, for dumps and tests.
struct PlacedBox {
    int depth = 0;
    std::string kind;     // "VStack", "Text", "Frame", ...
    std::string details;  // the node's own values: text, font, colour, flags
    Rect frame;
};

struct LayoutOptions {
    Size size;                   // the whole widget
    double contentMargin = widgetContentMargin;  // the views are laid out this far inside every edge
    Date now{};                                  // what live timer texts show
    double cornerRadius = widgetCornerRadius;    // of the container background
    PlacedBoxes placedBoxes = PlacedBoxes::recorded;
};

/// A live timer text among the draw commands, so that a second can pass without laying out again.
struct LiveTimer {
    std::size_t command = 0;  // a `draw::Text` in `commands`
    std::size_t text = 0;     // its entry in `texts`
    Date from;
};

struct Layout {
    Size size;
    Rect contentFrame;
    double cornerRadius = 0;
    std::optional<Color> containerBackground;
    std::optional<std::string> widgetURL;
    std::vector<DrawCommand> commands;
    std::vector<PlacedBox> boxes;  // tree order, depth first
    std::vector<ButtonRegion> buttons;
    std::vector<std::string> texts;
    bool hasLiveTimers = false;
    std::vector<LiveTimer> liveTimers;  // in painting order
};

/// Lays a view tree out in a widget of `options.size`.
Layout layOut(const View& root, const LayoutOptions& options, const TextMeasurer& measurer);

/// Moves the live timer texts of `layout` on to `now` without laying it out again, and returns the
/// frames of the texts that changed. A text keeps its shape only when nothing but digits of one width
/// change; otherwise `layout` stays as it is and the answer is nothing: lay the view out again.
std::optional<std::vector<Rect>> advanceLiveTimers(Layout& layout, Date now);

/// The placed tree as indented text, one box per line, with frames in points.
std::string dump(const Layout& layout);

}  // namespace platform::views
