#include "Platform/Views/ViewJson.hpp"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace platform::views {
namespace {

using nlohmann::json;
using namespace std::string_literals;

// A tree with every kind of node and modifier.
View everything() {
    auto row = HStack(VerticalAlignment::bottom, -2.5,
                      {Circle().fill(Color::srgb8(236, 132, 255)).frame(6, 6).widgetAccentable(true),
                       Text("Désign — review").font(Font::system(13, FontWeight::semibold)).lineLimit(2),
                       Spacer(4), Divider(), Rectangle(), Image("wifi.slash")});
    auto pill = Button(IntentValue{"StartRecentIntent", {{"name", "x"}, {"project", std::nullopt}}},
                       Label("Go", "play.fill").minimumScaleFactor(0.8).multilineTextAlignment(TextAlignment::center))
                    .buttonStyle(ButtonStyle::plain)
                    .disabled(true)
                    .accessibilityLabel("Start: x");
    return VStack(HorizontalAlignment::leading, 0,
                  {row, TimerText(Date::fromMilliseconds(1700000000000.5)).monospacedDigit(),
                   pill.frame(std::nullopt, infinity, 10, std::nullopt, Alignment::topLeading())
                       .padding(EdgeInsets{1, 2, 3, 4})
                       .background(Capsule(CornerStyle::continuous).fill(Color::primary().withOpacity(0.15))),
                   Text("x").foregroundStyle(Color::dynamic({1, 1, 1, 1}, {0.1, 0.2, 0.3, 0.5})).accessibilityHidden(true)})
        .widgetURL("kelvo://timer")
        .containerBackground(Color::secondary());
}

TEST(ViewJson, RoundTripKeepsEveryNodeAndValue) {
    json first = toJson(everything());
    auto back = viewFromJson(first);
    ASSERT_TRUE(back) << back.error().message;
    EXPECT_EQ(toJson(*back), first);
    // Through text too, as it travels between processes.
    auto reparsed = viewFromJson(json::parse(first.dump()));
    ASSERT_TRUE(reparsed);
    EXPECT_EQ(toJson(*reparsed), first);
}

TEST(ViewJson, ModifiersRideOnTheirNodeAndKeepTheirOrder) {
    auto labelled = Text("x").font(Font::system(12)).accessibilityLabel("A");
    json flat = toJson(labelled);
    EXPECT_EQ(flat["type"], "text");  // no wrapper objects for the two modifiers
    EXPECT_EQ(flat["font"], "12/regular");
    EXPECT_EQ(flat["accessibilityLabel"], "A");
    for (const auto& view : {labelled, Text("x").accessibilityLabel("A").font(Font::system(12)),
                             Text("x").accessibilityLabel("A").accessibilityLabel("B").lineLimit(1).disabled(true)}) {
        json j = toJson(view);
        auto back = viewFromJson(j);
        ASSERT_TRUE(back);
        EXPECT_EQ(toJson(*back), j);
        EXPECT_EQ(back->node->value.index(), view.node->value.index());
    }
}

TEST(ViewJson, AWidgetWithoutALinkRoundTrips) {
    json j = toJson(Text("x").widgetURL(std::nullopt));
    EXPECT_TRUE(j["url"].is_null());
    auto back = viewFromJson(j);
    ASSERT_TRUE(back);
    EXPECT_EQ(toJson(*back), j);
}

// Numbers that are not whole go as the shortest "%g" text, at least six digits, that reads back exactly.
TEST(ViewJson, FractionsAreWrittenAsTheShortestExactText) {
    const std::pair<double, const char*> rows[] = {
        {0.15, "0.15"},       {0.125, "0.125"},        {1.0 / 3, "0.3333333333333333"},
        {0.1 + 0.2, "0.30000000000000004"}, {0.0001, "0.0001"}, {1e-7, "1e-07"},
        {0.9999995, "0.9999995"}, {2.0 / 3, "0.6666666666666666"},
    };
    for (const auto& [opacity, text] : rows)
        EXPECT_EQ(toJson(Text("x").foregroundStyle(Color::primary().withOpacity(opacity)))["foregroundStyle"],
                  std::string("primary*") + text)
            << opacity;
}

// The same rule as printf states it, for numbers of every magnitude and length: the least
// precision from six up at which "%.*g" reads back exactly.
TEST(ViewJson, FractionsMatchTheShortestPrintfText) {
    auto printfText = [](double v) {
        char text[40];
        for (int precision = 6;; ++precision) {
            std::snprintf(text, sizeof text, "%.*g", precision, v);
            if (std::strtod(text, nullptr) == v || precision == 17) return std::string(text);
        }
    };
    std::vector<double> values = {15.400000000000002, 1e-5, 1.5e-5, 0.00012345, 123456.5, 999999.5, 1234567.25,
                                  1e15 + 0.5, 3e9, 1.25e20, -0.1, 5e-324, 2.2250738585072014e-308, 0.1 * 3};
    std::uint64_t state = 88172645463325252u;  // xorshift: many lengths and exponents, the same every run
    for (int i = 0; i < 3000; ++i) {
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        double mantissa = static_cast<double>(state >> 11) / 9007199254740992.0;
        double v = std::ldexp(mantissa, static_cast<int>(state % 80) - 40);
        values.push_back(i % 3 == 0 ? std::round(v * 1e4) / 1e4 : v);  // short decimals as well as long ones
    }
    for (double v : values) {
        if (v == std::trunc(v)) continue;
        auto written = toJson(Text("x").foregroundStyle(Color::primary().withOpacity(v)))["foregroundStyle"];
        EXPECT_EQ(written, "primary*" + printfText(v)) << v;
    }
}

TEST(ViewJson, ColoursAndFontsAreShortAndExact) {
    EXPECT_EQ(toJson(Text("x").foregroundStyle(Color::srgb8(236, 132, 255)))["foregroundStyle"], "#EC84FF");
    EXPECT_EQ(toJson(Text("x").foregroundStyle(Color::primary().withOpacity(0.15)))["foregroundStyle"], "primary*0.15");
    EXPECT_EQ(toJson(Text("x").font(Font::system(26, FontWeight::semibold, FontDesign::rounded).withMonospacedDigit()))["font"],
              "26/semibold/rounded/mono");
    // Components that 8 bits cannot hold go as numbers, and come back unchanged.
    auto odd = Color::srgb(0.1, 0.2, 0.3, 0.4).withOpacity(0.5);
    auto back = viewFromJson(toJson(Text("x").foregroundStyle(odd)));
    ASSERT_TRUE(back);
    const auto& env = std::get<nodes::Environment>(back->node->value);
    EXPECT_EQ(env.values.foregroundStyle, odd);
}

TEST(ViewJson, FractionalMillisecondsOfATimerSurvive) {
    auto j = toJson(TimerText(Date::fromMilliseconds(1700000000000.5)));
    EXPECT_EQ(j["from"].get<double>(), 1700000000000.5);
}

// The text written for a view, byte for byte as the host has always read it: keys sorted, whole
// numbers as integers, other numbers as the shortest exact text, invalid UTF-8 replaced.
TEST(ViewJson, WritesTheTextTheHostExpects) {
    const struct {
        const char* name;
        View view;
        const char* text;
    } rows[] = {
        {"every node", everything(),
         R"({"color":"secondary","content":{"content":{"alignment":"leading","children":[{"alignment":"bottom","children":[{"alignment":"center","content":{"fill":"#EC84FF","shape":"circle","type":"shape"},"height":6,"type":"frame","widgetAccentable":true,"width":6},{"font":"13/semibold","lineLimit":2,"text":"Désign — review","type":"text"},{"minLength":4,"type":"spacer"},{"type":"divider"},{"shape":"rectangle","type":"shape"},{"systemName":"wifi.slash","type":"image"}],"spacing":-2.5,"type":"hstack"},{"from":1700000000000.5,"monospacedDigit":true,"type":"timer"},{"alignment":"center","background":{"fill":"primary*0.15","shape":"capsule","style":"continuous","type":"shape"},"content":{"content":{"alignment":"topLeading","content":{"accessibilityLabel":"Start: x","buttonStyle":"plain","disabled":true,"intent":{"intent":"StartRecentIntent","parameters":{"name":"x","project":null}},"label":{"minimumScaleFactor":0.8,"multilineTextAlignment":"center","systemImage":"play.fill","title":"Go","type":"label"},"type":"button"},"maxWidth":"infinity","minHeight":10,"type":"flexFrame"},"insets":[1,2,3,4],"type":"padding"},"type":"background"},{"accessibilityHidden":true,"foregroundStyle":{"dark":[0.1,0.2,0.3,0.5],"light":"#FFFFFF"},"text":"x","type":"text"}],"spacing":0,"type":"vstack"},"type":"widgetURL","url":"kelvo://timer"},"type":"containerBackground"})"},
        {"empty", View{}, R"({"alignment":"center","children":[],"spacing":0,"type":"vstack"})"},
        {"stacked modifiers",
         Text("x").accessibilityLabel("A").accessibilityLabel("B").accessibilityLabel("C").lineLimit(1).disabled(true),
         R"({"content":{"accessibilityLabel":"C","content":{"accessibilityLabel":"A","text":"x","type":"text"},"label":"B","type":"accessibilityLabel"},"disabled":true,"lineLimit":1,"type":"environment"})"},
        {"environment around a label", Text("x").font(Font::system(12)).accessibilityLabel("A").foregroundStyle(Color::white()),
         R"({"content":{"accessibilityLabel":"A","font":"12/regular","text":"x","type":"text"},"foregroundStyle":"#FFFFFF","type":"environment"})"},
        {"colours",
         HStack(VerticalAlignment::top, 0.1 + 0.2,
                {Rectangle().fill(Color::srgb(0.1, 0.2, 0.3).withOpacity(0.5)),
                 Capsule(CornerStyle::continuous).fill(Color::dynamic({1, 1, 1, 1}, {0, 0, 0, 0.5}).withOpacity(0)),
                 Circle().fill(Color::srgb(1, 0, 0, 0.2).withOpacity(1e-7)), Circle(),
                 Rectangle().fill(Color::srgb(2, 0, -1))}),
         R"({"alignment":"top","children":[{"fill":{"opacity":0.5,"srgb":[0.1,0.2,0.3,1.0]},"shape":"rectangle","type":"shape"},{"fill":{"dark":[0.0,0.0,0.0,0.5],"light":"#FFFFFF","opacity":0.0},"shape":"capsule","style":"continuous","type":"shape"},{"fill":"#FF000033*1e-07","shape":"circle","type":"shape"},{"shape":"circle","type":"shape"},{"fill":{"srgb":[2.0,0.0,-1.0,1.0]},"shape":"rectangle","type":"shape"}],"spacing":0.30000000000000004,"type":"hstack"})"},
        {"lengths",
         Spacer(-0.0)
             .frame(1e20, infinity)
             .frame(0, infinity, 2.5, std::nullopt, Alignment{HorizontalAlignment::trailing, VerticalAlignment::bottom})
             .padding(EdgeInsets{-0.5, 0, 1e-300, 9e15}),
         R"({"content":{"alignment":"bottomTrailing","content":{"alignment":"center","content":{"minLength":0,"type":"spacer"},"height":null,"type":"frame","width":1e+20},"maxWidth":"infinity","minHeight":2.5,"minWidth":0,"type":"flexFrame"},"insets":[-0.5,0,1e-300,9e+15],"type":"padding"})"},
        {"strings",
         VStack(HorizontalAlignment::trailing, 1,
                {Text("q\"b\\t\tc\x01\0 \xff\xe2\x82 é 😀/"s), Label("\x7f", "a/b"), Image("")}),
         R"({"alignment":"trailing","children":[{"text":"q\"b\\t\tc\u0001\u0000 �� é 😀/","type":"text"},{"systemImage":"a/b","title":")" "\x7f" R"(","type":"label"},{"systemName":"","type":"image"}],"spacing":1,"type":"vstack"})"},
        {"button and link",
         Button(IntentValue{"Go\"", {{"z", std::nullopt}, {"a\n", "é"}}}, TimerText(Date::fromMilliseconds(-1.5)))
             .widgetURL(std::nullopt),
         R"({"content":{"intent":{"intent":"Go\"","parameters":{"a\n":"é","z":null}},"label":{"from":-1.5,"type":"timer"},"type":"button"},"type":"widgetURL","url":null})"},
    };
    for (const auto& row : rows) {
        std::string out = "=";
        appendJson(out, row.view);
        EXPECT_EQ(out, std::string("=") + row.text) << row.name;
    }
}

struct Malformed {
    const char* name;
    json tree;
};

json text(json s) { return {{"type", "text"}, {"text", std::move(s)}}; }
json wrap(const char* type, json content, json extra = json::object()) {
    extra["type"] = type;
    extra["content"] = std::move(content);
    return extra;
}

class ViewJsonMalformed : public ::testing::TestWithParam<Malformed> {};

TEST_P(ViewJsonMalformed, IsAnErrorNotACrash) {
    auto read = viewFromJson(GetParam().tree);
    ASSERT_FALSE(read);
    EXPECT_FALSE(read.error().message.empty());
}

json deep(int levels) {
    json j = text("x");
    for (int i = 0; i < levels; ++i) j = wrap("padding", j, {{"insets", {0, 0, 0, 0}}});
    return j;
}

INSTANTIATE_TEST_SUITE_P(
    ViewJson, ViewJsonMalformed,
    ::testing::Values(
        Malformed{"NotAnObject", json::array()},
        Malformed{"Null", nullptr},
        Malformed{"UnknownType", {{"type", "marquee"}}},
        Malformed{"MissingType", {{"text", "x"}}},
        Malformed{"TextNotString", text(42)},
        Malformed{"TextNotUtf8", text(std::string("\xC3\x28"))},
        Malformed{"ChildrenNotArray", {{"type", "vstack"}, {"alignment", "leading"}, {"spacing", 0}, {"children", text("x")}}},
        Malformed{"BadChild", {{"type", "hstack"}, {"alignment", "top"}, {"spacing", 0}, {"children", {text("x"), 7}}}},
        Malformed{"BadAlignment", {{"type", "vstack"}, {"alignment", "top"}, {"spacing", 0}, {"children", json::array()}}},
        Malformed{"SpacingNotNumber", {{"type", "vstack"}, {"alignment", "center"}, {"spacing", "8"}, {"children", json::array()}}},
        Malformed{"SpacingNotFinite", {{"type", "vstack"}, {"alignment", "center"}, {"spacing", NAN}, {"children", json::array()}}},
        Malformed{"NegativeSpacer", {{"type", "spacer"}, {"minLength", -1}}},
        Malformed{"HugeFrame", wrap("frame", text("x"), {{"width", 1e9}, {"alignment", "center"}})},
        Malformed{"InfiniteMinimum", wrap("flexFrame", text("x"), {{"minWidth", "infinity"}, {"alignment", "center"}})},
        Malformed{"UnknownAlignment", wrap("frame", text("x"), {{"width", 3}, {"alignment", "middle"}})},
        Malformed{"FrameWithoutAlignment", wrap("frame", text("x"), {{"width", 3}})},
        Malformed{"PaddingTooShort", wrap("padding", text("x"), {{"insets", {1, 2, 3}}})},
        Malformed{"ZeroLineLimit", wrap("environment", text("x"), {{"lineLimit", 0}})},
        Malformed{"FractionalLineLimit", wrap("environment", text("x"), {{"lineLimit", 1.5}})},
        Malformed{"BooleanAsNumber", wrap("environment", text("x"), {{"disabled", 1}})},
        Malformed{"ScaleAboveOne", wrap("environment", text("x"), {{"minimumScaleFactor", 2}})},
        Malformed{"UnknownWeight", wrap("environment", text("x"), {{"font", "12/chunky"}})},
        Malformed{"ZeroFontSize", wrap("environment", text("x"), {{"font", "0/regular"}})},
        Malformed{"FontSizeWithTrailingText", wrap("environment", text("x"), {{"font", "12pt/regular"}})},
        Malformed{"UnknownFontTrait", wrap("environment", text("x"), {{"font", "12/regular/italic"}})},
        Malformed{"FontAsObject", wrap("environment", text("x"), {{"font", {{"size", 12}}}})},
        Malformed{"ColourOutOfRange", wrap("environment", text("x"), {{"foregroundStyle", {{"srgb", {2, 0, 0, 1}}}}})},
        Malformed{"BadHexColour", wrap("environment", text("x"), {{"foregroundStyle", "#EC84GG"}})},
        Malformed{"OpacityAboveOne", wrap("environment", text("x"), {{"foregroundStyle", "primary*1.5"}})},
        Malformed{"UnknownColourName", wrap("environment", text("x"), {{"foregroundStyle", "tertiary"}})},
        Malformed{"ButtonWithoutIntent", {{"type", "button"}, {"label", text("x")}}},
        Malformed{"IntentParameterNotString",
                  {{"type", "button"}, {"intent", {{"intent", "A"}, {"parameters", {{"n", 1}}}}}, {"label", text("x")}}},
        Malformed{"UrlNotString", wrap("widgetURL", text("x"), {{"url", 5}})},
        Malformed{"MissingContent", {{"type", "accessibilityLabel"}, {"label", "x"}}},
        Malformed{"UnknownShape", {{"type", "shape"}, {"shape", "star"}}},
        Malformed{"TooDeep", deep(200)}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(ViewJson, ReasonNamesWhereTheTreeIsWrong) {
    json tree = {{"type", "vstack"}, {"alignment", "leading"}, {"spacing", 0}, {"children", {text("a"), text(1)}}};
    auto read = viewFromJson(tree);
    ASSERT_FALSE(read);
    EXPECT_NE(read.error().message.find("children[1]"), std::string::npos) << read.error().message;
}

TEST(ViewJson, ModeratelyDeepTreesAreFine) { EXPECT_TRUE(viewFromJson(deep(60))); }

}  // namespace
}  // namespace platform::views
