#pragma once

#include <cmath>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "Platform/System/Date.hpp"

namespace platform {

/// A number for JSON: whole values as integers, anything else as it is, so that a fraction of a
/// millisecond survives and whole ones read naturally.
inline nlohmann::json jsonNumber(double value) {
    if (std::trunc(value) == value && std::fabs(value) < 9e15) return static_cast<std::int64_t>(value);
    return value;
}

/// A date as JSON: milliseconds since 1970.
inline nlohmann::json jsonMilliseconds(Date date) { return jsonNumber(date.millisecondsSince1970); }

}  // namespace platform
