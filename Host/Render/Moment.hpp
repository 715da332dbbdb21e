#pragma once

#include <optional>
#include <string>

#include "Platform/System/Date.hpp"

namespace widgetrender {

/// Milliseconds since 1970, or an ISO 8601 UTC time such as 2024-05-14T10:30:00Z (fractions of a
/// second allowed). Nothing for anything else, a day that does not exist (February 31) included.
std::optional<platform::Date> parseMoment(const std::string& text);

}  // namespace widgetrender
