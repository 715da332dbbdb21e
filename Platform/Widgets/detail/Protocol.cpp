#include "Platform/Widgets/detail/Protocol.hpp"

#include "Platform/System/JsonDate.hpp"
#include "Platform/System/Services.hpp"

namespace platform::detail {
namespace {

using nlohmann::json;

struct RequestError {
    int code;
    std::string message;
};

const WidgetConfiguration& widgetFor(const WidgetBundle& bundle, const json& params) {
    if (bundle.widgets.empty()) throw RequestError{invalidParams, "The bundle declares no widget"};
    auto it = params.find("kind");
    if (it == params.end() || it->is_null()) return bundle.widgets.front();
    if (!it->is_string()) throw RequestError{invalidParams, "kind must be a string"};
    for (const auto& widget : bundle.widgets)
        if (widget.kind == it->get_ref<const std::string&>()) return widget;
    throw RequestError{invalidParams, "Unknown widget kind"};
}

TimelineProviderContext contextFrom(const WidgetConfiguration& widget, const json& params) {
    TimelineProviderContext context;
    if (!widget.supportedFamilies.empty()) context.family = widget.supportedFamilies.front();
    if (auto it = params.find("family"); it != params.end() && !it->is_null()) {
        auto family = it->is_string() ? widgetFamilyFromString(it->get_ref<const std::string&>()) : std::nullopt;
        if (!family) throw RequestError{invalidParams, "Unknown family"};
        context.family = *family;
    }
    if (auto it = params.find("isPreview"); it != params.end() && !it->is_null()) {
        if (!it->is_boolean()) throw RequestError{invalidParams, "isPreview must be a boolean"};
        context.isPreview = it->get<bool>();
    }
    if (auto it = params.find("renderingMode"); it != params.end() && !it->is_null()) {
        auto mode = it->is_string() ? widgetRenderingModeFromString(it->get_ref<const std::string&>()) : std::nullopt;
        if (!mode) throw RequestError{invalidParams, "Unknown rendering mode"};
        context.renderingMode = *mode;
    }
    return context;
}

json describe(const WidgetBundle& bundle) {
    json widgets = json::array();
    for (const auto& widget : bundle.widgets) {
        json families = json::array();
        for (auto family : widget.supportedFamilies) families.push_back(toString(family));
        widgets.push_back({
            {"kind", widget.kind},
            {"displayName", widget.configurationDisplayName ? widget.configurationDisplayName() : widget.kind},
            {"description", widget.description ? widget.description() : std::string()},
            {"supportedFamilies", std::move(families)},
        });
    }
    const auto& identifier = services().mainBundle().bundleIdentifier;
    return {{"bundleIdentifier", identifier ? json(*identifier) : json(nullptr)}, {"widgets", std::move(widgets)}};
}

}  // namespace

json idOf(const json& request) {
    if (!request.is_object()) return nullptr;
    auto it = request.find("id");
    if (it == request.end() || !(it->is_string() || it->is_number() || it->is_null())) return nullptr;
    return *it;
}

json resultAnswer(const json& id, json result) {
    return {{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}};
}

json errorAnswer(const json& id, int code, const std::string& message) {
    return {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

json toJson(const TimelineReloadPolicy& policy) {
    switch (policy.kind) {
    case TimelineReloadPolicy::Kind::after: return {{"kind", "after"}, {"date", jsonMilliseconds(policy.date)}};
    case TimelineReloadPolicy::Kind::never: return {{"kind", "never"}};
    case TimelineReloadPolicy::Kind::atEnd: break;
    }
    return {{"kind", "atEnd"}};
}

json toJson(const EncodedEntry& entry) {
    return {
        {"date", jsonMilliseconds(entry.date)},
        {"content", entry.content ? *entry.content : json(nullptr)},
        {"view", entry.view ? *entry.view : json(nullptr)},
    };
}

json toJson(const IntentValue& value) {
    json parameters = json::object();
    for (const auto& [key, v] : value.parameters) parameters[key] = v ? json(*v) : json(nullptr);
    return {{"intent", value.type}, {"parameters", std::move(parameters)}};
}

std::optional<IntentValue> intentValueFrom(const json& params) {
    if (!params.is_object()) return std::nullopt;
    auto type = params.find("intent");
    if (type == params.end() || !type->is_string()) return std::nullopt;
    IntentValue value{type->get<std::string>(), {}};
    if (auto parameters = params.find("parameters"); parameters != params.end() && !parameters->is_null()) {
        if (!parameters->is_object()) return std::nullopt;
        for (const auto& [key, v] : parameters->items()) {
            if (v.is_null())
                value.parameters[key] = std::nullopt;
            else if (v.is_string())
                value.parameters[key] = v.get<std::string>();
            else
                return std::nullopt;
        }
    }
    return value;
}

json answer(const WidgetBundle& bundle, const std::string& method, const json& params, const json& id) {
    if (!params.is_object()) return errorAnswer(id, invalidParams, "params must be an object");
    try {
        if (method == "describe") return resultAnswer(id, describe(bundle));
        if (method == "placeholder" || method == "getSnapshot") {
            const auto& widget = widgetFor(bundle, params);
            auto context = contextFrom(widget, params);
            auto entry = method == "placeholder" ? widget.placeholder(context) : widget.getSnapshot(context);
            return resultAnswer(id, toJson(entry));
        }
        if (method == "getTimeline") {
            const auto& widget = widgetFor(bundle, params);
            auto timeline = widget.getTimeline(contextFrom(widget, params));
            json entries = json::array();
            for (const auto& entry : timeline.entries) entries.push_back(toJson(entry));
            return resultAnswer(id, {{"entries", std::move(entries)}, {"policy", toJson(timeline.policy)}});
        }
    } catch (const RequestError& error) {
        return errorAnswer(id, error.code, error.message);
    }
    return errorAnswer(id, methodNotFound, "Method not found");
}

}  // namespace platform::detail
