#include <gtest/gtest.h>

#include <limits>
#include <string>

#include <nlohmann/json.hpp>

#include "Platform/System/JsonDate.hpp"
#include "Platform/System/JsonText.hpp"

namespace platform {
namespace {

using nlohmann::json;

// Text written in place must read exactly as json::dump would write it, escapes and repairs included.
TEST(JsonText, WritesWhatDumpWrites) {
    const std::string texts[] = {
        "", "plain text", "a \"quote\"", "back\\slash", std::string("nul\0and\x1f", 8), "tab\tnew\nline",
        "Grüße, 東京 😀", "bad \xff byte", "cut \xe2\x82", "/ \x7f",
    };
    for (const auto& text : texts) {
        std::string expected = json(text).dump(-1, ' ', false, json::error_handler_t::replace);
        std::string out = "[";
        appendJsonString(out, text);
        EXPECT_EQ(out, "[" + expected) << text;
    }
    json tree = {{"b", {1, 2.5, nullptr, true}}, {"a", "x\xff"}, {"c", json::object()}};
    std::string out = "=";
    appendJson(out, tree);
    EXPECT_EQ(out, "=" + tree.dump(-1, ' ', false, json::error_handler_t::replace));
}

// Numbers written in place read exactly as dump writes a double, and as it writes jsonNumber's value.
TEST(JsonText, WritesNumbersAsDumpWritesThem) {
    const double numbers[] = {0, -0.0, 1, -1.5, 0.1, 0.1 + 0.2, 1e20, 9e15, 8999999999999999, -8999999999999999,
                              1e-300, 5e-324, 1796834453638.4685, 1.7976931348623157e308,
                              std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()};
    for (double v : numbers) {
        std::string out = "=";
        appendJsonDouble(out, v);
        EXPECT_EQ(out, "=" + json(v).dump()) << v;
        out = "=";
        appendJsonNumber(out, v);
        EXPECT_EQ(out, "=" + jsonNumber(v).dump()) << v;
    }
}

}  // namespace
}  // namespace platform
