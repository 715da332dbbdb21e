#include "Platform/Widgets/detail/Protocol.hpp"

#include "Platform/System/Services.hpp"

namespace platform::detail {
namespace {

using nlohmann::json;
namespace method = protocol::method;

// The widget a request names, or why the request names none.
Result<const WidgetConfiguration*> widgetFor(const WidgetBundle& bundle, const protocol::EntryRequest& request) {
    if (bundle.widgets.empty()) return Error{"The bundle declares no widget"};
    if (!request.kind) return &bundle.widgets.front();
    for (const auto& widget : bundle.widgets)
        if (widget.kind == *request.kind) return &widget;
    return Error{"Unknown widget kind"};
}

TimelineProviderContext contextFor(const WidgetConfiguration& widget, const protocol::EntryRequest& request) {
    TimelineProviderContext context;
    if (!widget.supportedFamilies.empty()) context.family = widget.supportedFamilies.front();
    if (request.family) context.family = *request.family;
    context.isPreview = request.isPreview;
    context.renderingMode = request.renderingMode;
    return context;
}

protocol::ExtensionDescription describe(const WidgetBundle& bundle) {
    protocol::ExtensionDescription description{services().mainBundle().bundleIdentifier, {}};
    for (const auto& widget : bundle.widgets)
        description.widgets.push_back(
            {widget.kind, widget.configurationDisplayName ? widget.configurationDisplayName() : widget.kind,
             widget.description ? widget.description() : std::string(), widget.supportedFamilies});
    return description;
}

}  // namespace

std::string answer(const WidgetBundle& bundle, const std::string& method, const json& params, const json& id) {
    using protocol::answerLine;
    if (!params.is_object()) return answerLine(errorAnswer(id, invalidParams, "params must be an object"));
    if (method == method::describe) return answerLine(resultAnswer(id, protocol::toJson(describe(bundle))));
    if (method != method::placeholder && method != method::getSnapshot && method != method::getTimeline)
        return answerLine(errorAnswer(id, methodNotFound, "Method not found"));
    auto request = protocol::decodeEntryRequest(params);
    if (!request) return answerLine(errorAnswer(id, invalidParams, request.error().message));
    auto found = widgetFor(bundle, *request);
    if (!found) return answerLine(errorAnswer(id, invalidParams, found.error().message));
    const auto& widget = **found;
    auto context = contextFor(widget, *request);
    using protocol::maxAnswerBytes;
    if (method == method::getTimeline) return protocol::resultAnswerLine(id, widget.getTimeline(context), maxAnswerBytes);
    return protocol::resultAnswerLine(
        id, method == method::placeholder ? widget.placeholder(context) : widget.getSnapshot(context), maxAnswerBytes);
}

}  // namespace platform::detail
