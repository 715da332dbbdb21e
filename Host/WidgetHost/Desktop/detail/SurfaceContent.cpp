#include "Host/WidgetHost/Desktop/detail/SurfaceContent.hpp"

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <variant>

#include "Host/WidgetHost/WidgetScheduler.hpp"

namespace widgethost::desktop::detail {

std::vector<AccessibleButton> accessibleButtons(const std::vector<platform::views::ButtonRegion>& buttons) {
    std::vector<AccessibleButton> out;
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const auto& button = buttons[i];
        if (button.accessibilityHidden || !(button.frame.width > 0) || !(button.frame.height > 0)) continue;
        out.push_back({i, button.accessibilityLabel, button.enabled, button.frame});
    }
    return out;
}

namespace {

void collectTexts(const platform::views::View& view, bool hidden, std::vector<ReadableText>& out) {
    namespace nodes = platform::views::nodes;
    if (!view.node) return;
    std::visit(
        [&](const auto& n) {
            using N = std::decay_t<decltype(n)>;
            if constexpr (std::is_same_v<N, nodes::VStack> || std::is_same_v<N, nodes::HStack>) {
                for (const auto& child : n.children) collectTexts(child, hidden, out);
            } else if constexpr (std::is_same_v<N, nodes::Text>) {
                if (!hidden) out.push_back({n.string, std::nullopt});
            } else if constexpr (std::is_same_v<N, nodes::TimerText>) {
                if (!hidden) out.push_back({"", n.from});
            } else if constexpr (std::is_same_v<N, nodes::Label>) {
                if (!hidden && !n.title.empty()) out.push_back({n.title, std::nullopt});
            } else if constexpr (std::is_same_v<N, nodes::Button>) {
                collectTexts(n.label, hidden, out);
            } else if constexpr (std::is_same_v<N, nodes::AccessibilityLabel>) {
                if (!hidden) out.push_back({n.label, std::nullopt});
            } else if constexpr (std::is_same_v<N, nodes::Environment>) {
                bool hides = n.values.accessibilityHidden && *n.values.accessibilityHidden;
                collectTexts(n.content, hidden || hides, out);
            } else if constexpr (std::is_same_v<N, nodes::Background>) {
                collectTexts(n.content, hidden, out);
                collectTexts(n.background, hidden, out);
            } else if constexpr (requires { n.content; }) {
                collectTexts(n.content, hidden, out);
            }
        },
        view.node->value);
}

}  // namespace

std::vector<ReadableText> readableTexts(const platform::views::View& root) {
    std::vector<ReadableText> out;
    collectTexts(root, false, out);
    return out;
}

std::string accessibleText(const std::vector<ReadableText>& texts, platform::Date now) {
    std::string out;
    for (const auto& readable : texts) {
        std::string timer = readable.timerFrom ? platform::views::timerText(*readable.timerFrom, now) : std::string();
        const std::string& text = readable.timerFrom ? timer : readable.text;
        if (std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t' || c == '\n'; })) continue;
        if (!out.empty()) out += '\n';
        out += text;
    }
    return out;
}

std::optional<std::vector<platform::views::Rect>> changedTexts(const platform::views::Layout& before,
                                                               const platform::views::Layout& after) {
    namespace draw = platform::views::draw;
    if (before.commands.size() != after.commands.size() || before.size != after.size ||
        before.containerBackground != after.containerBackground)
        return std::nullopt;
    std::vector<platform::views::Rect> frames;
    for (std::size_t i = 0; i < before.commands.size(); ++i) {
        const auto* a = std::get_if<draw::Text>(&before.commands[i]);
        const auto* b = std::get_if<draw::Text>(&after.commands[i]);
        if (a && b) {
            if (a->text == b->text && a->frame == b->frame && a->font == b->font && a->color == b->color &&
                a->maxLines == b->maxLines && a->alignment == b->alignment && a->wrapWidth == b->wrapWidth)
                continue;
            // Glyphs may reach a little beyond their frame; a margin keeps their edges clean.
            for (const auto& f : {a->frame, b->frame}) frames.push_back({f.x - 2, f.y - 2, f.width + 4, f.height + 4});
            continue;
        }
        if (before.commands[i].index() != after.commands[i].index()) return std::nullopt;
        const auto* sa = std::get_if<draw::Shape>(&before.commands[i]);
        const auto* sb = std::get_if<draw::Shape>(&after.commands[i]);
        if (sa && !(sa->frame == sb->frame && sa->kind == sb->kind && sa->style == sb->style && sa->color == sb->color))
            return std::nullopt;
        const auto* ya = std::get_if<draw::Symbol>(&before.commands[i]);
        const auto* yb = std::get_if<draw::Symbol>(&after.commands[i]);
        if (ya && !(ya->frame == yb->frame && ya->name == yb->name && ya->font == yb->font && ya->color == yb->color))
            return std::nullopt;
    }
    return frames;
}

unsigned millisecondsToNextSecond(platform::Date now) {
    // Windows tick when the host's pictures do, so that a timer turns over with the second.
    return static_cast<unsigned>(
        std::ceil(widgethost::WidgetScheduler::nextTick(now).millisecondsSince1970 - now.millisecondsSince1970));
}

std::size_t buttonAt(const std::vector<platform::views::ButtonRegion>& buttons, double x, double y) {
    for (std::size_t i = buttons.size(); i-- > 0;)
        if (buttons[i].frame.contains(x, y)) return i;
    return buttons.size();
}

platform::views::RGBA pressedShade(platform::views::Appearance appearance) {
    if (appearance == platform::views::Appearance::dark) return {1, 1, 1, 0.16};
    return {0, 0, 0, 0.14};
}

double pressedShadeRadius(const platform::views::Rect& frame) {
    return std::max(0.0, std::min(frame.width, frame.height) / 2);
}

}  // namespace widgethost::desktop::detail
