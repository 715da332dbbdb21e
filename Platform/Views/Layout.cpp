#include "Platform/Views/Layout.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <numeric>

#include "Platform/Views/ShownText.hpp"
#include "Platform/Views/Symbols.hpp"
#include "Platform/Views/detail/EnumNames.hpp"

// The layout follows the protocol of declarative stacks: a parent proposes a size, the child
// chooses its own size, and the parent places it. It runs in three passes over the tree:
//
//   1. Resolve: walk the view tree once, folding modifiers into each node's environment (font,
//      colours, limits, enabled flag) and noting the stack axis that spacers and dividers follow.
//   2. Measure: answer "what size do you choose for this proposal?" for any node, memoised per
//      node and proposal, since stacks ask each child several times.
//   3. Place: from the root down, give every node its frame and emit draw commands, boxes,
//      button regions and texts in painting order.
namespace platform::views {
namespace {

enum class Axis { horizontal, vertical };

// A proposed size; infinity stands for "as much as you like".
struct Proposal {
    double width = 0;
    double height = 0;
    friend bool operator==(const Proposal&, const Proposal&) = default;
};

double along(Axis axis, Size s) { return axis == Axis::horizontal ? s.width : s.height; }
double across(Axis axis, Size s) { return axis == Axis::horizontal ? s.height : s.width; }
double along(Axis axis, Proposal p) { return axis == Axis::horizontal ? p.width : p.height; }
double across(Axis axis, Proposal p) { return axis == Axis::horizontal ? p.height : p.width; }
Proposal make(Axis axis, double alongValue, double acrossValue) {
    return axis == Axis::horizontal ? Proposal{alongValue, acrossValue} : Proposal{acrossValue, alongValue};
}

// What a node sees of the modifiers around it.
struct Env {
    Font font = Font::system(13);
    bool monospacedDigit = false;
    Color foreground = Color::primary();
    std::optional<int> lineLimit;
    double minimumScaleFactor = 1;
    TextAlignment textAlignment = TextAlignment::leading;
    bool enabled = true;
    ButtonStyle buttonStyle = ButtonStyle::automatic;
    bool accentable = false;
    bool hidden = false;

    Font resolvedFont() const {
        Font f = font;
        f.monospacedDigit = f.monospacedDigit || monospacedDigit;
        return f;
    }
};

Env applied(Env env, const EnvironmentValues& v) {
    if (v.font) env.font = *v.font;
    if (v.monospacedDigit && *v.monospacedDigit) env.monospacedDigit = true;
    if (v.foregroundStyle) env.foreground = *v.foregroundStyle;
    if (v.lineLimit) env.lineLimit = *v.lineLimit;
    if (v.minimumScaleFactor) env.minimumScaleFactor = *v.minimumScaleFactor;
    if (v.multilineTextAlignment) env.textAlignment = *v.multilineTextAlignment;
    if (v.disabled && *v.disabled) env.enabled = false;
    if (v.buttonStyle) env.buttonStyle = *v.buttonStyle;
    if (v.widgetAccentable) env.accentable = *v.widgetAccentable;
    if (v.accessibilityHidden && *v.accessibilityHidden) env.hidden = true;
    return env;
}

enum class Kind {
    empty, vstack, hstack, spacer, text, label, image, shape, divider, button, frame, flexFrame, padding,
    background, passThrough
};

// The chosen size for one proposal, with what placement needs to repeat the decision.
struct Measured {
    Size size;
    double fontScale = 1;               // texts and labels
    int lines = 0;                      // texts and labels: the line limit they were measured with
    Size textSize;                      // labels: the title's part
    std::vector<Size> childSizes;       // stacks
    std::vector<Proposal> childProposals;  // stacks
};

struct Item {
    const Node* node = nullptr;
    Kind kind = Kind::empty;
    Env env;
    std::vector<int> children;  // stacks: children; wrappers: content (then background); buttons: label
    std::optional<Axis> stackAxis;  // of the stack this node sits in
    std::optional<std::string> accessibilityLabel;
    std::string text;  // texts and live timers, as shown
    std::deque<std::pair<Proposal, Measured>> memo;
};

// Automatic-style buttons draw a rounded bezel around their label.
constexpr EdgeInsets bezelInsets{3, 8, 3, 8};
constexpr double dividerThickness = 1;
const Color separatorColor = Color::primary().withOpacity(0.15);

double alignedOffset(double available, double size, HorizontalAlignment a) {
    switch (a) {
    case HorizontalAlignment::leading: return 0;
    case HorizontalAlignment::center: return (available - size) / 2;
    case HorizontalAlignment::trailing: return available - size;
    }
    return 0;
}
double alignedOffset(double available, double size, VerticalAlignment a) {
    switch (a) {
    case VerticalAlignment::top: return 0;
    case VerticalAlignment::center: return (available - size) / 2;
    case VerticalAlignment::bottom: return available - size;
    }
    return 0;
}

std::string number(double v) {
    if (std::isinf(v)) return "inf";
    char text[48];
    std::snprintf(text, sizeof text, "%.2f", v);
    std::string s = text;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    if (s == "-0") s = "0";
    return s;
}

using detail::name;
std::string name(Alignment a) { return std::string(name(a.horizontal)) + "/" + name(a.vertical); }

std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\n') out += "\\n";
        else if (c == '"' || c == '\\') (out += '\\') += c;
        else out += c;
    }
    return out + "\"";
}

std::string describe(const IntentValue& intent) {
    std::string out = intent.type;
    if (intent.parameters.empty()) return out;
    out += "(";
    bool first = true;
    for (const auto& [key, value] : intent.parameters) {
        if (!first) out += ", ";
        first = false;
        out += key + "=" + (value ? quoted(*value) : std::string("nil"));
    }
    return out + ")";
}

class Engine {
public:
    Engine(const LayoutOptions& options, const TextMeasurer& measurer)
        : options_(options), measurer_(measurer), recordBoxes_(options.placedBoxes == PlacedBoxes::recorded) {}

    Layout run(const View& root) {
        out_.size = options_.size;
        out_.cornerRadius = options_.cornerRadius;
        double m = options_.contentMargin;
        out_.contentFrame = {m, m, std::max(0.0, options_.size.width - 2 * m), std::max(0.0, options_.size.height - 2 * m)};

        items_.reserve(128);
        int top = resolve(root, Env{}, std::nullopt, std::nullopt);

        // The root is offered the content area and centred in it.
        Proposal area{out_.contentFrame.width, out_.contentFrame.height};
        Size size = measure(top, area).size;
        place(top, out_.contentFrame.x + (area.width - size.width) / 2, out_.contentFrame.y + (area.height - size.height) / 2,
              area, 0);
        return std::move(out_);
    }

private:
    const LayoutOptions& options_;
    const TextMeasurer& measurer_;
    std::vector<Item> items_;
    Layout out_;
    bool recordBoxes_;

    // ---- Pass 1: resolve ---------------------------------------------------------------------

    int add(Item item) {
        items_.push_back(std::move(item));
        return static_cast<int>(items_.size()) - 1;
    }

    // `label` is an accessibility label on the way down to the first node that is not a modifier.
    int resolve(const View& view, const Env& env, std::optional<Axis> axis, std::optional<std::string> label) {
        Item item;
        item.env = env;
        item.stackAxis = axis;
        if (!view.node) return add(std::move(item));
        item.node = view.node.get();

        auto leaf = [&](Kind kind) {
            item.kind = kind;
            item.accessibilityLabel = std::move(label);
            return add(std::move(item));
        };
        auto wrapper = [&](Kind kind, const View& content, const Env& inner) {
            item.kind = kind;
            int id = add(std::move(item));
            int child = resolve(content, inner, axis, std::move(label));
            items_[static_cast<std::size_t>(id)].children.push_back(child);
            return id;
        };
        auto stack = [&](Kind kind, Axis stackAxis, const std::vector<View>& children) {
            item.kind = kind;
            item.accessibilityLabel = std::move(label);
            int id = add(std::move(item));
            for (const auto& child : children) {
                int c = resolve(child, env, stackAxis, std::nullopt);
                items_[static_cast<std::size_t>(id)].children.push_back(c);
            }
            return id;
        };

        const auto& value = view.node->value;
        if (const auto* n = std::get_if<nodes::VStack>(&value)) return stack(Kind::vstack, Axis::vertical, n->children);
        if (const auto* n = std::get_if<nodes::HStack>(&value)) return stack(Kind::hstack, Axis::horizontal, n->children);
        if (std::holds_alternative<nodes::Spacer>(value)) return leaf(Kind::spacer);
        if (const auto* n = std::get_if<nodes::Text>(&value)) {
            item.text = shownPart(n->string);
            return leaf(Kind::text);
        }
        if (const auto* n = std::get_if<nodes::TimerText>(&value)) {
            item.text = timerText(n->from, options_.now);
            out_.hasLiveTimers = true;
            return leaf(Kind::text);
        }
        if (const auto* n = std::get_if<nodes::Label>(&value)) {
            item.text = shownPart(n->title);
            return leaf(Kind::label);
        }
        if (std::holds_alternative<nodes::Image>(value)) return leaf(Kind::image);
        if (std::holds_alternative<nodes::Shape>(value)) return leaf(Kind::shape);
        if (std::holds_alternative<nodes::Divider>(value)) return leaf(Kind::divider);
        if (const auto* n = std::get_if<nodes::Button>(&value)) {
            item.kind = Kind::button;
            item.accessibilityLabel = std::move(label);
            int id = add(std::move(item));
            int child = resolve(n->label, env, std::nullopt, std::nullopt);
            items_[static_cast<std::size_t>(id)].children.push_back(child);
            return id;
        }
        if (const auto* n = std::get_if<nodes::Frame>(&value)) return wrapper(Kind::frame, n->content, env);
        if (const auto* n = std::get_if<nodes::FlexFrame>(&value)) return wrapper(Kind::flexFrame, n->content, env);
        if (const auto* n = std::get_if<nodes::Padding>(&value)) return wrapper(Kind::padding, n->content, env);
        if (const auto* n = std::get_if<nodes::Background>(&value)) {
            int id = wrapper(Kind::background, n->content, env);
            int behind = resolve(n->background, env, std::nullopt, std::nullopt);
            items_[static_cast<std::size_t>(id)].children.push_back(behind);
            return id;
        }
        if (const auto* n = std::get_if<nodes::Environment>(&value)) {
            return wrapper(Kind::passThrough, n->content, applied(env, n->values));
        }
        if (const auto* n = std::get_if<nodes::AccessibilityLabel>(&value)) {
            label = n->label;
            return wrapper(Kind::passThrough, n->content, env);
        }
        if (const auto* n = std::get_if<nodes::WidgetURL>(&value)) {
            // The outermost link wins, as the one the widget as a whole declares.
            if (!out_.widgetURL && n->url) out_.widgetURL = n->url;
            return wrapper(Kind::passThrough, n->content, env);
        }
        if (const auto* n = std::get_if<nodes::ContainerBackground>(&value)) {
            if (!out_.containerBackground) out_.containerBackground = n->color;
            return wrapper(Kind::passThrough, n->content, env);
        }
        return add(std::move(item));
    }

    // ---- Pass 2: measure ---------------------------------------------------------------------

    const Measured& measure(int id, Proposal p) {
        auto& item = items_[static_cast<std::size_t>(id)];
        for (const auto& [proposal, measured] : item.memo)
            if (proposal == p) return measured;
        Measured m = compute(item, p);
        item.memo.emplace_back(p, std::move(m));
        return item.memo.back().second;
    }

    Measured compute(const Item& item, Proposal p) {
        p.width = std::max(0.0, p.width);
        p.height = std::max(0.0, p.height);
        switch (item.kind) {
        case Kind::empty: return {};
        case Kind::vstack:
            return stack(item, p, Axis::vertical, std::get<nodes::VStack>(item.node->value).spacing);
        case Kind::hstack:
            return stack(item, p, Axis::horizontal, std::get<nodes::HStack>(item.node->value).spacing);
        case Kind::spacer: {
            double min = std::get<nodes::Spacer>(item.node->value).minLength;
            // A spacer grows along its stack's axis only; outside a stack it takes what it is offered.
            if (item.stackAxis == Axis::horizontal) return sized({std::max(min, p.width), 0});
            if (item.stackAxis == Axis::vertical) return sized({0, std::max(min, p.height)});
            return sized({std::max(min, p.width), std::max(min, p.height)});
        }
        case Kind::text: return text(item.text, item.env, p);
        case Kind::label: return label(std::get<nodes::Label>(item.node->value), item.text, item.env, p);
        case Kind::image:
            return sized(symbolSize(std::get<nodes::Image>(item.node->value).systemName, item.env.resolvedFont()));
        case Kind::shape: return sized({p.width, p.height});
        case Kind::divider:
            if (item.stackAxis == Axis::horizontal) return sized({dividerThickness, p.height});
            return sized({p.width, dividerThickness});
        case Kind::button: {
            if (item.env.buttonStyle == ButtonStyle::plain) return sized(measure(item.children[0], p).size);
            const auto& b = bezelInsets;
            Size s = measure(item.children[0], inset(p, b)).size;
            return sized({s.width + b.leading + b.trailing, s.height + b.top + b.bottom});
        }
        case Kind::frame: {
            const auto& f = std::get<nodes::Frame>(item.node->value);
            Size child = measure(item.children[0], frameProposal(f, p)).size;
            return sized({f.width.value_or(child.width), f.height.value_or(child.height)});
        }
        case Kind::flexFrame: {
            const auto& f = std::get<nodes::FlexFrame>(item.node->value);
            Size child = measure(item.children[0], flexProposal(f, p)).size;
            return sized({flexDimension(child.width, p.width, f.minWidth, f.maxWidth),
                          flexDimension(child.height, p.height, f.minHeight, f.maxHeight)});
        }
        case Kind::padding: {
            const auto& e = std::get<nodes::Padding>(item.node->value).insets;
            Size s = measure(item.children[0], inset(p, e)).size;
            return sized({s.width + e.leading + e.trailing, s.height + e.top + e.bottom});
        }
        case Kind::background:
        case Kind::passThrough: return sized(measure(item.children[0], p).size);
        }
        return {};
    }

    static Measured sized(Size s) {
        Measured m;
        m.size = s;
        return m;
    }

    static Proposal inset(Proposal p, const EdgeInsets& e) {
        return {std::max(0.0, p.width - e.leading - e.trailing), std::max(0.0, p.height - e.top - e.bottom)};
    }

    static Proposal frameProposal(const nodes::Frame& f, Proposal p) {
        return {f.width.value_or(p.width), f.height.value_or(p.height)};
    }

    static Proposal flexProposal(const nodes::FlexFrame& f, Proposal p) {
        auto clampTo = [](double v, std::optional<double> lo, std::optional<double> hi) {
            if (lo) v = std::max(v, *lo);
            if (hi) v = std::min(v, *hi);
            return v;
        };
        return {clampTo(p.width, f.minWidth, f.maxWidth), clampTo(p.height, f.minHeight, f.maxHeight)};
    }

    // A flexible frame is its content's size, pulled towards the proposal within its bounds: an
    // infinite maximum takes everything offered, a minimum never gives less.
    static double flexDimension(double child, double proposed, std::optional<double> lo, std::optional<double> hi) {
        double r = child;
        if (lo) r = std::max(*lo, std::min(r, proposed));
        if (hi) r = std::min(*hi, std::max(r, proposed));
        return r;
    }

    // Stacks: each child is asked for its smallest and largest size along the axis; the difference
    // is its flexibility. Less flexible children are sized first, each offered an equal share of
    // what is left after the minimums of the more flexible ones are set aside, so that fixed
    // content gets what it needs and spacers and infinite frames share what remains; children of
    // equal flexibility share equally.
    Measured stack(const Item& item, Proposal p, Axis axis, double spacing) {
        Measured m;
        const auto& children = item.children;
        std::size_t n = children.size();
        m.childSizes.assign(n, Size{});
        m.childProposals.assign(n, Proposal{});
        if (n == 0) return m;

        double gaps = spacing * static_cast<double>(n - 1);
        double available = along(axis, p) - gaps;
        double cross = across(axis, p);

        std::vector<double> mins(n), flex(n);
        for (std::size_t i = 0; i < n; ++i) {
            mins[i] = along(axis, measure(children[i], make(axis, 0, cross)).size);
            double max = along(axis, measure(children[i], make(axis, infinity, cross)).size);
            flex[i] = max - mins[i];
        }
        std::vector<std::size_t> order(n);
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return flex[a] < flex[b]; });

        double reserved = std::accumulate(mins.begin(), mins.end(), 0.0);
        double remaining = available;
        for (std::size_t first = 0; first < n;) {
            std::size_t end = first;
            while (end < n && flex[order[end]] == flex[order[first]]) ++end;
            for (std::size_t k = first; k < end; ++k) reserved -= mins[order[k]];
            for (std::size_t k = first; k < end; ++k) {
                std::size_t i = order[k];
                double share = std::max(0.0, (remaining - reserved) / static_cast<double>(end - k));
                Proposal offer = make(axis, share, cross);
                Size s = measure(children[i], offer).size;
                m.childProposals[i] = offer;
                m.childSizes[i] = s;
                remaining -= along(axis, s);
            }
            first = end;
        }

        double total = gaps, thickness = 0;
        for (const auto& s : m.childSizes) {
            total += along(axis, s);
            thickness = std::max(thickness, across(axis, s));
        }
        m.size = axis == Axis::horizontal ? Size{total, thickness} : Size{thickness, total};
        return m;
    }

    // Texts wrap at the offered width and show no more lines than their limit or the offered
    // height allows (always at least one). A text that does not fit shrinks, down to its minimum
    // scale factor, before it is cut with an ellipsis.
    Measured text(const std::string& content, const Env& env, Proposal p) {
        Font base = env.resolvedFont();
        int limit = env.lineLimit.value_or(0);
        struct Attempt {
            TextMeasurement measurement;
            int maxLines = 0;
            double scale = 1;
        };
        auto attempt = [&](double scale) {
            Font f = base.scaled(scale);
            int lines = limit;
            if (std::isfinite(p.height)) {
                double lineHeight = measurer_.lineHeight(f);
                int fit = lineHeight > 0 ? std::max(1, static_cast<int>(std::floor((p.height + 1e-6) / lineHeight))) : 1;
                lines = lines > 0 ? std::min(lines, fit) : fit;
            }
            return Attempt{measurer_.measure(content, f, p.width, lines), lines, scale};
        };

        Attempt chosen = attempt(1);
        if (chosen.measurement.truncated && env.minimumScaleFactor < 1) {
            double low = env.minimumScaleFactor;
            chosen = attempt(low);
            if (!chosen.measurement.truncated) {
                // The largest scale that still fits, to within a few thousandths.
                double high = 1;
                for (int i = 0; i < 7; ++i) {
                    double mid = (low + high) / 2;
                    Attempt a = attempt(mid);
                    if (a.measurement.truncated) {
                        high = mid;
                    } else {
                        low = mid;
                        chosen = a;
                    }
                }
            }
        }
        Measured m;
        m.size = {std::min(chosen.measurement.width, p.width), chosen.measurement.height};
        m.fontScale = chosen.scale;
        m.lines = chosen.maxLines;
        m.textSize = m.size;
        return m;
    }

    // A label is its symbol, a gap and its title on one line; only the title shrinks or truncates.
    Measured label(const nodes::Label& n, const std::string& title, const Env& env, Proposal p) {
        Size icon = symbolSize(n.systemImage, env.resolvedFont());
        double gap = title.empty() ? 0 : labelSpacing(env.resolvedFont());
        Measured m;
        if (!title.empty()) m = text(title, env, {std::max(0.0, p.width - icon.width - gap), p.height});
        m.textSize = m.size;
        m.size = {icon.width + gap + m.textSize.width, std::max(icon.height, m.textSize.height)};
        return m;
    }

    // ---- Pass 3: place -----------------------------------------------------------------------

    // The placed tree with its descriptions is for dumps and tests; drawing does without it.
    template <class Describe>
    void box(int depth, const char* kind, Rect frame, Describe&& describeNode) {
        if (recordBoxes_) out_.boxes.push_back({depth, kind, describeNode(), frame});
    }

    template <class Command>
    void emit(const Env& env, Command command) {
        command.accent = env.accentable;
        out_.commands.push_back(std::move(command));
    }

    std::string leafFlags(const Env& env) const {
        std::string s;
        if (env.accentable) s += " accentable";
        if (env.hidden) s += " a11y-hidden";
        return s;
    }

    void place(int id, double x, double y, Proposal p, int depth) {
        const Item& item = items_[static_cast<std::size_t>(id)];
        const Measured& m = measure(id, p);
        Rect frame{x, y, m.size.width, m.size.height};
        const Env& env = item.env;
        auto a11y = [&] { return item.accessibilityLabel ? " label=" + quoted(*item.accessibilityLabel) : std::string(); };

        switch (item.kind) {
        case Kind::empty: return;
        case Kind::vstack:
        case Kind::hstack: {
            bool vertical = item.kind == Kind::vstack;
            Axis axis = vertical ? Axis::vertical : Axis::horizontal;
            double spacing = vertical ? std::get<nodes::VStack>(item.node->value).spacing
                                      : std::get<nodes::HStack>(item.node->value).spacing;
            box(depth, vertical ? "VStack" : "HStack", frame, [&] {
                std::string alignment = vertical ? name(std::get<nodes::VStack>(item.node->value).alignment)
                                                 : name(std::get<nodes::HStack>(item.node->value).alignment);
                return alignment + " spacing=" + number(spacing) + a11y();
            });
            // Copies: placing children may add memo entries, but never to this node.
            auto sizes = m.childSizes;
            auto proposals = m.childProposals;
            double position = vertical ? y : x;
            for (std::size_t i = 0; i < item.children.size(); ++i) {
                Size s = sizes[i];
                if (vertical) {
                    double dx = alignedOffset(frame.width, s.width, std::get<nodes::VStack>(item.node->value).alignment);
                    place(item.children[i], x + dx, position, proposals[i], depth + 1);
                } else {
                    double dy = alignedOffset(frame.height, s.height, std::get<nodes::HStack>(item.node->value).alignment);
                    place(item.children[i], position, y + dy, proposals[i], depth + 1);
                }
                position += along(axis, s) + spacing;
            }
            return;
        }
        case Kind::spacer:
            box(depth, "Spacer", frame, [&] { return std::string("min=" + number(std::get<nodes::Spacer>(item.node->value).minLength)); });
            return;
        case Kind::text: {
            Font font = env.resolvedFont().scaled(m.fontScale);
            box(depth, "Text", frame, [&] { return std::string(quoted(item.text) + " " + describe(font) + " " + describe(env.foreground) + lineDetails(env, m) + leafFlags(env) + a11y()); });
            emit(env, draw::Text{frame, item.text, font, env.foreground, m.lines, env.textAlignment, p.width});
            out_.texts.push_back(item.text);
            if (const auto* timer = std::get_if<nodes::TimerText>(&item.node->value))
                out_.liveTimers.push_back({out_.commands.size() - 1, out_.texts.size() - 1, timer->from});
            return;
        }
        case Kind::label: {
            const auto& n = std::get<nodes::Label>(item.node->value);
            Font font = env.resolvedFont();
            Size icon = symbolSize(n.systemImage, font);
            box(depth, "Label", frame, [&] { return std::string(quoted(item.text) + " symbol=" + n.systemImage + " " + describe(font.scaled(m.fontScale)) + " " + describe(env.foreground) + lineDetails(env, m) + leafFlags(env) + a11y()); });
            emit(env, draw::Symbol{{x, y + (frame.height - icon.height) / 2, icon.width, icon.height},
                                                 n.systemImage, font, env.foreground});
            if (!item.text.empty()) {
                double gap = labelSpacing(font);
                Rect t{x + icon.width + gap, y + (frame.height - m.textSize.height) / 2, m.textSize.width, m.textSize.height};
                emit(env, draw::Text{t, item.text, font.scaled(m.fontScale), env.foreground, m.lines,
                                                   env.textAlignment, std::max(0.0, p.width - icon.width - gap)});
                out_.texts.push_back(item.text);
            }
            return;
        }
        case Kind::image: {
            const auto& n = std::get<nodes::Image>(item.node->value);
            Font font = env.resolvedFont();
            box(depth, "Image", frame, [&] { return std::string(n.systemName + " " + describe(font) + " " + describe(env.foreground) + leafFlags(env) + a11y()); });
            emit(env, draw::Symbol{frame, n.systemName, font, env.foreground});
            return;
        }
        case Kind::shape: {
            const auto& n = std::get<nodes::Shape>(item.node->value);
            Color color = n.fill.value_or(env.foreground);
            box(depth, "Shape", frame, [&] { return std::string(std::string(name(n.kind)) + (n.style == CornerStyle::continuous ? " continuous" : "") + " fill=" + describe(color) + leafFlags(env) + a11y()); });
            emit(env, draw::Shape{frame, n.kind, n.style, color});
            return;
        }
        case Kind::divider:
            box(depth, "Divider", frame, [&] { return std::string(describe(separatorColor)); });
            emit(env, draw::Shape{frame, ShapeKind::rectangle, CornerStyle::circular, separatorColor});
            return;
        case Kind::button: {
            const auto& n = std::get<nodes::Button>(item.node->value);
            std::size_t firstText = out_.texts.size();
            std::size_t boxIndex = out_.boxes.size();
            box(depth, "Button", frame, [] { return std::string(); });
            if (env.buttonStyle == ButtonStyle::plain) {
                place(item.children[0], x, y, p, depth + 1);
            } else {
                emit(env, draw::Shape{frame, ShapeKind::capsule, CornerStyle::continuous,
                                                    Color::primary().withOpacity(0.1)});
                place(item.children[0], x + bezelInsets.leading, y + bezelInsets.top, inset(p, bezelInsets), depth + 1);
            }
            ButtonRegion region;
            region.frame = frame;
            region.intent = n.intent;
            region.enabled = env.enabled;
            region.accessibilityHidden = env.hidden;
            if (item.accessibilityLabel) {
                region.accessibilityLabel = *item.accessibilityLabel;
            } else {
                for (std::size_t i = firstText; i < out_.texts.size(); ++i) {
                    if (!region.accessibilityLabel.empty()) region.accessibilityLabel += " ";
                    region.accessibilityLabel += out_.texts[i];
                }
            }
            if (recordBoxes_)
                out_.boxes[boxIndex].details = describe(n.intent) + (env.enabled ? " enabled" : " disabled") +
                                           (env.buttonStyle == ButtonStyle::plain ? " plain" : " automatic") +
                                           (env.hidden ? " a11y-hidden" : "") + " label=" + quoted(region.accessibilityLabel);
            out_.buttons.push_back(std::move(region));
            return;
        }
        case Kind::frame: {
            const auto& f = std::get<nodes::Frame>(item.node->value);
            box(depth, "Frame", frame, [&] {
                std::string details;
                if (f.width) details += "width=" + number(*f.width) + " ";
                if (f.height) details += "height=" + number(*f.height) + " ";
                return details + name(f.alignment) + a11y();
            });
            placeAligned(item.children[0], frame, frameProposal(f, p), f.alignment, depth + 1);
            return;
        }
        case Kind::flexFrame: {
            const auto& f = std::get<nodes::FlexFrame>(item.node->value);
            box(depth, "Frame", frame, [&] {
                std::string details;
                if (f.minWidth) details += "minWidth=" + number(*f.minWidth) + " ";
                if (f.maxWidth) details += "maxWidth=" + number(*f.maxWidth) + " ";
                if (f.minHeight) details += "minHeight=" + number(*f.minHeight) + " ";
                if (f.maxHeight) details += "maxHeight=" + number(*f.maxHeight) + " ";
                return details + name(f.alignment) + a11y();
            });
            placeAligned(item.children[0], frame, flexProposal(f, p), f.alignment, depth + 1);
            return;
        }
        case Kind::padding: {
            const auto& e = std::get<nodes::Padding>(item.node->value).insets;
            box(depth, "Padding", frame, [&] { return std::string("top=" + number(e.top) + " leading=" + number(e.leading) + " bottom=" + number(e.bottom) + " trailing=" + number(e.trailing) + a11y()); });
            place(item.children[0], x + e.leading, y + e.top, inset(p, e), depth + 1);
            return;
        }
        case Kind::background: {
            const auto& n = std::get<nodes::Background>(item.node->value);
            box(depth, "Background", frame, [&] { return std::string(name(n.alignment) + a11y()); });
            // Behind first, so the content paints over it; it is offered exactly the content's size.
            placeAligned(item.children[1], frame, {frame.width, frame.height}, n.alignment, depth + 1);
            place(item.children[0], x, y, p, depth + 1);
            return;
        }
        case Kind::passThrough: place(item.children[0], x, y, p, depth); return;
        }
    }

    void placeAligned(int child, Rect frame, Proposal offer, Alignment alignment, int depth) {
        Size s = measure(child, offer).size;
        place(child, frame.x + alignedOffset(frame.width, s.width, alignment.horizontal),
              frame.y + alignedOffset(frame.height, s.height, alignment.vertical), offer, depth);
    }

    static std::string lineDetails(const Env& env, const Measured& m) {
        std::string s;
        if (env.lineLimit) s += " lineLimit=" + std::to_string(*env.lineLimit);
        if (env.minimumScaleFactor < 1) s += " minScale=" + number(env.minimumScaleFactor);
        if (m.fontScale < 1) s += " shrunk=" + number(m.fontScale);
        if (env.textAlignment != TextAlignment::leading)
            s += env.textAlignment == TextAlignment::center ? " align=center" : " align=trailing";
        return s;
    }
};

}  // namespace

Layout layOut(const View& root, const LayoutOptions& options, const TextMeasurer& measurer) {
    return Engine(options, measurer).run(root);
}

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Digits of one width may change in place; any other change may move what is around the text.
bool sameShape(const std::string& before, const std::string& after, const Font& font) {
    if (!font.monospacedDigit || before.size() != after.size()) return false;
    for (std::size_t i = 0; i < before.size(); ++i)
        if (before[i] != after[i] && !(isDigit(before[i]) && isDigit(after[i]))) return false;
    return true;
}

}  // namespace

std::optional<std::vector<Rect>> advanceLiveTimers(Layout& layout, Date now) {
    std::vector<std::pair<const LiveTimer*, std::string>> changes;
    for (const auto& timer : layout.liveTimers) {
        const auto& command = std::get<draw::Text>(layout.commands[timer.command]);
        std::string text = timerText(timer.from, now);
        if (text == command.text) continue;
        if (!sameShape(command.text, text, command.font)) return std::nullopt;
        changes.emplace_back(&timer, std::move(text));
    }
    std::vector<Rect> frames;
    for (auto& [timer, text] : changes) {
        auto& command = std::get<draw::Text>(layout.commands[timer->command]);
        layout.texts[timer->text] = text;
        command.text = std::move(text);
        frames.push_back(command.frame);
    }
    return frames;
}

std::string dump(const Layout& layout) {
    std::string out = "Widget " + number(layout.size.width) + "x" + number(layout.size.height);
    out += " content=" + number(layout.contentFrame.x) + "," + number(layout.contentFrame.y) + " " +
           number(layout.contentFrame.width) + "x" + number(layout.contentFrame.height);
    if (layout.containerBackground) out += " background=" + describe(*layout.containerBackground);
    if (layout.widgetURL) out += " url=" + *layout.widgetURL;
    if (layout.hasLiveTimers) out += " live";
    out += "\n";
    for (const auto& b : layout.boxes) {
        out.append(static_cast<std::size_t>(b.depth + 1) * 2, ' ');
        out += b.kind;
        if (!b.details.empty()) out += " " + b.details;
        out += " @" + number(b.frame.x) + "," + number(b.frame.y) + " " + number(b.frame.width) + "x" +
               number(b.frame.height) + "\n";
    }
    return out;
}

}  // namespace platform::views
