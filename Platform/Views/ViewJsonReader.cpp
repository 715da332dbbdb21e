#include "Platform/Views/ViewJson.hpp"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <nlohmann/json.hpp>

#include "Platform/System/JsonDate.hpp"
#include "Platform/System/Utf8.hpp"
#include "Platform/Views/detail/EnvironmentFields.hpp"
#include "Platform/Widgets/Protocol.hpp"

namespace platform::views {
namespace {

using nlohmann::json;
using detail::isEnvironmentKey;

// Bounds that keep a hostile tree from exhausting the stack or the layout's time.
constexpr int maxDepth = 96;
constexpr int maxNodes = 20000;
constexpr double maxLength = 100000;

struct ReadError {
    std::string message;
};

[[noreturn]] void fail(const std::string& message) { throw ReadError{message}; }

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
            if (!label->is_string() || !platform::isValidUtf8(label->get_ref<const std::string&>()))
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
            if (!platform::isValidUtf8(intent->type)) fail(path + ".intent: not UTF-8");
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
            if (!url->is_string() || !platform::isValidUtf8(url->get_ref<const std::string&>())) fail(path + ".url: expected a string");
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
        if (!platform::isValidUtf8(s)) fail(path + "." + key + ": not UTF-8");
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

Result<View> viewFromJson(const json& j) {
    // The reader throws from deep in the tree; the error stops here.
    try {
        return Reader{}.node(j, "view", 0);
    } catch (const ReadError& e) {
        return Error{e.message};
    } catch (const json::exception& e) {
        return Error{std::string("view: ") + e.what()};
    }
}

}  // namespace platform::views
