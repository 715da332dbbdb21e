#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace platform {

/// Appends the compact JSON text of `value` to `out`, writing straight into it rather than through a
/// temporary string, so that a large document is never held twice. Invalid UTF-8 becomes U+FFFD.
void appendJson(std::string& out, const nlohmann::json& value);

/// Appends `text` as a quoted JSON string, escaped as `appendJson` would.
void appendJsonString(std::string& out, std::string_view text);

}  // namespace platform
