#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "Platform/Widgets/Protocol.hpp"
#include "Platform/Widgets/WidgetBundleMain.hpp"

// The extension's side of the protocol: answering requests from a bundle's widgets.
namespace platform::detail {

using protocol::errorAnswer;
using protocol::idOf;
using protocol::invalidParams;
using protocol::invalidRequest;
using protocol::methodNotFound;
using protocol::parseError;
using protocol::resultAnswer;
inline std::optional<IntentValue> intentValueFrom(const nlohmann::json& params) { return protocol::decodeIntent(params); }

/// Answers every method but `perform`: the answer line, without its newline.
std::string answer(const WidgetBundle& bundle, const std::string& method, const nlohmann::json& params,
                   const nlohmann::json& id);

}  // namespace platform::detail
