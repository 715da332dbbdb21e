#include "Platform/Views/detail/JsonFields.hpp"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace platform::views::detail {
namespace {

std::vector<std::string> numberedKeys(int count) {
    std::vector<std::string> keys;
    for (int i = 0; i < count; ++i) keys.push_back("k" + std::to_string(100 + i));
    return keys;
}

std::string expectedObject(const std::vector<std::string>& sortedKeys) {
    std::string text = "{";
    for (const auto& key : sortedKeys) text += (text.size() > 1 ? ",\"" : "\"") + key + "\":\"v\"";
    return text + "}";
}

TEST(JsonFieldsTests, WritesEveryKeyOnceInOrder) {
    struct Case {
        const char* name;
        std::vector<std::string> keys;  // set in this order
        std::vector<std::string> written;
    };
    const Case cases[] = {
        {"sorted", {"type", "content", "alignment"}, {"alignment", "content", "type"}},
        {"a key set again is written once", {"b", "a", "b"}, {"a", "b"}},
        // More than a node with every modifier has today.
        {"many keys", numberedKeys(40), numberedKeys(40)},
    };
    for (const auto& c : cases) {
        JsonFields fields;
        for (const auto& key : c.keys) fields.name(key, "v");
        std::string out;
        fields.write(out);
        EXPECT_EQ(out, expectedObject(c.written)) << c.name;
    }
}

}  // namespace
}  // namespace platform::views::detail
