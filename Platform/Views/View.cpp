#include "Platform/Views/View.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <type_traits>

#include "Platform/Views/detail/EnvironmentFields.hpp"

namespace platform::views {
namespace {

// Chained environment modifiers fold into one node: the inner (earlier) modifier wins where both
// set a value, as it is closer to the content; sticky values accumulate.
EnvironmentValues overlay(EnvironmentValues outer, const EnvironmentValues& inner) {
    detail::forEachEnvironmentField([&](const char*, auto member, detail::Merge merge) {
        if (!(inner.*member)) return;
        if constexpr (std::is_same_v<std::remove_cvref_t<decltype(inner.*member)>, std::optional<bool>>) {
            if (merge == detail::Merge::sticky) {
                outer.*member = *(inner.*member) || (outer.*member).value_or(false);
                return;
            }
        }
        outer.*member = inner.*member;
    });
    return outer;
}

View withEnvironment(const View& content, EnvironmentValues values) {
    if (content.node) {
        if (const auto* env = std::get_if<nodes::Environment>(&content.node->value))
            return makeView(Node{nodes::Environment{env->content, overlay(std::move(values), env->values)}});
    }
    return makeView(Node{nodes::Environment{content, std::move(values)}});
}

// A modifier that sets one environment value for its content.
template <class Field, class Value>
View withOne(const View& content, Field EnvironmentValues::*field, Value value) {
    EnvironmentValues values;
    values.*field = std::move(value);
    return withEnvironment(content, std::move(values));
}

}  // namespace

View makeView(Node node) { return View{std::make_shared<const Node>(std::move(node))}; }

View View::font(Font f) const { return withOne(*this, &EnvironmentValues::font, f); }
View View::monospacedDigit() const { return withOne(*this, &EnvironmentValues::monospacedDigit, true); }
View View::foregroundStyle(Color color) const { return withOne(*this, &EnvironmentValues::foregroundStyle, color); }
View View::lineLimit(int lines) const { return withOne(*this, &EnvironmentValues::lineLimit, lines); }
View View::minimumScaleFactor(double factor) const {
    return withOne(*this, &EnvironmentValues::minimumScaleFactor, factor);
}
View View::multilineTextAlignment(TextAlignment alignment) const {
    return withOne(*this, &EnvironmentValues::multilineTextAlignment, alignment);
}
View View::disabled(bool isDisabled) const { return withOne(*this, &EnvironmentValues::disabled, isDisabled); }
View View::buttonStyle(ButtonStyle style) const { return withOne(*this, &EnvironmentValues::buttonStyle, style); }
View View::widgetAccentable(bool accentable) const {
    return withOne(*this, &EnvironmentValues::widgetAccentable, accentable);
}
View View::accessibilityHidden(bool hidden) const {
    return withOne(*this, &EnvironmentValues::accessibilityHidden, hidden);
}

View View::frame(std::optional<double> width, std::optional<double> height, Alignment alignment) const {
    return makeView(Node{nodes::Frame{*this, width, height, alignment}});
}

View View::frame(std::optional<double> minWidth, std::optional<double> maxWidth, std::optional<double> minHeight,
                 std::optional<double> maxHeight, Alignment alignment) const {
    return makeView(Node{nodes::FlexFrame{*this, minWidth, maxWidth, minHeight, maxHeight, alignment}});
}

View View::padding(EdgeInsets insets) const { return makeView(Node{nodes::Padding{*this, insets}}); }

View View::padding(Edges edges, double length) const {
    EdgeInsets insets;
    bool vertical = edges == Edges::all || edges == Edges::vertical;
    bool horizontal = edges == Edges::all || edges == Edges::horizontal;
    if (vertical || edges == Edges::top) insets.top = length;
    if (vertical || edges == Edges::bottom) insets.bottom = length;
    if (horizontal || edges == Edges::leading) insets.leading = length;
    if (horizontal || edges == Edges::trailing) insets.trailing = length;
    return padding(insets);
}

View View::background(View behind, Alignment alignment) const {
    return makeView(Node{nodes::Background{*this, std::move(behind), alignment}});
}

View View::fill(Color color) const {
    if (node) {
        if (const auto* shape = std::get_if<nodes::Shape>(&node->value)) {
            auto filled = *shape;
            filled.fill = color;
            return makeView(Node{filled});
        }
    }
    return foregroundStyle(color);
}

View View::accessibilityLabel(std::string label) const {
    return makeView(Node{nodes::AccessibilityLabel{*this, std::move(label)}});
}

View View::widgetURL(std::optional<std::string> url) const {
    return makeView(Node{nodes::WidgetURL{*this, std::move(url)}});
}

View View::containerBackground(Color color) const {
    return makeView(Node{nodes::ContainerBackground{*this, color}});
}

View VStack(HorizontalAlignment alignment, double spacing, std::vector<View> children) {
    return makeView(Node{nodes::VStack{alignment, spacing, std::move(children)}});
}
View HStack(VerticalAlignment alignment, double spacing, std::vector<View> children) {
    return makeView(Node{nodes::HStack{alignment, spacing, std::move(children)}});
}
View Spacer(double minLength) { return makeView(Node{nodes::Spacer{minLength}}); }
View Text(std::string string) { return makeView(Node{nodes::Text{std::move(string)}}); }
View TimerText(Date from) { return makeView(Node{nodes::TimerText{from}}); }
View Label(std::string title, std::string systemImage) {
    return makeView(Node{nodes::Label{std::move(title), std::move(systemImage)}});
}
View Image(std::string systemName) { return makeView(Node{nodes::Image{std::move(systemName)}}); }
View Circle() { return makeView(Node{nodes::Shape{ShapeKind::circle, CornerStyle::circular, std::nullopt}}); }
View Capsule(CornerStyle style) { return makeView(Node{nodes::Shape{ShapeKind::capsule, style, std::nullopt}}); }
View Rectangle() { return makeView(Node{nodes::Shape{ShapeKind::rectangle, CornerStyle::circular, std::nullopt}}); }
View Divider() { return makeView(Node{nodes::Divider{}}); }
View Button(IntentValue intent, View label) {
    return makeView(Node{nodes::Button{std::move(intent), std::move(label)}});
}

std::string timerText(Date from, Date now) {
    double elapsed = now.secondsSince(from);
    std::int64_t total = 0;
    // Beyond about 292 billion years the count would overflow; no widget lives that long.
    if (std::isfinite(elapsed) && elapsed > 0) total = static_cast<std::int64_t>(std::min(elapsed, 9.0e15));
    // Formatted by hand: every live timer of every window does this each second.
    char text[32];
    char* end = std::to_chars(text, text + 20, total / 3600).ptr;
    for (int part : {static_cast<int>(total % 3600 / 60), static_cast<int>(total % 60)}) {
        *end++ = ':';
        *end++ = static_cast<char>('0' + part / 10);
        *end++ = static_cast<char>('0' + part % 10);
    }
    return std::string(text, end);
}

}  // namespace platform::views
