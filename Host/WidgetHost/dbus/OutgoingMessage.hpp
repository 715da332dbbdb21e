#pragma once

#include <cstdint>
#include <string>
#include <string_view>

typedef struct sd_bus sd_bus;
typedef struct sd_bus_message sd_bus_message;

// What the host sends over D-Bus. sd-bus refuses to send a string that is not valid UTF-8 or holds
// a Unicode noncharacter, although such text is valid JSON and reaches the host from extensions,
// widgets.json and output names; every string goes in here, so that no reply fails for its text.
namespace widgethost::bus {

/// The text with every sequence sd-bus refuses (invalid UTF-8, surrogates, noncharacters, NUL)
/// replaced by U+FFFD.
std::string sendableText(std::string_view text);

/// A reply or signal being built. After the first step that fails the others do nothing, and
/// sending reports that failure.
class OutgoingMessage {
public:
    /// The reply to `call`; when it cannot be built or sent, `failedError` answers the call instead.
    static OutgoingMessage reply(sd_bus_message* call, const char* failedError);
    static OutgoingMessage signal(sd_bus* bus, const char* path, const char* interface, const char* member);
    OutgoingMessage(const OutgoingMessage&) = delete;
    OutgoingMessage& operator=(const OutgoingMessage&) = delete;
    ~OutgoingMessage();

    OutgoingMessage& text(std::string_view value);
    OutgoingMessage& integer(std::int32_t value);
    OutgoingMessage& number(double value);
    OutgoingMessage& boolean(bool value);
    OutgoingMessage& open(char type, const char* contents);
    OutgoingMessage& close();

    /// Sends it. A reply that failed is answered with the error instead, so that the caller is never
    /// left waiting; the result is the first failure, as a negative errno, or >= 0.
    int send();

private:
    OutgoingMessage(sd_bus_message* message, int result, sd_bus_message* call, const char* failedError)
        : message_(message), call_(call), failedError_(failedError), result_(result) {}
    sd_bus_message* message_;
    sd_bus_message* call_;  // for replies
    const char* failedError_;
    int result_;
};

/// Answers `call` with a named error whose message is made sendable.
int replyError(sd_bus_message* call, const char* name, std::string_view message);

}  // namespace widgethost::bus
