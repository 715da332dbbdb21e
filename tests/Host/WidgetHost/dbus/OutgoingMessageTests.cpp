#include "Host/WidgetHost/dbus/OutgoingMessage.hpp"

#include <gtest/gtest.h>

#include <string>

namespace widgethost::bus {
namespace {

using namespace std::string_literals;

struct Case {
    const char* name;
    std::string text;
    std::string sent;
};

TEST(OutgoingMessage, ReplacesWhatTheBusRefusesAndKeepsEverythingElse) {
    const std::string fffd = "\xEF\xBF\xBD";
    const Case cases[] = {
        {"plain and accented text", "Design review \xC3\xA9t\xC3\xA9 \xE2\x8F\xB1", "Design review \xC3\xA9t\xC3\xA9 \xE2\x8F\xB1"},
        {"the last code points that are sent", "\xEF\xBF\xBD\xF4\x8F\xBF\xBD\xEE\x80\x80", "\xEF\xBF\xBD\xF4\x8F\xBF\xBD\xEE\x80\x80"},
        {"U+FFFF", "Count\xEF\xBF\xBF" "er", "Count" + fffd + "er"},
        {"U+FFFE", "\xEF\xBF\xBE", fffd},
        {"U+FDD0 and U+FDEF", "\xEF\xB7\x90\xEF\xB7\xAF", fffd + fffd},
        {"U+1FFFF and U+10FFFE", "\xF0\x9F\xBF\xBF\xF4\x8F\xBF\xBE", fffd + fffd},
        {"a surrogate", "\xED\xA0\x80", fffd},
        {"an overlong slash", "\xC0\xAF", fffd + fffd},
        {"past U+10FFFF", "\xF4\x90\x80\x80", fffd},
        {"a sequence cut short at the end", "ab\xE2\x82", "ab" + fffd + fffd},
        {"a stray continuation byte", "a\x80" "b", "a" + fffd + "b"},
        {"NUL, which would cut the text", "a\0b"s, "a" + fffd + "b"},
    };
    for (const auto& c : cases) EXPECT_EQ(sendableText(c.text), c.sent) << c.name;
}

}  // namespace
}  // namespace widgethost::bus
