#include "Platform/Views/ViewJson.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <type_traits>

#include <nlohmann/json.hpp>

#include "Platform/System/JsonText.hpp"
#include "Platform/Views/ShownText.hpp"
#include "Platform/Views/detail/EnvironmentFields.hpp"
#include "Platform/Views/detail/EnumNames.hpp"
#include "Platform/Views/detail/JsonFields.hpp"

// Straight to text, without a tree: a node's keys are gathered first, since modifiers put theirs on
// the node they modify, then written in the order json::dump gives them (sorted), with numbers and
// strings printed as nlohmann/json prints them.
namespace platform::views {
namespace {

using nlohmann::json;
using detail::name;

const char* name(ButtonStyle s) { return s == ButtonStyle::plain ? "plain" : "automatic"; }

// The shortest "%g" text, with at least six significant digits, that reads back as exactly `v`:
// "13", "0.15", "15.400000000000002".
void appendShortestNumber(std::string& out, double v) {
    char text[40];
    for (int precision = 6;; ++precision) {
        int written = std::snprintf(text, sizeof text, "%.*g", precision, v);
        if (precision >= 17 || !std::isfinite(v) || std::strtod(text, nullptr) == v) {
            out.append(text, static_cast<std::size_t>(written));
            return;
        }
    }
}

// A component that 8 bits represent exactly, as colours from brand hex values are. One outside
// 0…1 has no two hex digits and is written as a number.
bool eightBit(double v) { return v >= 0 && v <= 1 && std::round(v * 255) / 255.0 == v; }
bool eightBit(const RGBA& c) { return eightBit(c.red) && eightBit(c.green) && eightBit(c.blue) && eightBit(c.alpha); }

// "#RRGGBB" or "#RRGGBBAA", without quotes.
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
            appendShortestNumber(out, c.opacity);
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
    appendShortestNumber(out, f.size);
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

void writeRaw(std::string& out, const char& literal) { out += &literal; }
void writeString(std::string& out, const std::string& s) { appendJsonString(out, s); }
// What a widget shows of a text, and no more: the rest would only make the answer longer.
void writeShown(std::string& out, const std::string& s) { appendJsonString(out, shownPart(s)); }
void writeNumber(std::string& out, const double& v) { appendJsonNumber(out, v); }
void writeLength(std::string& out, const double& v) {
    if (std::isinf(v)) out += R"("infinity")";
    else appendJsonNumber(out, v);
}
void writeDate(std::string& out, const Date& d) { appendJsonNumber(out, d.millisecondsSince1970); }
void writeBool(std::string& out, const bool& v) { out += v ? "true" : "false"; }
void writeInt(std::string& out, const int& v) { appendJsonNumber(out, v); }
void writeTextAlignment(std::string& out, const TextAlignment& a) { detail::writeName(out, *name(a)); }
void writeButtonStyle(std::string& out, const ButtonStyle& s) { detail::writeName(out, *name(s)); }
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

void setEnvironment(detail::JsonFields& fields, const EnvironmentValues& v) {
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

void gather(detail::JsonFields& fields, const View& view);

bool isModifier(const View& view) {
    return view.node && (std::holds_alternative<nodes::Environment>(view.node->value) ||
                         std::holds_alternative<nodes::AccessibilityLabel>(view.node->value));
}

struct Gatherer {
    detail::JsonFields& f;

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
        f.set<writeShown>("text", n.string);
    }
    void operator()(const nodes::TimerText& n) {
        f.type("timer");
        f.set<writeDate>("from", n.from);
    }
    void operator()(const nodes::Label& n) {
        f.type("label");
        f.set<writeShown>("title", n.title);
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
            f.set<writeShown>("accessibilityLabel", n.label);
            return;
        }
        f.clear();
        wrapper("accessibilityLabel", n.content);
        f.set<writeShown>("label", n.label);
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

void gather(detail::JsonFields& fields, const View& view) {
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
    detail::JsonFields fields;
    gather(fields, view);
    fields.write(out);
}

}  // namespace

void appendJson(std::string& out, const View& view) { writeView(out, view); }

json toJson(const View& view) {
    std::string text;
    writeView(text, view);
    return json::parse(text);
}

}  // namespace platform::views
