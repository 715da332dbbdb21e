#include <gtest/gtest.h>

#include <string>

#include <nlohmann/json.hpp>

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

}  // namespace
}  // namespace platform
