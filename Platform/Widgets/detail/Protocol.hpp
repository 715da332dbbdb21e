#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "Platform/Intents/Intent.hpp"
#include "Platform/Widgets/WidgetBundleMain.hpp"

// The JSON form of the extension protocol, shared by the extension's request loop and the host.
namespace platform::detail {

inline constexpr int parseError = -32700;
inline constexpr int invalidRequest = -32600;
inline constexpr int methodNotFound = -32601;
inline constexpr int invalidParams = -32602;

nlohmann::json idOf(const nlohmann::json& request);
nlohmann::json resultAnswer(const nlohmann::json& id, nlohmann::json result);
nlohmann::json errorAnswer(const nlohmann::json& id, int code, const std::string& message);

/// Answers every method but `perform`.
nlohmann::json answer(const WidgetBundle& bundle, const std::string& method, const nlohmann::json& params,
                      const nlohmann::json& id);

/// `{"intent": NAME, "parameters": {KEY: STRING or null}}`
std::optional<IntentValue> intentValueFrom(const nlohmann::json& params);
nlohmann::json toJson(const IntentValue& value);

nlohmann::json toJson(const EncodedEntry& entry);
nlohmann::json toJson(const TimelineReloadPolicy& policy);

}  // namespace platform::detail
