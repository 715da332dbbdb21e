#include "Platform/System/JsonText.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>

#include <nlohmann/json.hpp>

namespace platform {

void appendJson(std::string& out, const nlohmann::json& value) {
    // Whole numbers, as request ids are, need no serializer: to_chars writes them as it does.
    if (value.is_number_integer()) {
        char text[24];
        auto end = value.is_number_unsigned() ? std::to_chars(text, text + sizeof text, value.get<std::uint64_t>()).ptr
                                              : std::to_chars(text, text + sizeof text, value.get<std::int64_t>()).ptr;
        out.append(text, static_cast<std::size_t>(end - text));
        return;
    }
    // What json::dump does, with `out` as the target instead of a new string.
    nlohmann::detail::serializer<nlohmann::json> serializer(nlohmann::detail::output_adapter<char>(out), ' ',
                                                            nlohmann::json::error_handler_t::replace);
    serializer.dump(value, false, false, 0);
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

void appendJsonDouble(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    // The serializer's own conversion, so that the text is the same to the byte.
    char text[64];
    const char* end = nlohmann::detail::to_chars(text, text + sizeof text, value);
    out.append(text, static_cast<std::size_t>(end - text));
}

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
