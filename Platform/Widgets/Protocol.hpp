#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "Platform/Intents/Intent.hpp"
#include "Platform/System/Result.hpp"
#include "Platform/Widgets/WidgetConfiguration.hpp"

// The extension protocol: JSON-RPC 2.0, one object per line, on an extension program's standard
// input and output. The one place that knows its wire form; the extension's request loop, the host,
// widget-render and the tests all encode and decode through it.
namespace platform::protocol {

/// The methods an extension answers.
namespace method {
inline constexpr std::string_view describe = "describe";
inline constexpr std::string_view placeholder = "placeholder";
inline constexpr std::string_view getSnapshot = "getSnapshot";
inline constexpr std::string_view getTimeline = "getTimeline";
inline constexpr std::string_view perform = "perform";
}  // namespace method

/// JSON-RPC error codes.
inline constexpr int parseError = -32700;
inline constexpr int invalidRequest = -32600;
inline constexpr int methodNotFound = -32601;
inline constexpr int invalidParams = -32602;

/// The longest answer line the host takes (without its newline). An extension never sends a longer
/// one: it leaves out contents to stay within it, or answers with an error.
inline constexpr std::size_t maxAnswerBytes = 16u << 20;

/// More entries than this in one timeline is taken as a broken extension, not as data to keep.
inline constexpr std::size_t maxTimelineEntries = 1000;

/// What `describe` tells about one widget kind.
struct WidgetDeclaration {
    std::string kind;
    std::string displayName;
    std::string description;
    std::vector<WidgetFamily> supportedFamilies;
};

/// The result of `describe`.
struct ExtensionDescription {
    std::optional<std::string> bundleIdentifier;
    std::vector<WidgetDeclaration> widgets;

    const WidgetDeclaration* find(const std::string& kind) const;
};

/// The params of `placeholder`, `getSnapshot` and `getTimeline`. Absent members take the first
/// declared widget and its first family.
struct EntryRequest {
    std::optional<std::string> kind;
    std::optional<WidgetFamily> family;
    bool isPreview = false;
    WidgetRenderingMode renderingMode = WidgetRenderingMode::fullColor;
};

// Envelopes.
nlohmann::json request(std::uint64_t id, std::string_view method, nlohmann::json params);
nlohmann::json resultAnswer(const nlohmann::json& id, nlohmann::json result);
nlohmann::json errorAnswer(const nlohmann::json& id, int code, const std::string& message);
/// The id to answer a request with: a string, a number or null.
nlohmann::json idOf(const nlohmann::json& request);

// Encoding.
nlohmann::json toJson(const EntryRequest& request);
nlohmann::json toJson(const ExtensionDescription& description);
/// Appends an entry's or a timeline's JSON text to `out`. Content text and view trees are written
/// where they are, never copied into a tree of the whole answer first.
void appendJson(std::string& out, const EncodedEntry& entry);
void appendJson(std::string& out, const EncodedTimeline& timeline);
/// A whole answer line (without its newline), written the same way.
std::string answerLine(const nlohmann::json& answer);
/// A result's answer line. An entry's content, which is only for inspection, is written as null
/// where it would take the line past `maxBytes` (earlier entries keep theirs first); the rest is
/// always written whole, even when it alone passes the limit.
std::string resultAnswerLine(const nlohmann::json& id, const EncodedEntry& result, std::size_t maxBytes);
std::string resultAnswerLine(const nlohmann::json& id, const EncodedTimeline& result, std::size_t maxBytes);
/// `{"intent": NAME, "parameters": {KEY: STRING or null}}`, the params of `perform`.
nlohmann::json toJson(const IntentValue& value);

// Decoding. Each gives the reason for a malformed value. Dates must be
// finite and within ±8.64e15 ms (the range of an ECMAScript date), so that they convert to any
// clock's ticks without overflow.
std::optional<Date> decodeDate(const nlohmann::json& value);
/// Leaves out families it does not know; a widget without a kind makes the whole answer malformed.
Result<ExtensionDescription> decodeDescription(const nlohmann::json& result);
Result<EncodedEntry> decodeEntry(const nlohmann::json& result);
/// The entries come back sorted by date.
Result<EncodedTimeline> decodeTimeline(const nlohmann::json& result);
Result<EntryRequest> decodeEntryRequest(const nlohmann::json& params);
std::optional<IntentValue> decodeIntent(const nlohmann::json& params);

/// An extension's answer to a request the host sent: the request's id and either its result or the
/// error the extension answered with.
struct Answer {
    std::uint64_t id = 0;
    std::shared_ptr<const nlohmann::json> result;  // null when the extension answered with an error
    int errorCode = 0;
    std::string errorMessage;
};

/// Reads one answer line. An error for a line that is not an answer to one of our requests: not a
/// JSON object, no unsigned request id (requests are numbered from 1), neither result nor error.
Result<Answer> decodeAnswer(std::string_view line);

/// Parses one line read from the other side. Nothing for text that is not JSON or nests deeper
/// than `platform::maxJsonDepth`, which could overflow the stack of whoever copies it.
std::optional<nlohmann::json> parseLine(std::string_view line);

}  // namespace platform::protocol
