#include <gtest/gtest.h>

#include <string>

#include "Platform/System/JsonDepth.hpp"

namespace platform {
namespace {

std::string nested(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(JsonDepth, CountsOnlyBracketsOutsideStrings) {
    struct Case {
        std::string text;
        std::size_t limit;
        bool within;
    };
    const Case cases[] = {
        {"{}", 1, true},
        {"{\"a\":[1]}", 1, false},
        {"{\"a\":[1]}", 2, true},
        {"\"[[[[\"", 1, true},
        {"[\"\\\"[[[\"]", 1, true},  // an escaped quote does not end the string
        {"[\"\\\\\",[[]]]", 2, false},  // an escaped backslash does
        {nested(128), maxJsonDepth, true},
        {nested(129), maxJsonDepth, false},
        {std::string(100000, '{'), maxJsonDepth, false},
        {"]]]][", 1, true},
    };
    for (const auto& c : cases) EXPECT_EQ(jsonDepthWithin(c.text, c.limit), c.within) << c.text.substr(0, 40);
}

}  // namespace
}  // namespace platform
