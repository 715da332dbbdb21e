#include "Host/WidgetHost/Desktop/detail/SurfaceContent.hpp"

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <variant>

#include "Platform/Views/TextEngine.hpp"

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

namespace {

// A timer reads what the window shows of it, which is the host's clock's and not the reader's.
const std::string& shownTimerText(const ReadableText& readable, const platform::views::Layout& shown) {
    for (const auto& timer : shown.liveTimers)
        if (timer.from == *readable.timerFrom && timer.text < shown.texts.size()) return shown.texts[timer.text];
    return readable.text;
}

}  // namespace

std::string accessibleText(const std::vector<ReadableText>& texts, const platform::views::Layout& shown) {
    std::string out;
    for (const auto& readable : texts) {
        const std::string& text = readable.timerFrom ? shownTimerText(readable, shown) : readable.text;
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

std::vector<platform::views::Rect> repaintParts(const platform::views::Layout& after,
                                                const std::vector<platform::views::Rect>& changed) {
    std::vector<platform::views::Rect> parts;
    for (const auto& frame : changed) {
        auto timer = std::find_if(after.liveTimers.begin(), after.liveTimers.end(), [&](const auto& t) {
            const auto* text = std::get_if<platform::views::draw::Text>(&after.commands[t.command]);
            return text && text->frame == frame;
        });
        if (timer == after.liveTimers.end()) {
            parts.push_back(frame);
            continue;
        }
        parts.push_back(platform::views::liveTextBounds(std::get<platform::views::draw::Text>(after.commands[timer->command])));
    }
    return parts;
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
