#include "Host/WidgetHost/dbus/OutgoingMessage.hpp"

#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <string>

#include "tests/support/PrivateBus.hpp"

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

// A reply that cannot be built (here: a number where the signature wants a string) must still be
// answered, or the caller waits out its own timeout.
int badReply(sd_bus_message* m, void*, sd_bus_error*) {
    OutgoingMessage::reply(m, "test.Error.Failed").open('a', "s").integer(1).close().send();
    return 1;
}

const sd_bus_vtable vtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Broken", "", "as", badReply, 0),
    SD_BUS_VTABLE_END,
};

TEST(OutgoingMessage, AReplyThatCannotBeBuiltIsAnsweredWithTheError) {
    platform::test::PrivateBus::ofProcess();
    sd_bus *server = nullptr, *client = nullptr;
    ASSERT_GE(sd_bus_open_user(&server), 0);
    ASSERT_GE(sd_bus_open_user(&client), 0);
    ASSERT_GE(sd_bus_add_object_vtable(server, nullptr, "/test", "test.Outgoing", vtable, nullptr), 0);
    const char* name = nullptr;
    ASSERT_GE(sd_bus_get_unique_name(server, &name), 0);

    std::string answer;
    auto onAnswer = [](sd_bus_message* reply, void* out, sd_bus_error*) {
        const sd_bus_error* error = sd_bus_message_get_error(reply);
        *static_cast<std::string*>(out) = error ? error->name : "a reply";
        return 0;
    };
    ASSERT_GE(sd_bus_call_method_async(client, nullptr, name, "/test", "test.Outgoing", "Broken", onAnswer, &answer, ""), 0);
    // The call's own timeout (25 s) bounds the wait; the answer comes at once.
    while (answer.empty()) {
        int served = sd_bus_process(server, nullptr), answered = sd_bus_process(client, nullptr);
        ASSERT_GE(served, 0);
        ASSERT_GE(answered, 0);
        if (served == 0 && answered == 0) sd_bus_wait(client, 10'000);
    }
    EXPECT_EQ(answer, "test.Error.Failed");
    sd_bus_flush_close_unref(client);
    sd_bus_flush_close_unref(server);
}

}  // namespace
}  // namespace widgethost::bus
