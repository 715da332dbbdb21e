#include "Platform/Views/ViewJson.hpp"

#include <cmath>

#include <nlohmann/json.hpp>

#include "Platform/System/JsonDate.hpp"
#include "Platform/Widgets/detail/Protocol.hpp"

namespace platform::views {
namespace {

using nlohmann::json;

// Bounds that keep a hostile tree from exhausting the stack or the layout's time.
constexpr int maxDepth = 96;
constexpr int maxNodes = 20000;
constexpr double maxLength = 100000;

// ---- writing ------------------------------------------------------------------------------------

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

json alignmentJson(Alignment a) { return json::array({name(a.horizontal), name(a.vertical)}); }

json rgbaJson(const RGBA& c) {
    return json::array({jsonNumber(c.red), jsonNumber(c.green), jsonNumber(c.blue), jsonNumber(c.alpha)});
}

json colorJson(const Color& c) {
    json out = json::object();
    switch (c.kind) {
    case Color::Kind::srgb:
        out["kind"] = "srgb";
        out["rgba"] = rgbaJson(c.light);
        break;
    case Color::Kind::primary: out["kind"] = "primary"; break;
    case Color::Kind::secondary: out["kind"] = "secondary"; break;
    case Color::Kind::dynamic:
        out["kind"] = "dynamic";
        out["light"] = rgbaJson(c.light);
        out["dark"] = rgbaJson(c.dark);
        break;
    }
    if (c.opacity != 1) out["opacity"] = jsonNumber(c.opacity);
    return out;
}

json fontJson(const Font& f) {
    json out = {{"size", jsonNumber(f.size)}, {"weight", std::string(toString(f.weight))}};
    if (f.design != FontDesign::standard) out["design"] = std::string(toString(f.design));
    if (f.monospacedDigit) out["monospacedDigit"] = true;
    return out;
}

json lengthJson(double v) { return std::isinf(v) ? json("infinity") : jsonNumber(v); }

json children(const std::vector<View>& views) {
    json out = json::array();
    for (const auto& v : views) out.push_back(toJson(v));
    return out;
}

struct Writer {
    json operator()(const nodes::VStack& n) const {
        return {{"type", "vstack"}, {"alignment", name(n.alignment)}, {"spacing", jsonNumber(n.spacing)},
                {"children", children(n.children)}};
    }
    json operator()(const nodes::HStack& n) const {
        return {{"type", "hstack"}, {"alignment", name(n.alignment)}, {"spacing", jsonNumber(n.spacing)},
                {"children", children(n.children)}};
    }
    json operator()(const nodes::Spacer& n) const { return {{"type", "spacer"}, {"minLength", jsonNumber(n.minLength)}}; }
    json operator()(const nodes::Text& n) const { return {{"type", "text"}, {"text", n.string}}; }
    json operator()(const nodes::TimerText& n) const { return {{"type", "timer"}, {"from", jsonMilliseconds(n.from)}}; }
    json operator()(const nodes::Label& n) const {
        return {{"type", "label"}, {"title", n.title}, {"systemImage", n.systemImage}};
    }
    json operator()(const nodes::Image& n) const { return {{"type", "image"}, {"systemName", n.systemName}}; }
    json operator()(const nodes::Shape& n) const {
        json out = {{"type", "shape"}, {"shape", name(n.kind)}};
        if (n.style == CornerStyle::continuous) out["style"] = "continuous";
        if (n.fill) out["fill"] = colorJson(*n.fill);
        return out;
    }
    json operator()(const nodes::Divider&) const { return {{"type", "divider"}}; }
    json operator()(const nodes::Button& n) const {
        return {{"type", "button"}, {"intent", platform::detail::toJson(n.intent)}, {"label", toJson(n.label)}};
    }
    json operator()(const nodes::Frame& n) const {
        json out = {{"type", "frame"}, {"content", toJson(n.content)}, {"alignment", alignmentJson(n.alignment)}};
        if (n.width) out["width"] = jsonNumber(*n.width);
        if (n.height) out["height"] = jsonNumber(*n.height);
        return out;
    }
    json operator()(const nodes::FlexFrame& n) const {
        json out = {{"type", "flexFrame"}, {"content", toJson(n.content)}, {"alignment", alignmentJson(n.alignment)}};
        if (n.minWidth) out["minWidth"] = lengthJson(*n.minWidth);
        if (n.maxWidth) out["maxWidth"] = lengthJson(*n.maxWidth);
        if (n.minHeight) out["minHeight"] = lengthJson(*n.minHeight);
        if (n.maxHeight) out["maxHeight"] = lengthJson(*n.maxHeight);
        return out;
    }
    json operator()(const nodes::Padding& n) const {
        return {{"type", "padding"},
                {"content", toJson(n.content)},
                {"insets", json::array({jsonNumber(n.insets.top), jsonNumber(n.insets.leading),
                                        jsonNumber(n.insets.bottom), jsonNumber(n.insets.trailing)})}};
    }
    json operator()(const nodes::Background& n) const {
        return {{"type", "background"}, {"content", toJson(n.content)}, {"background", toJson(n.background)},
                {"alignment", alignmentJson(n.alignment)}};
    }
    json operator()(const nodes::Environment& n) const {
        json out = {{"type", "environment"}, {"content", toJson(n.content)}};
        const auto& v = n.values;
        if (v.font) out["font"] = fontJson(*v.font);
        if (v.monospacedDigit) out["monospacedDigit"] = *v.monospacedDigit;
        if (v.foregroundStyle) out["foregroundStyle"] = colorJson(*v.foregroundStyle);
        if (v.lineLimit) out["lineLimit"] = *v.lineLimit;
        if (v.minimumScaleFactor) out["minimumScaleFactor"] = jsonNumber(*v.minimumScaleFactor);
        if (v.multilineTextAlignment) out["multilineTextAlignment"] = name(*v.multilineTextAlignment);
        if (v.disabled) out["disabled"] = *v.disabled;
        if (v.buttonStyle) out["buttonStyle"] = name(*v.buttonStyle);
        if (v.widgetAccentable) out["widgetAccentable"] = *v.widgetAccentable;
        if (v.accessibilityHidden) out["accessibilityHidden"] = *v.accessibilityHidden;
        return out;
    }
    json operator()(const nodes::AccessibilityLabel& n) const {
        return {{"type", "accessibilityLabel"}, {"content", toJson(n.content)}, {"label", n.label}};
    }
    json operator()(const nodes::WidgetURL& n) const {
        return {{"type", "widgetURL"}, {"content", toJson(n.content)}, {"url", n.url ? json(*n.url) : json(nullptr)}};
    }
    json operator()(const nodes::ContainerBackground& n) const {
        return {{"type", "containerBackground"}, {"content", toJson(n.content)}, {"color", colorJson(n.color)}};
    }
};

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
        if (++count_ > maxNodes) fail(path + ": the tree has too many nodes");
        if (!j.is_object()) fail(path + ": a node must be an object");
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
            auto intent = platform::detail::intentValueFrom(member(j, "intent", path));
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
        if (!a.is_array() || a.size() != 2 || !a[0].is_string() || !a[1].is_string())
            fail(path + ".alignment: expected [horizontal, vertical]");
        return {horizontal(a[0].get<std::string>(), path + ".alignment"), vertical(a[1].get<std::string>(), path + ".alignment")};
    }
    static RGBA rgba(const json& j, const std::string& path) {
        if (!j.is_array() || j.size() != 4) fail(path + ": expected [red, green, blue, alpha]");
        return {finite(j[0], path, 0, 1), finite(j[1], path, 0, 1), finite(j[2], path, 0, 1), finite(j[3], path, 0, 1)};
    }
    static Color color(const json& j, const std::string& path) {
        if (!j.is_object()) fail(path + ": a colour must be an object");
        auto kind = string(j, "kind", path);
        Color c;
        if (kind == "srgb") {
            auto v = rgba(member(j, "rgba", path), path + ".rgba");
            c = Color::srgb(v.red, v.green, v.blue, v.alpha);
        } else if (kind == "primary") {
            c = Color::primary();
        } else if (kind == "secondary") {
            c = Color::secondary();
        } else if (kind == "dynamic") {
            c = Color::dynamic(rgba(member(j, "light", path), path + ".light"), rgba(member(j, "dark", path), path + ".dark"));
        } else {
            fail(path + ": unknown colour kind \"" + kind + "\"");
        }
        if (auto opacity = optionalNumber(j, "opacity", path, 0, 1)) c.opacity = *opacity;
        return c;
    }
    static Font font(const json& j, const std::string& path) {
        if (!j.is_object()) fail(path + ": a font must be an object");
        Font f;
        f.size = number(j, "size", path, 0.5, 1000);
        auto weight = string(j, "weight", path);
        bool known = false;
        for (auto w : {FontWeight::ultraLight, FontWeight::thin, FontWeight::light, FontWeight::regular,
                       FontWeight::medium, FontWeight::semibold, FontWeight::bold, FontWeight::heavy, FontWeight::black}) {
            if (toString(w) == weight) {
                f.weight = w;
                known = true;
            }
        }
        if (!known) fail(path + ".weight: unknown weight \"" + weight + "\"");
        if (auto design = optionalMember(j, "design")) {
            if (*design == "rounded") f.design = FontDesign::rounded;
            else if (*design == "default") f.design = FontDesign::standard;
            else fail(path + ".design: unknown design");
        }
        f.monospacedDigit = optionalBool(j, "monospacedDigit", path).value_or(false);
        return f;
    }
    static std::optional<bool> optionalBool(const json& j, const char* key, const std::string& path) {
        auto v = optionalMember(j, key);
        if (!v) return std::nullopt;
        if (!v->is_boolean()) fail(path + "." + key + ": expected true or false");
        return v->get<bool>();
    }
    static EnvironmentValues environment(const json& j, const std::string& path) {
        EnvironmentValues v;
        if (auto f = optionalMember(j, "font")) v.font = font(*f, path + ".font");
        v.monospacedDigit = optionalBool(j, "monospacedDigit", path);
        if (auto c = optionalMember(j, "foregroundStyle")) v.foregroundStyle = color(*c, path + ".foregroundStyle");
        if (auto n = optionalMember(j, "lineLimit")) {
            if (!n->is_number_integer() || n->get<std::int64_t>() < 1 || n->get<std::int64_t>() > 1000)
                fail(path + ".lineLimit: expected a whole number from 1 to 1000");
            v.lineLimit = n->get<int>();
        }
        if (auto f = optionalNumber(j, "minimumScaleFactor", path, 0.01, 1)) v.minimumScaleFactor = f;
        if (auto a = optionalMember(j, "multilineTextAlignment")) {
            if (*a == "leading") v.multilineTextAlignment = TextAlignment::leading;
            else if (*a == "center") v.multilineTextAlignment = TextAlignment::center;
            else if (*a == "trailing") v.multilineTextAlignment = TextAlignment::trailing;
            else fail(path + ".multilineTextAlignment: unknown alignment");
        }
        v.disabled = optionalBool(j, "disabled", path);
        if (auto s = optionalMember(j, "buttonStyle")) {
            if (*s == "plain") v.buttonStyle = ButtonStyle::plain;
            else if (*s == "automatic") v.buttonStyle = ButtonStyle::automatic;
            else fail(path + ".buttonStyle: unknown style");
        }
        v.widgetAccentable = optionalBool(j, "widgetAccentable", path);
        v.accessibilityHidden = optionalBool(j, "accessibilityHidden", path);
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

json toJson(const View& view) {
    if (!view.node) return json{{"type", "vstack"}, {"alignment", "center"}, {"spacing", 0}, {"children", json::array()}};
    return std::visit(Writer{}, view.node->value);
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
