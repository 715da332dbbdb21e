#include "Platform/System/JsonText.hpp"

#include <nlohmann/json.hpp>

namespace platform {

void appendJson(std::string& out, const nlohmann::json& value) {
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

}  // namespace platform
