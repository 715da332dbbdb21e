#include "Platform/Views/ViewJson.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string_view>
#include <type_traits>

#include <nlohmann/json.hpp>

#include "Platform/System/JsonDate.hpp"
#include "Platform/System/JsonText.hpp"
#include "Platform/Views/detail/EnvironmentFields.hpp"
#include "Platform/Widgets/Protocol.hpp"

namespace platform::views {
namespace {

using nlohmann::json;

// Bounds that keep a hostile tree from exhausting the stack or the layout's time.
constexpr int maxDepth = 96;
constexpr int maxNodes = 20000;
constexpr double maxLength = 100000;

// ---- writing ------------------------------------------------------------------------------------
// Straight to text, without a tree: a node's keys are gathered first, since modifiers put theirs on
// the node they modify, then written in the order json::dump gives them (sorted), with numbers and
// strings printed as nlohmann/json prints them.

const char* name(HorizontalAlignment a) {
    switch (a) {
    case HorizontalAlignment::leading: return "leading";
    case HorizontalAlignment::center: return "center";
    case HorizontalAlignment::trailing: return "trailing";
    }
    return "center";
}
const char* name(VerticalAlignment a) {
    switch (a) {
    case VerticalAlignment::top: return "top";
    case VerticalAlignment::center: return "center";
    case VerticalAlignment::bottom: return "bottom";
    }
    return "center";
}
const char* name(TextAlignment a) {
    switch (a) {
    case TextAlignment::leading: return "leading";
    case TextAlignment::center: return "center";
    case TextAlignment::trailing: return "trailing";
    }
    return "leading";
}
const char* name(ShapeKind k) {
    switch (k) {
    case ShapeKind::circle: return "circle";
    case ShapeKind::capsule: return "capsule";
    case ShapeKind::rectangle: return "rectangle";
    }
    return "rectangle";
}
const char* name(ButtonStyle s) { return s == ButtonStyle::plain ? "plain" : "automatic"; }

// Whether `v` rounded to `digits` significant digits reads back as `v`.
bool readsBack(double v, int digits) {
    char text[40];
    std::snprintf(text, sizeof text, "%.*e", digits - 1, v);
    return std::strtod(text, nullptr) == v;
}

// The shortest "%g" text, with at least six significant digits, that reads back as exactly `v`.
// Neither std::to_chars nor a loop of snprintf: the former brings libm into the program (its
// rounding-mode calls), the latter is slow. nlohmann/json's Grisu2 gives digits that read back,
// nearly always the fewest; up to six of them they are what "%.6g" prints.
void appendExactNumber(std::string& out, double v) {
    char text[40];
    // Whole numbers, as most font sizes are, without the cost of formatting a double.
    if (v == std::trunc(v) && std::fabs(v) < 1e9) {
        auto end = std::to_chars(text, text + sizeof text, static_cast<long long>(v)).ptr;
        out.append(text, static_cast<std::size_t>(end - text));
        return;
    }
    if (!std::isfinite(v)) {
        if (std::signbit(v)) out += '-';
        out += std::isnan(v) ? "nan" : "inf";
        return;
    }
    char digits[32];
    int length = 0;
    int exponent = 0;  // |v| = digits × 10^exponent
    nlohmann::detail::dtoa_impl::grisu2(digits, length, exponent, std::fabs(v));
    while (length > 1 && digits[length - 1] == '0') {
        --length;
        ++exponent;
    }
    if (length > 6 || std::fabs(v) < std::numeric_limits<double>::min()) {
        // More than six digits (or a subnormal, whose digits are not its nearest six): the fewest
        // that read back, then "%.*g" at that precision, as exact as printf is.
        while (length > 1 && readsBack(v, length - 1)) --length;
        int written = std::snprintf(text, sizeof text, "%.*g", std::max(6, length), v);
        out.append(text, static_cast<std::size_t>(written));
        return;
    }
    // "%.6g" of these digits: fixed notation for decimal exponents from -4 up to 5, else scientific.
    if (v < 0) out += '-';
    int decimal = exponent + length - 1;  // the exponent of the first digit
    if (decimal >= -4 && decimal < 6) {
        if (decimal < 0) {
            out += "0.";
            out.append(static_cast<std::size_t>(-decimal - 1), '0');
            out.append(digits, static_cast<std::size_t>(length));
        } else if (length <= decimal + 1) {
            out.append(digits, static_cast<std::size_t>(length));
            out.append(static_cast<std::size_t>(decimal + 1 - length), '0');
        } else {
            out.append(digits, static_cast<std::size_t>(decimal + 1));
            out += '.';
            out.append(digits + decimal + 1, static_cast<std::size_t>(length - decimal - 1));
        }
        return;
    }
    out += digits[0];
    if (length > 1) {
        out += '.';
        out.append(digits + 1, static_cast<std::size_t>(length - 1));
    }
    // "e+05", "e-07", "e+123": a sign and at least two digits.
    out += decimal < 0 ? "e-" : "e+";
    if (std::abs(decimal) < 10) out += '0';
    auto end = std::to_chars(text, text + sizeof text, std::abs(decimal)).ptr;
    out.append(text, static_cast<std::size_t>(end - text));
}

// A component that 8 bits represent exactly, as colours from brand hex values are. One outside
// 0…1 has no two hex digits and is written as a number.
bool eightBit(double v) { return v >= 0 && v <= 1 && std::round(v * 255) / 255.0 == v; }
bool eightBit(const RGBA& c) { return eightBit(c.red) && eightBit(c.green) && eightBit(c.blue) && eightBit(c.alpha); }

// "#RRGGBB" or "#RRGGBBAA", without quotes. By hand, as printf's code would be paged in for it alone.
void appendHex(std::string& out, const RGBA& c) {
    auto appendByte = [&out](double v) {
        static constexpr char digits[] = "0123456789ABCDEF";
        auto byte = static_cast<unsigned>(std::lround(v * 255));
        out += digits[byte >> 4 & 0xF];
        out += digits[byte & 0xF];
    };
    out += '#';
    appendByte(c.red);
    appendByte(c.green);
    appendByte(c.blue);
    if (c.alpha != 1) appendByte(c.alpha);
}

void writeRgba(std::string& out, const RGBA& c) {
    if (eightBit(c)) {
        out += '"';
        appendHex(out, c);
        out += '"';
        return;
    }
    out += '[';
    for (double v : {c.red, c.green, c.blue, c.alpha}) {
        if (out.back() != '[') out += ',';
        appendJsonDouble(out, v);
    }
    out += ']';
}

// Colours stay small on the wire: "primary", "secondary*0.15", "#EC84FF", [r, g, b, a] for
// other sRGB values, {"light": ..., "dark": ...} for dynamic ones; opacity after a '*' or as a key.
void writeColor(std::string& out, const Color& c) {
    auto named = [&](const char* base) {
        out += '"';
        out += base;
        if (c.opacity != 1) {
            out += '*';
            appendExactNumber(out, c.opacity);
        }
        out += '"';
    };
    auto opacityKey = [&] {
        if (c.opacity == 1) return;
        out += R"(,"opacity":)";
        appendJsonDouble(out, c.opacity);
    };
    switch (c.kind) {
    case Color::Kind::primary: return named("primary");
    case Color::Kind::secondary: return named("secondary");
    case Color::Kind::srgb:
        if (eightBit(c.light)) {
            std::string hex;
            appendHex(hex, c.light);
            return named(hex.c_str());
        }
        out += '{';
        if (c.opacity != 1) {
            out += R"("opacity":)";
            appendJsonDouble(out, c.opacity);
            out += ',';
        }
        out += R"("srgb":)";
        writeRgba(out, c.light);
        out += '}';
        return;
    case Color::Kind::dynamic:
        out += R"({"dark":)";
        writeRgba(out, c.dark);
        out += R"(,"light":)";
        writeRgba(out, c.light);
        opacityKey();
        out += '}';
        return;
    }
    named("primary");
}

// "13/semibold", "26/semibold/rounded/mono".
void writeFont(std::string& out, const Font& f) {
    out += '"';
    appendExactNumber(out, f.size);
    out += '/';
    out += toString(f.weight);
    if (f.design == FontDesign::rounded) out += "/rounded";
    if (f.monospacedDigit) out += "/mono";
    out += '"';
}

// Alignment as one word: "center", "leading", "top", "topLeading", "bottomTrailing", ...
void writeAlignment(std::string& out, const Alignment& a) {
    out += '"';
    if (a.vertical == VerticalAlignment::center) {
        out += name(a.horizontal);
    } else {
        out += name(a.vertical);
        if (a.horizontal == HorizontalAlignment::leading) out += "Leading";
        if (a.horizontal == HorizontalAlignment::trailing) out += "Trailing";
    }
    out += '"';
}

void writeName(std::string& out, const char& literal) {
    out += '"';
    out += &literal;
    out += '"';
}
void writeRaw(std::string& out, const char& literal) { out += &literal; }
void writeString(std::string& out, const std::string& s) { appendJsonString(out, s); }
void writeNumber(std::string& out, const double& v) { appendJsonNumber(out, v); }
void writeLength(std::string& out, const double& v) {
    if (std::isinf(v)) out += R"("infinity")";
    else appendJsonNumber(out, v);
}
void writeDate(std::string& out, const Date& d) { appendJsonNumber(out, d.millisecondsSince1970); }
void writeBool(std::string& out, const bool& v) { out += v ? "true" : "false"; }
void writeInt(std::string& out, const int& v) { appendJsonNumber(out, v); }
void writeTextAlignment(std::string& out, const TextAlignment& a) { writeName(out, *name(a)); }
void writeButtonStyle(std::string& out, const ButtonStyle& s) { writeName(out, *name(s)); }
void writeInsets(std::string& out, const EdgeInsets& e) {
    out += '[';
    appendJsonNumber(out, e.top);
    out += ',';
    appendJsonNumber(out, e.leading);
    out += ',';
    appendJsonNumber(out, e.bottom);
    out += ',';
    appendJsonNumber(out, e.trailing);
    out += ']';
}
void writeURL(std::string& out, const std::optional<std::string>& url) {
    if (url) appendJsonString(out, *url);
    else out += "null";
}
// {"intent": NAME, "parameters": {KEY: STRING or null}}, its keys already in order.
void writeIntent(std::string& out, const IntentValue& intent) {
    out += R"({"intent":)";
    appendJsonString(out, intent.type);
    out += R"(,"parameters":{)";
    bool first = true;
    for (const auto& [key, value] : intent.parameters) {
        if (!first) out += ',';
        first = false;
        appendJsonString(out, key);
        out += ':';
        writeURL(out, value);
    }
    out += "}}";
}
void writeView(std::string& out, const View& view);
void writeViews(std::string& out, const std::vector<View>& views) {
    out += '[';
    for (std::size_t i = 0; i < views.size(); ++i) {
        if (i > 0) out += ',';
        writeView(out, views[i]);
    }
    out += ']';
}

bool isEnvironmentKey(std::string_view key) {
    bool found = false;
    detail::forEachEnvironmentField([&](const char* k, auto, detail::Merge) { found = found || key == k; });
    return found;
}

// The keys of one node's object, each with what writes its value; values point into the view.
class Fields {
public:
    template <auto write, class T>
    void set(std::string_view key, const T& value) {
        auto thunk = [](std::string& out, const void* v) { write(out, *static_cast<const T*>(v)); };
        for (std::size_t i = 0; i < size_; ++i)
            if (items_[i].key == key) {
                items_[i] = {key, thunk, &value};
                return;
            }
        items_[size_++] = {key, thunk, &value};
    }
    void name(std::string_view key, const char* literal) { set<writeName>(key, *literal); }
    void type(const char* literal) { name("type", literal); }
    void clear() { size_ = 0; }

    bool has(std::string_view key) const {
        for (std::size_t i = 0; i < size_; ++i)
            if (items_[i].key == key) return true;
        return false;
    }
    bool hasModifierKeys() const {
        for (std::size_t i = 0; i < size_; ++i)
            if (items_[i].key == "accessibilityLabel" || isEnvironmentKey(items_[i].key)) return true;
        return false;
    }

    void write(std::string& out) {
        std::sort(items_.begin(), items_.begin() + static_cast<std::ptrdiff_t>(size_),
                  [](const Field& a, const Field& b) { return a.key < b.key; });
        out += '{';
        for (std::size_t i = 0; i < size_; ++i) {
            if (i > 0) out += ',';
            out += '"';
            out += items_[i].key;
            out += "\":";
            items_[i].write(out, items_[i].value);
        }
        out += '}';
    }

private:
    struct Field {
        std::string_view key;
        void (*write)(std::string& out, const void* value);
        const void* value;
    };
    // A base node's keys, every environment key and a label: fewer than this.
    std::array<Field, 24> items_;
    std::size_t size_ = 0;
};

void setEnvironment(Fields& fields, const EnvironmentValues& v) {
    detail::forEachEnvironmentField([&](const char* key, auto member, detail::Merge) {
        const auto& value = v.*member;
        if (!value) return;
        using T = std::decay_t<decltype(*value)>;
        if constexpr (std::is_same_v<T, Font>) fields.set<writeFont>(key, *value);
        else if constexpr (std::is_same_v<T, Color>) fields.set<writeColor>(key, *value);
        else if constexpr (std::is_same_v<T, double>) fields.set<writeNumber>(key, *value);
        else if constexpr (std::is_same_v<T, int>) fields.set<writeInt>(key, *value);
        else if constexpr (std::is_same_v<T, bool>) fields.set<writeBool>(key, *value);
        else if constexpr (std::is_same_v<T, TextAlignment>) fields.set<writeTextAlignment>(key, *value);
        else fields.set<writeButtonStyle>(key, *value);
    });
}

void gather(Fields& fields, const View& view);

bool isModifier(const View& view) {
    return view.node && (std::holds_alternative<nodes::Environment>(view.node->value) ||
                         std::holds_alternative<nodes::AccessibilityLabel>(view.node->value));
}

struct Gatherer {
    Fields& f;

    void wrapper(const char* type, const View& content) {
        f.type(type);
        f.set<writeView>("content", content);
    }
    void operator()(const nodes::VStack& n) {
        f.type("vstack");
        f.name("alignment", name(n.alignment));
        f.set<writeNumber>("spacing", n.spacing);
        f.set<writeViews>("children", n.children);
    }
    void operator()(const nodes::HStack& n) {
        f.type("hstack");
        f.name("alignment", name(n.alignment));
        f.set<writeNumber>("spacing", n.spacing);
        f.set<writeViews>("children", n.children);
    }
    void operator()(const nodes::Spacer& n) {
        f.type("spacer");
        f.set<writeNumber>("minLength", n.minLength);
    }
    void operator()(const nodes::Text& n) {
        f.type("text");
        f.set<writeString>("text", n.string);
    }
    void operator()(const nodes::TimerText& n) {
        f.type("timer");
        f.set<writeDate>("from", n.from);
    }
    void operator()(const nodes::Label& n) {
        f.type("label");
        f.set<writeString>("title", n.title);
        f.set<writeString>("systemImage", n.systemImage);
    }
    void operator()(const nodes::Image& n) {
        f.type("image");
        f.set<writeString>("systemName", n.systemName);
    }
    void operator()(const nodes::Shape& n) {
        f.type("shape");
        f.name("shape", name(n.kind));
        if (n.style == CornerStyle::continuous) f.name("style", "continuous");
        if (n.fill) f.set<writeColor>("fill", *n.fill);
    }
    void operator()(const nodes::Divider&) { f.type("divider"); }
    void operator()(const nodes::Button& n) {
        f.type("button");
        f.set<writeIntent>("intent", n.intent);
        f.set<writeView>("label", n.label);
    }
    void operator()(const nodes::Frame& n) {
        wrapper("frame", n.content);
        f.set<writeAlignment>("alignment", n.alignment);
        if (n.width) f.set<writeNumber>("width", *n.width);
        if (n.height) f.set<writeNumber>("height", *n.height);
    }
    void operator()(const nodes::FlexFrame& n) {
        wrapper("flexFrame", n.content);
        f.set<writeAlignment>("alignment", n.alignment);
        if (n.minWidth) f.set<writeLength>("minWidth", *n.minWidth);
        if (n.maxWidth) f.set<writeLength>("maxWidth", *n.maxWidth);
        if (n.minHeight) f.set<writeLength>("minHeight", *n.minHeight);
        if (n.maxHeight) f.set<writeLength>("maxHeight", *n.maxHeight);
    }
    void operator()(const nodes::Padding& n) {
        wrapper("padding", n.content);
        f.set<writeInsets>("insets", n.insets);
    }
    void operator()(const nodes::Background& n) {
        wrapper("background", n.content);
        f.set<writeView>("background", n.background);
        f.set<writeAlignment>("alignment", n.alignment);
    }
    // Modifiers travel as keys of the node they modify, which keeps the tree small; a wrapper
    // node is written only where the content already carries such keys, so order is kept.
    void operator()(const nodes::Environment& n) {
        gather(f, n.content);
        if (isModifier(n.content) && f.hasModifierKeys()) {
            f.clear();
            wrapper("environment", n.content);
        }
        setEnvironment(f, n.values);
    }
    void operator()(const nodes::AccessibilityLabel& n) {
        gather(f, n.content);
        bool labelled = n.content.node && std::holds_alternative<nodes::AccessibilityLabel>(n.content.node->value) &&
                        f.has("accessibilityLabel");
        if (!labelled) {
            f.set<writeString>("accessibilityLabel", n.label);
            return;
        }
        f.clear();
        wrapper("accessibilityLabel", n.content);
        f.set<writeString>("label", n.label);
    }
    void operator()(const nodes::WidgetURL& n) {
        wrapper("widgetURL", n.content);
        f.set<writeURL>("url", n.url);
    }
    void operator()(const nodes::ContainerBackground& n) {
        wrapper("containerBackground", n.content);
        f.set<writeColor>("color", n.color);
    }
};

void gather(Fields& fields, const View& view) {
    if (!view.node) {
        fields.type("vstack");
        fields.name("alignment", "center");
        fields.set<writeRaw>("spacing", *"0");
        fields.set<writeRaw>("children", *"[]");
        return;
    }
    std::visit(Gatherer{fields}, view.node->value);
}

void writeView(std::string& out, const View& view) {
    Fields fields;
    gather(fields, view);
    fields.write(out);
}

// ---- reading ------------------------------------------------------------------------------------

struct ReadError {
    std::string message;
};

[[noreturn]] void fail(const std::string& message) { throw ReadError{message}; }

bool validUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<unsigned char>(s[i]);
        int extra;
        std::uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= s.size()) return false;
        for (int k = 1; k <= extra; ++k) {
            auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

class Reader {
public:
    View node(const json& j, const std::string& path, int depth) {
        if (depth > maxDepth) fail(path + ": the tree is nested too deeply");
        if (!j.is_object()) fail(path + ": a node must be an object");
        // Modifier keys on a node: its environment first, then its accessibility label.
        View view = bare(j, path, depth);
        bool environmentKeysHere = false;
        const json* label = nullptr;
        for (auto it = j.begin(); it != j.end(); ++it) {
            if (it.key() == "accessibilityLabel") label = &it.value();
            else environmentKeysHere = environmentKeysHere || isEnvironmentKey(it.key());
        }
        if (environmentKeysHere && j.find("type")->get_ref<const std::string&>() != "environment")
            view = makeView(Node{nodes::Environment{view, environment(j, path)}});
        if (label && !label->is_null()) {
            if (!label->is_string() || !validUtf8(label->get_ref<const std::string&>()))
                fail(path + ".accessibilityLabel: expected a string");
            view = view.accessibilityLabel(label->get<std::string>());
        }
        return view;
    }

    View bare(const json& j, const std::string& path, int depth) {
        if (++count_ > maxNodes) fail(path + ": the tree has too many nodes");
        auto type = string(j, "type", path);
        auto child = [&](const char* key) { return node(member(j, key, path), path + "." + key, depth + 1); };

        if (type == "vstack") {
            return VStack(horizontal(string(j, "alignment", path), path), number(j, "spacing", path, -maxLength, maxLength),
                          list(j, path, depth));
        }
        if (type == "hstack") {
            return HStack(vertical(string(j, "alignment", path), path), number(j, "spacing", path, -maxLength, maxLength),
                          list(j, path, depth));
        }
        if (type == "spacer") return Spacer(number(j, "minLength", path, 0, maxLength));
        if (type == "text") return Text(text(j, "text", path));
        if (type == "timer") {
            double ms = number(j, "from", path, -1e17, 1e17);
            return TimerText(Date::fromMilliseconds(ms));
        }
        if (type == "label") return Label(text(j, "title", path), text(j, "systemImage", path));
        if (type == "image") return Image(text(j, "systemName", path));
        if (type == "shape") {
            nodes::Shape shape;
            auto kind = string(j, "shape", path);
            if (kind == "circle") shape.kind = ShapeKind::circle;
            else if (kind == "capsule") shape.kind = ShapeKind::capsule;
            else if (kind == "rectangle") shape.kind = ShapeKind::rectangle;
            else fail(path + ".shape: unknown shape \"" + kind + "\"");
            if (auto style = optionalMember(j, "style")) {
                if (!style->is_string()) fail(path + ".style: expected a string");
                const auto& s = style->get_ref<const std::string&>();
                if (s == "continuous") shape.style = CornerStyle::continuous;
                else if (s == "circular") shape.style = CornerStyle::circular;
                else fail(path + ".style: unknown corner style \"" + s + "\"");
            }
            if (auto fill = optionalMember(j, "fill")) shape.fill = color(*fill, path + ".fill");
            return makeView(Node{shape});
        }
        if (type == "divider") return Divider();
        if (type == "button") {
            auto intent = platform::protocol::decodeIntent(member(j, "intent", path));
            if (!intent) fail(path + ".intent: expected {\"intent\": name, \"parameters\": {key: string or null}}");
            if (!validUtf8(intent->type)) fail(path + ".intent: not UTF-8");
            return Button(std::move(*intent), child("label"));
        }
        if (type == "frame") {
            auto width = optionalNumber(j, "width", path, 0, maxLength);
            auto height = optionalNumber(j, "height", path, 0, maxLength);
            return child("content").frame(width, height, alignment(j, path));
        }
        if (type == "flexFrame") {
            auto minWidth = optionalLength(j, "minWidth", path);
            auto maxWidth = optionalLength(j, "maxWidth", path);
            auto minHeight = optionalLength(j, "minHeight", path);
            auto maxHeight = optionalLength(j, "maxHeight", path);
            if ((minWidth && std::isinf(*minWidth)) || (minHeight && std::isinf(*minHeight)))
                fail(path + ": a minimum cannot be infinite");
            return child("content").frame(minWidth, maxWidth, minHeight, maxHeight, alignment(j, path));
        }
        if (type == "padding") {
            const auto& insets = member(j, "insets", path);
            if (!insets.is_array() || insets.size() != 4) fail(path + ".insets: expected [top, leading, bottom, trailing]");
            double v[4];
            for (int i = 0; i < 4; ++i) v[i] = finite(insets[static_cast<std::size_t>(i)], path + ".insets", 0, maxLength);
            return child("content").padding(EdgeInsets{v[0], v[1], v[2], v[3]});
        }
        if (type == "background") {
            auto content = child("content");
            return content.background(child("background"), alignment(j, path));
        }
        if (type == "environment") return makeView(Node{nodes::Environment{child("content"), environment(j, path)}});
        if (type == "accessibilityLabel") return child("content").accessibilityLabel(text(j, "label", path));
        if (type == "widgetURL") {
            // Null says the widget opens nothing when clicked.
            const auto* url = optionalMember(j, "url");
            if (!url) return child("content").widgetURL(std::nullopt);
            if (!url->is_string() || !validUtf8(url->get_ref<const std::string&>())) fail(path + ".url: expected a string");
            return child("content").widgetURL(url->get<std::string>());
        }
        if (type == "containerBackground") {
            return child("content").containerBackground(color(member(j, "color", path), path + ".color"));
        }
        fail(path + ": unknown node type \"" + type + "\"");
    }

private:
    int count_ = 0;

    static const json& member(const json& j, const char* key, const std::string& path) {
        auto it = j.find(key);
        if (it == j.end() || it->is_null()) fail(path + ": missing \"" + key + "\"");
        return *it;
    }
    static const json* optionalMember(const json& j, const char* key) {
        auto it = j.find(key);
        if (it == j.end() || it->is_null()) return nullptr;
        return &*it;
    }
    static std::string string(const json& j, const char* key, const std::string& path) {
        const auto& v = member(j, key, path);
        if (!v.is_string()) fail(path + "." + key + ": expected a string");
        return v.get<std::string>();
    }
    static std::string text(const json& j, const char* key, const std::string& path) {
        auto s = string(j, key, path);
        if (!validUtf8(s)) fail(path + "." + key + ": not UTF-8");
        return s;
    }
    static double finite(const json& v, const std::string& path, double low, double high) {
        if (!v.is_number()) fail(path + ": expected a number");
        double d = v.get<double>();
        if (!std::isfinite(d) || d < low || d > high) fail(path + ": number out of range");
        return d;
    }
    static double number(const json& j, const char* key, const std::string& path, double low, double high) {
        return finite(member(j, key, path), path + "." + key, low, high);
    }
    static std::optional<double> optionalNumber(const json& j, const char* key, const std::string& path, double low,
                                                double high) {
        auto v = optionalMember(j, key);
        if (!v) return std::nullopt;
        return finite(*v, path + "." + key, low, high);
    }
    static std::optional<double> optionalLength(const json& j, const char* key, const std::string& path) {
        auto v = optionalMember(j, key);
        if (!v) return std::nullopt;
        if (v->is_string() && v->get_ref<const std::string&>() == "infinity") return infinity;
        return finite(*v, path + "." + key, 0, maxLength);
    }
    static HorizontalAlignment horizontal(const std::string& s, const std::string& path) {
        if (s == "leading") return HorizontalAlignment::leading;
        if (s == "center") return HorizontalAlignment::center;
        if (s == "trailing") return HorizontalAlignment::trailing;
        fail(path + ": unknown horizontal alignment \"" + s + "\"");
    }
    static VerticalAlignment vertical(const std::string& s, const std::string& path) {
        if (s == "top") return VerticalAlignment::top;
        if (s == "center") return VerticalAlignment::center;
        if (s == "bottom") return VerticalAlignment::bottom;
        fail(path + ": unknown vertical alignment \"" + s + "\"");
    }
    static Alignment alignment(const json& j, const std::string& path) {
        const auto& a = member(j, "alignment", path);
        if (a.is_string()) {
            const auto& n = a.get_ref<const std::string&>();
            static const std::pair<const char*, Alignment> names[] = {
                {"center", {HorizontalAlignment::center, VerticalAlignment::center}},
                {"leading", {HorizontalAlignment::leading, VerticalAlignment::center}},
                {"trailing", {HorizontalAlignment::trailing, VerticalAlignment::center}},
                {"top", {HorizontalAlignment::center, VerticalAlignment::top}},
                {"bottom", {HorizontalAlignment::center, VerticalAlignment::bottom}},
                {"topLeading", {HorizontalAlignment::leading, VerticalAlignment::top}},
                {"topTrailing", {HorizontalAlignment::trailing, VerticalAlignment::top}},
                {"bottomLeading", {HorizontalAlignment::leading, VerticalAlignment::bottom}},
                {"bottomTrailing", {HorizontalAlignment::trailing, VerticalAlignment::bottom}},
            };
            for (const auto& [key, value] : names)
                if (n == key) return value;
        }
        fail(path + ".alignment: expected an alignment such as \"center\" or \"topLeading\"");
    }
    // A number written with enough digits to read back exactly; the whole text must be the number.
    static std::optional<double> exactNumberFrom(const std::string& text) {
        if (text.empty() || text.size() > 32) return std::nullopt;
        char* end = nullptr;
        double v = std::strtod(text.c_str(), &end);
        if (end != text.c_str() + text.size() || !std::isfinite(v)) return std::nullopt;
        return v;
    }
    static RGBA rgba(const json& j, const std::string& path) {
        if (j.is_string()) {
            const auto& s = j.get_ref<const std::string&>();
            if ((s.size() == 7 || s.size() == 9) && s[0] == '#') {
                unsigned bytes[4] = {0, 0, 0, 255};
                bool ok = true;
                for (std::size_t i = 0; i < (s.size() - 1) / 2; ++i) {
                    auto hex = s.substr(1 + 2 * i, 2);
                    char* end = nullptr;
                    bytes[i] = static_cast<unsigned>(std::strtoul(hex.c_str(), &end, 16));
                    ok = ok && end == hex.c_str() + 2 && std::isxdigit(static_cast<unsigned char>(hex[0]));
                }
                if (ok) return {bytes[0] / 255.0, bytes[1] / 255.0, bytes[2] / 255.0, bytes[3] / 255.0};
            }
            fail(path + ": expected #RRGGBB or #RRGGBBAA");
        }
        if (!j.is_array() || j.size() != 4) fail(path + ": expected #RRGGBB or [red, green, blue, alpha]");
        return {finite(j[0], path, 0, 1), finite(j[1], path, 0, 1), finite(j[2], path, 0, 1), finite(j[3], path, 0, 1)};
    }
    static Color color(const json& j, const std::string& path) {
        if (j.is_string()) {
            const auto& s = j.get_ref<const std::string&>();
            auto star = s.find('*');
            std::string base = s.substr(0, star);
            Color c;
            if (base == "primary") c = Color::primary();
            else if (base == "secondary") c = Color::secondary();
            else if (!base.empty() && base[0] == '#') {
                auto v = rgba(json(base), path);
                c = Color::srgb(v.red, v.green, v.blue, v.alpha);
            } else {
                fail(path + ": unknown colour \"" + s + "\"");
            }
            if (star != std::string::npos) {
                auto opacity = exactNumberFrom(s.substr(star + 1));
                if (!opacity || *opacity < 0 || *opacity > 1) fail(path + ": bad opacity in \"" + s + "\"");
                c.opacity = *opacity;
            }
            return c;
        }
        if (!j.is_object()) fail(path + ": expected a colour");
        Color c;
        if (const auto* srgb = optionalMember(j, "srgb")) {
            auto v = rgba(*srgb, path + ".srgb");
            c = Color::srgb(v.red, v.green, v.blue, v.alpha);
        } else if (optionalMember(j, "light") || optionalMember(j, "dark")) {
            c = Color::dynamic(rgba(member(j, "light", path), path + ".light"), rgba(member(j, "dark", path), path + ".dark"));
        } else {
            fail(path + ": expected a colour");
        }
        if (auto opacity = optionalNumber(j, "opacity", path, 0, 1)) c.opacity = *opacity;
        return c;
    }
    static Font font(const json& j, const std::string& path) {
        if (!j.is_string()) fail(path + ": expected a font such as \"13/semibold\"");
        const auto& s = j.get_ref<const std::string&>();
        std::vector<std::string> parts;
        for (std::size_t start = 0;;) {
            auto slash = s.find('/', start);
            parts.push_back(s.substr(start, slash - start));
            if (slash == std::string::npos) break;
            start = slash + 1;
        }
        Font f;
        auto size = exactNumberFrom(parts[0]);
        if (!size || *size < 0.5 || *size > 1000 || parts.size() < 2) fail(path + ": bad font \"" + s + "\"");
        f.size = *size;
        bool known = false;
        for (auto w : {FontWeight::ultraLight, FontWeight::thin, FontWeight::light, FontWeight::regular,
                       FontWeight::medium, FontWeight::semibold, FontWeight::bold, FontWeight::heavy, FontWeight::black}) {
            if (toString(w) == parts[1]) {
                f.weight = w;
                known = true;
            }
        }
        if (!known) fail(path + ": unknown weight in \"" + s + "\"");
        for (std::size_t i = 2; i < parts.size(); ++i) {
            if (parts[i] == "rounded" && f.design == FontDesign::standard && !f.monospacedDigit) f.design = FontDesign::rounded;
            else if (parts[i] == "mono" && !f.monospacedDigit) f.monospacedDigit = true;
            else fail(path + ": unknown font trait in \"" + s + "\"");
        }
        return f;
    }
    static void value(const json& j, const std::string& path, Font& out) { out = font(j, path); }
    static void value(const json& j, const std::string& path, Color& out) { out = color(j, path); }
    static void value(const json& j, const std::string& path, bool& out) {
        if (!j.is_boolean()) fail(path + ": expected true or false");
        out = j.get<bool>();
    }
    // The whole-number value is a line count, the fraction a scale factor.
    static void value(const json& j, const std::string& path, int& out) {
        if (!j.is_number_integer() || j.get<std::int64_t>() < 1 || j.get<std::int64_t>() > 1000)
            fail(path + ": expected a whole number from 1 to 1000");
        out = j.get<int>();
    }
    static void value(const json& j, const std::string& path, double& out) { out = finite(j, path, 0.01, 1); }
    static void value(const json& j, const std::string& path, TextAlignment& out) {
        if (j == "leading") out = TextAlignment::leading;
        else if (j == "center") out = TextAlignment::center;
        else if (j == "trailing") out = TextAlignment::trailing;
        else fail(path + ": unknown alignment");
    }
    static void value(const json& j, const std::string& path, ButtonStyle& out) {
        if (j == "plain") out = ButtonStyle::plain;
        else if (j == "automatic") out = ButtonStyle::automatic;
        else fail(path + ": unknown style");
    }
    static EnvironmentValues environment(const json& j, const std::string& path) {
        EnvironmentValues v;
        detail::forEachEnvironmentField([&](const char* key, auto member, detail::Merge) {
            if (const json* found = optionalMember(j, key)) value(*found, path + "." + key, (v.*member).emplace());
        });
        return v;
    }
    std::vector<View> list(const json& j, const std::string& path, int depth) {
        const auto& items = member(j, "children", path);
        if (!items.is_array()) fail(path + ".children: expected an array");
        std::vector<View> out;
        out.reserve(items.size());
        for (std::size_t i = 0; i < items.size(); ++i)
            out.push_back(node(items[i], path + ".children[" + std::to_string(i) + "]", depth + 1));
        return out;
    }
};

}  // namespace

void appendJson(std::string& out, const View& view) { writeView(out, view); }

json toJson(const View& view) {
    std::string text;
    writeView(text, view);
    return json::parse(text);
}

std::optional<View> viewFromJson(const json& j, std::string* error) {
    try {
        return Reader{}.node(j, "view", 0);
    } catch (const ReadError& e) {
        if (error) *error = e.message;
    } catch (const json::exception& e) {
        if (error) *error = std::string("view: ") + e.what();
    }
    return std::nullopt;
}

}  // namespace platform::views
