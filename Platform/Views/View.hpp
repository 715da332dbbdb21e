#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "Platform/Intents/Intent.hpp"
#include "Platform/System/Date.hpp"
#include "Platform/Views/Color.hpp"
#include "Platform/Views/Font.hpp"

// Immutable view values. A view is a shared pointer to one node of a tree; modifiers wrap a view
// in a new node and never change the one they are called on, so views can be shared freely.
namespace platform::views {

enum class HorizontalAlignment { leading, center, trailing };
enum class VerticalAlignment { top, center, bottom };
enum class TextAlignment { leading, center, trailing };
enum class ShapeKind { circle, capsule, rectangle };
enum class CornerStyle { circular, continuous };
enum class ButtonStyle { automatic, plain };

struct Alignment {
    HorizontalAlignment horizontal = HorizontalAlignment::center;
    VerticalAlignment vertical = VerticalAlignment::center;

    static constexpr Alignment center() { return {}; }
    static constexpr Alignment leading() { return {HorizontalAlignment::leading, VerticalAlignment::center}; }
    static constexpr Alignment trailing() { return {HorizontalAlignment::trailing, VerticalAlignment::center}; }
    static constexpr Alignment top() { return {HorizontalAlignment::center, VerticalAlignment::top}; }
    static constexpr Alignment topLeading() { return {HorizontalAlignment::leading, VerticalAlignment::top}; }
    friend bool operator==(const Alignment&, const Alignment&) = default;
};

struct EdgeInsets {
    double top = 0;
    double leading = 0;
    double bottom = 0;
    double trailing = 0;
    friend bool operator==(const EdgeInsets&, const EdgeInsets&) = default;
};

/// Which edges a padding applies to.
enum class Edges { all, horizontal, vertical, top, leading, bottom, trailing };

/// A value that stands for "as much as offered" in frames.
inline constexpr double infinity = __builtin_huge_val();

struct Node;

/// A view: a node of an immutable tree. Default-constructed, it is an empty view.
struct View {
    std::shared_ptr<const Node> node;

    // Text and environment modifiers; they apply to everything inside.
    View font(Font font) const;
    View monospacedDigit() const;
    View foregroundStyle(Color color) const;
    View lineLimit(int lines) const;
    View minimumScaleFactor(double factor) const;
    View multilineTextAlignment(TextAlignment alignment) const;
    /// Disables the buttons inside when `disabled` is true; false leaves the inherited state alone.
    View disabled(bool disabled) const;
    View buttonStyle(ButtonStyle style) const;
    View widgetAccentable(bool accentable = true) const;
    View accessibilityHidden(bool hidden) const;

    // Layout modifiers.
    /// A frame of fixed width and/or height; an absent dimension is the content's own.
    View frame(std::optional<double> width, std::optional<double> height, Alignment alignment = {}) const;
    /// A flexible frame; `infinity` as a maximum takes all the space offered.
    View frame(std::optional<double> minWidth, std::optional<double> maxWidth, std::optional<double> minHeight,
               std::optional<double> maxHeight, Alignment alignment) const;
    View padding(EdgeInsets insets) const;
    View padding(Edges edges, double length) const;
    /// Draws `background` behind this view, proposed exactly this view's size.
    View background(View background, Alignment alignment = {}) const;
    /// Fills a shape with a colour (on shapes; elsewhere the same as `foregroundStyle`).
    View fill(Color color) const;

    // Accessibility and widget modifiers.
    View accessibilityLabel(std::string label) const;
    /// The link the widget opens when clicked outside a button.
    View widgetURL(std::optional<std::string> url) const;
    /// The widget's background, filling the whole widget behind the content margins.
    View containerBackground(Color color) const;
};

/// Environment changes that a modifier makes for its content; absent fields inherit.
struct EnvironmentValues {
    std::optional<Font> font;
    std::optional<bool> monospacedDigit;
    std::optional<Color> foregroundStyle;
    std::optional<int> lineLimit;
    std::optional<double> minimumScaleFactor;
    std::optional<TextAlignment> multilineTextAlignment;
    std::optional<bool> disabled;
    std::optional<ButtonStyle> buttonStyle;
    std::optional<bool> widgetAccentable;
    std::optional<bool> accessibilityHidden;
    friend bool operator==(const EnvironmentValues&, const EnvironmentValues&) = default;
};

namespace nodes {

struct VStack {
    HorizontalAlignment alignment = HorizontalAlignment::center;
    double spacing = 0;
    std::vector<View> children;
};
struct HStack {
    VerticalAlignment alignment = VerticalAlignment::center;
    double spacing = 0;
    std::vector<View> children;
};
struct Spacer {
    double minLength = 0;
};
struct Text {
    std::string string;
};
/// A text that counts up from `from`, advanced by the host every second.
struct TimerText {
    Date from;
};
struct Label {
    std::string title;
    std::string systemImage;
};
struct Image {
    std::string systemName;
};
struct Shape {
    ShapeKind kind = ShapeKind::rectangle;
    CornerStyle style = CornerStyle::circular;
    std::optional<Color> fill;  // absent: the foreground style
};
struct Divider {};
struct Button {
    IntentValue intent;
    View label;
};
struct Frame {
    View content;
    std::optional<double> width;
    std::optional<double> height;
    Alignment alignment;
};
struct FlexFrame {
    View content;
    std::optional<double> minWidth;
    std::optional<double> maxWidth;
    std::optional<double> minHeight;
    std::optional<double> maxHeight;
    Alignment alignment;
};
struct Padding {
    View content;
    EdgeInsets insets;
};
struct Background {
    View content;
    View background;
    Alignment alignment;
};
struct Environment {
    View content;
    EnvironmentValues values;
};
struct AccessibilityLabel {
    View content;
    std::string label;
};
struct WidgetURL {
    View content;
    std::optional<std::string> url;
};
struct ContainerBackground {
    View content;
    Color color;
};

}  // namespace nodes

struct Node {
    std::variant<nodes::VStack, nodes::HStack, nodes::Spacer, nodes::Text, nodes::TimerText, nodes::Label,
                 nodes::Image, nodes::Shape, nodes::Divider, nodes::Button, nodes::Frame, nodes::FlexFrame,
                 nodes::Padding, nodes::Background, nodes::Environment, nodes::AccessibilityLabel, nodes::WidgetURL,
                 nodes::ContainerBackground>
        value;
};

View makeView(Node node);

View VStack(HorizontalAlignment alignment, double spacing, std::vector<View> children);
View HStack(VerticalAlignment alignment, double spacing, std::vector<View> children);
View Spacer(double minLength = 8);
View Text(std::string content);
/// A live timer text showing the time elapsed since `from` as hours, minutes and seconds.
View TimerText(Date from);
View Label(std::string title, std::string systemImage);
View Image(std::string systemName);
View Circle();
View Capsule(CornerStyle style = CornerStyle::circular);
View Rectangle();
View Divider();
/// A button that runs `intent` when pressed; everything visible is its label.
View Button(IntentValue intent, View label);

/// Hours, minutes and seconds elapsed from `from` to `now` as "H:MM:SS"; zero before `from`.
std::string timerText(Date from, Date now);

}  // namespace platform::views
