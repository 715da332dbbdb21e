#pragma once

#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "Platform/System/Result.hpp"
#include "Platform/Views/View.hpp"

// The wire form of a view tree: one JSON object per node, {"type": ..., ...}, children and
// wrapped content nested. Reading is strict: an unknown node type, a missing or mistyped value,
// a number out of range, text that is not UTF-8 or a tree too deep or too large is an error.
namespace platform::views {

nlohmann::json toJson(const View& view);

/// Appends the view's compact JSON text to `out`: what `toJson(view)` would print, keys sorted and
/// invalid UTF-8 replaced by U+FFFD.
void appendJson(std::string& out, const View& view);

/// Reads a view tree; an error saying where on malformed input.
Result<View> viewFromJson(const nlohmann::json& json);

}  // namespace platform::views
