#include "Platform/Widgets/Protocol.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <span>

#include <nlohmann/json.hpp>

#include "Platform/System/JsonDate.hpp"
#include "Platform/System/JsonDepth.hpp"
#include "Platform/System/JsonText.hpp"

namespace platform::protocol {
namespace {

using nlohmann::json;

// ±100,000,000 days from 1970, the range of an ECMAScript date; in microseconds it still fits an
// int64, so every clock and timer can take it.
constexpr double maxDateMilliseconds = 8.64e15;

Error reject(std::string reason) { return Error{std::move(reason)}; }

std::string stringOr(const json& object, const char* key, std::string fallback) {
    auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : fallback;
}

}  // namespace

const WidgetDeclaration* ExtensionDescription::find(const std::string& kind) const {
    for (const auto& widget : widgets)
        if (widget.kind == kind) return &widget;
    return nullptr;
}

// Envelopes ------------------------------------------------------------------------------------

json request(std::uint64_t id, std::string_view method, json params) {
    return {{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", std::move(params)}};
}

json resultAnswer(const json& id, json result) { return {{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}}; }

json errorAnswer(const json& id, int code, const std::string& message) {
    return {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

json idOf(const json& request) {
    if (!request.is_object()) return nullptr;
    auto it = request.find("id");
    if (it == request.end() || !(it->is_string() || it->is_number() || it->is_null())) return nullptr;
    return *it;
}

std::optional<json> parseLine(std::string_view line) {
    if (!jsonDepthWithin(line)) return std::nullopt;
    auto value = json::parse(line, nullptr, /*allow_exceptions=*/false);
    if (value.is_discarded()) return std::nullopt;
    return value;
}

Result<Answer> decodeAnswer(std::string_view line) {
    auto parsed = parseLine(line);
    if (!parsed || !parsed->is_object()) return Error{"the line is not a JSON object"};
    auto& message = *parsed;
    auto id = message.find("id");
    if (id == message.end() || !id->is_number_unsigned()) return Error{"the answer has no request id"};
    Answer answer{id->get<std::uint64_t>(), nullptr, 0, {}};
    if (auto result = message.find("result"); result != message.end()) {
        answer.result = std::make_shared<const json>(std::move(*result));
        return answer;
    }
    auto error = message.find("error");
    if (error == message.end() || !error->is_object()) return Error{"the answer has no result and no error"};
    auto code = error->find("code");
    answer.errorCode = code != error->end() && code->is_number_integer() ? code->get<int>() : 0;
    answer.errorMessage = stringOr(*error, "message", "error");
    return answer;
}

// Encoding -------------------------------------------------------------------------------------

json toJson(const EntryRequest& request) {
    json params = {{"isPreview", request.isPreview}, {"renderingMode", toString(request.renderingMode)}};
    if (request.kind) params["kind"] = *request.kind;
    if (request.family) params["family"] = toString(*request.family);
    return params;
}

json toJson(const ExtensionDescription& description) {
    json widgets = json::array();
    for (const auto& widget : description.widgets) {
        json families = json::array();
        for (auto family : widget.supportedFamilies) families.push_back(toString(family));
        widgets.push_back({{"kind", widget.kind},
                           {"displayName", widget.displayName},
                           {"description", widget.description},
                           {"supportedFamilies", std::move(families)}});
    }
    return {{"bundleIdentifier", description.bundleIdentifier ? json(*description.bundleIdentifier) : json(nullptr)},
            {"widgets", std::move(widgets)}};
}

namespace {

// Which entries' contents an answer line carries, by index; all of them unless the line would pass
// its limit.
using ContentKept = std::function<bool(std::size_t)>;

bool allContent(std::size_t) { return true; }

// Keys are written in the order json::dump gives them, so both ways of writing read the same.
void appendEntry(std::string& out, const EncodedEntry& entry, bool withContent) {
    out += R"({"content":)";
    out += entry.content && withContent ? *entry.content : std::string_view("null");
    out += R"(,"date":)";
    appendJsonNumber(out, entry.date.millisecondsSince1970);
    out += R"(,"view":)";
    if (entry.viewText)
        out += *entry.viewText;
    else if (entry.view)
        platform::appendJson(out, *entry.view);
    else
        out += "null";
    out += '}';
}

void appendResult(std::string& out, const EncodedEntry& entry, const ContentKept& kept) {
    appendEntry(out, entry, kept(0));
}

void appendResult(std::string& out, const EncodedTimeline& timeline, const ContentKept& kept) {
    out += R"({"entries":[)";
    for (std::size_t i = 0; i < timeline.entries.size(); ++i) {
        if (i > 0) out += ',';
        appendEntry(out, timeline.entries[i], kept(i));
    }
    out += R"(],"policy":{)";
    switch (timeline.policy.kind) {
    case TimelineReloadPolicy::Kind::after:
        out += R"("date":)";
        appendJsonNumber(out, timeline.policy.date.millisecondsSince1970);
        out += R"(,"kind":"after"})";
        break;
    case TimelineReloadPolicy::Kind::never: out += R"("kind":"never"})"; break;
    case TimelineReloadPolicy::Kind::atEnd: out += R"("kind":"atEnd"})"; break;
    }
    out += '}';
}

}  // namespace

void appendJson(std::string& out, const EncodedEntry& entry) { appendEntry(out, entry, true); }
void appendJson(std::string& out, const EncodedTimeline& timeline) { appendResult(out, timeline, allContent); }

std::string answerLine(const json& answer) {
    std::string line;
    platform::appendJson(line, answer);
    return line;
}

namespace {

std::span<const EncodedEntry> entriesOf(const EncodedEntry& entry) { return {&entry, 1}; }
std::span<const EncodedEntry> entriesOf(const EncodedTimeline& timeline) { return timeline.entries; }

template <class Result>
std::string resultLine(const json& id, const Result& result, const ContentKept& kept, std::size_t expected = 0) {
    std::string line;
    line.reserve(expected);
    line += R"({"id":)";
    platform::appendJson(line, id);
    line += R"(,"jsonrpc":"2.0","result":)";
    appendResult(line, result, kept);
    line += '}';
    return line;
}

// At least the length of a result's line, when every entry's view is text.
std::optional<std::size_t> lengthBound(const std::string& idText, std::span<const EncodedEntry> entries) {
    std::size_t bound = 128 + idText.size();  // the envelope and the policy
    for (const auto& entry : entries) {
        if (entry.view && !entry.viewText) return std::nullopt;
        // The keys, the date and the separators take less than 64 bytes.
        bound += 64 + (entry.content ? entry.content->size() : 0) + (entry.viewText ? entry.viewText->size() : 0);
    }
    return bound;
}

template <class Result>
std::string boundedResultLine(const json& id, const Result& result, std::size_t maxBytes) {
    // 0. Nearly every answer is far within the limit: written once, whole, into one allocation.
    std::string idText;
    platform::appendJson(idText, id);
    auto bound = lengthBound(idText, entriesOf(result));
    if (bound && *bound <= maxBytes) return resultLine(id, result, allContent, *bound);

    // 1. The line without any content: views, dates and the policy, which the host cannot do without.
    std::string bare = resultLine(id, result, [](std::size_t) { return false; });
    if (bare.size() > maxBytes) return bare;  // nothing to leave out; the caller refuses it

    // 2. Contents, there only for inspection, go in entry by entry while the line stays within its
    // limit: a snapshot too large to be written once per entry is written once, not refused.
    constexpr std::size_t nullSize = 4;  // what an entry without its content has instead
    auto entries = entriesOf(result);
    std::vector<char> keep(entries.size(), 0);
    std::size_t size = bare.size();
    bool anyKept = false;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& content = entries[i].content;
        if (!content || size - nullSize + content->size() > maxBytes) continue;
        size = size - nullSize + content->size();
        keep[i] = anyKept = true;
    }
    if (!anyKept) return bare;
    return resultLine(id, result, [&keep](std::size_t i) { return keep[i] != 0; }, size);
}

}  // namespace

std::string resultAnswerLine(const json& id, const EncodedEntry& result, std::size_t maxBytes) {
    return boundedResultLine(id, result, maxBytes);
}
std::string resultAnswerLine(const json& id, const EncodedTimeline& result, std::size_t maxBytes) {
    return boundedResultLine(id, result, maxBytes);
}

json toJson(const IntentValue& value) {
    json parameters = json::object();
    for (const auto& [key, v] : value.parameters) parameters[key] = v ? json(*v) : json(nullptr);
    return {{"intent", value.type}, {"parameters", std::move(parameters)}};
}

// Decoding -------------------------------------------------------------------------------------

std::optional<Date> decodeDate(const json& value) {
    if (!value.is_number()) return std::nullopt;
    double ms = value.get<double>();
    if (!std::isfinite(ms) || std::fabs(ms) > maxDateMilliseconds) return std::nullopt;
    return Date::fromMilliseconds(ms);
}

Result<ExtensionDescription> decodeDescription(const json& result) {
    if (!result.is_object()) return reject("describe: result is not an object");
    ExtensionDescription description;
    if (auto it = result.find("bundleIdentifier"); it != result.end() && it->is_string())
        description.bundleIdentifier = it->get<std::string>();
    auto widgets = result.find("widgets");
    if (widgets == result.end() || !widgets->is_array())
        return reject("describe: no widgets array");
    for (const auto& widget : *widgets) {
        if (!widget.is_object()) return reject("describe: a widget is not an object");
        auto kind = stringOr(widget, "kind", "");
        if (kind.empty()) return reject("describe: a widget has no kind");
        WidgetDeclaration declaration{kind, stringOr(widget, "displayName", kind), stringOr(widget, "description", ""), {}};
        if (auto families = widget.find("supportedFamilies"); families != widget.end() && families->is_array())
            for (const auto& family : *families)
                if (auto parsed = family.is_string() ? widgetFamilyFromString(family.get<std::string>()) : std::nullopt)
                    declaration.supportedFamilies.push_back(*parsed);
        description.widgets.push_back(std::move(declaration));
    }
    return description;
}

Result<EncodedEntry> decodeEntry(const json& result) {
    if (!result.is_object()) return reject("entry is not an object");
    auto dateIt = result.find("date");
    auto date = dateIt != result.end() ? decodeDate(*dateIt) : std::nullopt;
    if (!date) return reject("entry has no valid date");
    EncodedEntry entry{*date, nullptr, nullptr};
    if (auto it = result.find("content"); it != result.end() && !it->is_null())
        entry.content = std::make_shared<const std::string>(it->dump(-1, ' ', false, json::error_handler_t::replace));
    if (auto it = result.find("view"); it != result.end() && !it->is_null()) {
        if (!it->is_object()) return reject("entry view is not an object");
        entry.view = std::make_shared<const json>(*it);
    }
    return entry;
}

Result<EncodedTimeline> decodeTimeline(const json& result) {
    if (!result.is_object()) return reject("timeline is not an object");
    auto entries = result.find("entries");
    if (entries == result.end() || !entries->is_array()) return reject("timeline has no entries array");
    if (entries->size() > maxTimelineEntries) return reject("timeline has too many entries");

    EncodedTimeline timeline;
    for (const auto& item : *entries) {
        auto entry = decodeEntry(item);
        if (!entry) return entry.error();
        timeline.entries.push_back(std::move(*entry));
    }
    std::stable_sort(timeline.entries.begin(), timeline.entries.end(),
                     [](const EncodedEntry& a, const EncodedEntry& b) { return a.date < b.date; });

    auto policy = result.find("policy");
    if (policy == result.end() || !policy->is_object()) return reject("timeline has no policy");
    auto kind = stringOr(*policy, "kind", "");
    if (kind == "after") {
        auto dateIt = policy->find("date");
        auto date = dateIt != policy->end() ? decodeDate(*dateIt) : std::nullopt;
        if (!date) return reject("policy \"after\" has no valid date");
        timeline.policy = TimelineReloadPolicy::after(*date);
    } else if (kind == "atEnd") {
        timeline.policy = TimelineReloadPolicy::atEnd();
    } else if (kind == "never") {
        timeline.policy = TimelineReloadPolicy::never();
    } else {
        return reject("policy has an unknown kind");
    }
    return timeline;
}

Result<EntryRequest> decodeEntryRequest(const json& params) {
    if (!params.is_object()) return reject("params must be an object");
    EntryRequest request;
    if (auto it = params.find("kind"); it != params.end() && !it->is_null()) {
        if (!it->is_string()) return reject("kind must be a string");
        request.kind = it->get<std::string>();
    }
    if (auto it = params.find("family"); it != params.end() && !it->is_null()) {
        request.family = it->is_string() ? widgetFamilyFromString(it->get_ref<const std::string&>()) : std::nullopt;
        if (!request.family) return reject("Unknown family");
    }
    if (auto it = params.find("isPreview"); it != params.end() && !it->is_null()) {
        if (!it->is_boolean()) return reject("isPreview must be a boolean");
        request.isPreview = it->get<bool>();
    }
    if (auto it = params.find("renderingMode"); it != params.end() && !it->is_null()) {
        auto mode = it->is_string() ? widgetRenderingModeFromString(it->get_ref<const std::string&>()) : std::nullopt;
        if (!mode) return reject("Unknown rendering mode");
        request.renderingMode = *mode;
    }
    return request;
}

std::optional<IntentValue> decodeIntent(const json& params) {
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

}  // namespace platform::protocol
