#include "Platform/System/JsonText.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>

#include <nlohmann/json.hpp>

namespace platform {

void appendJson(std::string& out, const nlohmann::json& value) {
    out += value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void appendJsonString(std::string& out, std::string_view text) {
    // Plain text, the common case, needs no escaping and no check beyond this scan.
    bool plain = true;
    for (unsigned char c : text)
        if (c < 0x20 || c == '"' || c == '\\' || c >= 0x80) {
            plain = false;
            break;
        }
    if (!plain) return appendJson(out, nlohmann::json(text));
    out += '"';
    out += text;
    out += '"';
}

void appendJsonDouble(std::string& out, double value) { out += nlohmann::json(value).dump(); }

void appendJsonNumber(std::string& out, double value) {
    if (std::trunc(value) == value && std::fabs(value) < 9e15) {
        char text[24];
        auto end = std::to_chars(text, text + sizeof text, static_cast<std::int64_t>(value)).ptr;
        out.append(text, static_cast<std::size_t>(end - text));
        return;
    }
    appendJsonDouble(out, value);
}

}  // namespace platform
