#include "Widget/Store/WidgetCommand.hpp"

#include <cmath>

#include <nlohmann/json.hpp>

#include "Platform/System/JsonDate.hpp"
#include "Platform/System/JsonDepth.hpp"

namespace kelvo {

std::string_view toString(WidgetCommand::Action action) {
    switch (action) {
    case WidgetCommand::Action::start: return "start";
    case WidgetCommand::Action::stop: return "stop";
    case WidgetCommand::Action::startRecent: return "startRecent";
    }
    return "start";
}

std::optional<WidgetCommand::Action> actionFromString(std::string_view rawValue) {
    if (rawValue == "start") return WidgetCommand::Action::start;
    if (rawValue == "stop") return WidgetCommand::Action::stop;
    if (rawValue == "startRecent") return WidgetCommand::Action::startRecent;
    return std::nullopt;
}

std::string WidgetCommand::encode() const {
    nlohmann::json doc = {{"action", toString(action)}, {"issuedAt", platform::jsonMilliseconds(issuedAt)}};
    if (name) doc["name"] = *name;
    if (project) doc["project"] = *project;
    return doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::optional<WidgetCommand> WidgetCommand::decode(std::string_view document) {
    if (!platform::jsonDepthWithin(document)) return std::nullopt;
    auto doc = nlohmann::json::parse(document, nullptr, /*allow_exceptions=*/false);
    if (!doc.is_object()) return std::nullopt;

    auto action = doc.find("action");
    if (action == doc.end() || !action->is_string()) return std::nullopt;
    auto parsedAction = actionFromString(action->get_ref<const std::string&>());
    if (!parsedAction) return std::nullopt;

    auto issuedAt = doc.find("issuedAt");
    if (issuedAt == doc.end() || !issuedAt->is_number()) return std::nullopt;
    double ms = issuedAt->get<double>();
    if (!std::isfinite(ms)) return std::nullopt;

    auto optionalText = [&](const char* key, std::optional<std::string>& out) {
        auto it = doc.find(key);
        if (it == doc.end() || it->is_null()) return true;
        if (!it->is_string()) return false;
        out = it->get<std::string>();
        return true;
    };
    WidgetCommand command{*parsedAction, std::nullopt, std::nullopt, platform::Date::fromMilliseconds(ms)};
    if (!optionalText("name", command.name) || !optionalText("project", command.project)) return std::nullopt;
    return command;
}

}  // namespace kelvo
