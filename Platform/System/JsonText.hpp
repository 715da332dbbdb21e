#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace platform {

/// Appends the compact JSON text of `value` to `out`. Invalid UTF-8 becomes U+FFFD.
void appendJson(std::string& out, const nlohmann::json& value);

/// Appends `text` as a quoted JSON string, escaped as `appendJson` would.
void appendJsonString(std::string& out, std::string_view text);

/// Appends `value` as `appendJson` prints a JSON double: the shortest text that reads back exactly,
/// whole numbers with ".0", `null` for infinities and NaN.
void appendJsonDouble(std::string& out, double value);

/// Appends `value` as `appendJson` prints `jsonNumber(value)`: whole numbers as integers, others as
/// `appendJsonDouble` does.
void appendJsonNumber(std::string& out, double value);

}  // namespace platform
