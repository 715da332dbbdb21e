#pragma once

#include <nlohmann/json.hpp>

#include "Widget/Model/WidgetSnapshot.hpp"

namespace kelvo::detail {

/// The snapshot document as a JSON value (what `WidgetSnapshot::encode` writes).
nlohmann::json toJson(const WidgetSnapshot& snapshot);

}  // namespace kelvo::detail
