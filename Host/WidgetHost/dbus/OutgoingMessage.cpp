#include "Host/WidgetHost/dbus/OutgoingMessage.hpp"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstring>

namespace widgethost::bus {
namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";  // U+FFFD

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The length of the sequence a lead byte starts; 0 for a byte that starts none.
std::size_t sequenceLength(unsigned char lead) {
    if (lead >= 0x01 && lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// The code points sd-bus's UTF-8 check refuses beyond malformed bytes.
bool isSendable(char32_t c, std::size_t length) {
    constexpr char32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < shortest[length] || c > 0x10FFFF) return false;  // overlong or past Unicode
    if (c >= 0xD800 && c <= 0xDFFF) return false;           // UTF-16 surrogates
    if (c >= 0xFDD0 && c <= 0xFDEF) return false;           // noncharacters
    return (c & 0xFFFE) != 0xFFFE;                           // U+xFFFE and U+xFFFF in every plane
}

}  // namespace

std::string sendableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = sequenceLength(lead);
        bool whole = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; whole && k < length; ++k) whole = isContinuation(static_cast<unsigned char>(text[i + k]));
        if (!whole) {
            // A stray byte: replace it alone and read on from the next one.
            out += replacement;
            ++i;
            continue;
        }
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        if (isSendable(c, length))
            out.append(text.substr(i, length));
        else
            out += replacement;
        i += length;
    }
    return out;
}

OutgoingMessage OutgoingMessage::reply(sd_bus_message* call, const char* failedError) {
    sd_bus_message* message = nullptr;
    int r = sd_bus_message_new_method_return(call, &message);
    return OutgoingMessage(message, r, sd_bus_message_ref(call), failedError);
}

OutgoingMessage OutgoingMessage::signal(sd_bus* bus, const char* path, const char* interface, const char* member) {
    sd_bus_message* message = nullptr;
    int r = sd_bus_message_new_signal(bus, &message, path, interface, member);
    return OutgoingMessage(message, r, nullptr, nullptr);
}

OutgoingMessage::~OutgoingMessage() {
    sd_bus_message_unref(message_);
    sd_bus_message_unref(call_);
}

OutgoingMessage& OutgoingMessage::text(std::string_view value) {
    if (result_ >= 0) result_ = sd_bus_message_append_basic(message_, 's', sendableText(value).c_str());
    return *this;
}

OutgoingMessage& OutgoingMessage::integer(std::int32_t value) {
    if (result_ >= 0) result_ = sd_bus_message_append_basic(message_, 'i', &value);
    return *this;
}

OutgoingMessage& OutgoingMessage::number(double value) {
    if (result_ >= 0) result_ = sd_bus_message_append_basic(message_, 'd', &value);
    return *this;
}

OutgoingMessage& OutgoingMessage::boolean(bool value) {
    int truth = value;
    if (result_ >= 0) result_ = sd_bus_message_append_basic(message_, 'b', &truth);
    return *this;
}

OutgoingMessage& OutgoingMessage::open(char type, const char* contents) {
    if (result_ >= 0) result_ = sd_bus_message_open_container(message_, type, contents);
    return *this;
}

OutgoingMessage& OutgoingMessage::close() {
    if (result_ >= 0) result_ = sd_bus_message_close_container(message_);
    return *this;
}

int OutgoingMessage::send() {
    if (result_ >= 0) result_ = sd_bus_send(nullptr, message_, nullptr);
    if (result_ < 0 && call_)
        replyError(call_, failedError_, std::string("the answer could not be sent: ") + std::strerror(-result_));
    return result_;
}

int replyError(sd_bus_message* call, const char* name, std::string_view message) {
    return sd_bus_reply_method_errorf(call, name, "%s", sendableText(message).c_str());
}

}  // namespace widgethost::bus
