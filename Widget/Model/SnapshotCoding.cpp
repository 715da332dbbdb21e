// Reading and writing the snapshot document.
#include <simdjson.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "Platform/System/JsonDate.hpp"
#include "Platform/System/JsonText.hpp"
#include "Widget/Model/WidgetSnapshot.hpp"

namespace kelvo {
namespace {

using simdjson::dom::element;
using simdjson::dom::object;

// Decoding stops at the first unfit value; which one is never reported.
struct Unfit {};

element required(object parent, std::string_view key) {
    element value;
    if (parent.at_key(key).get(value) != simdjson::SUCCESS || value.is_null()) throw Unfit{};
    return value;
}

bool boolean(element value) {
    bool b;
    if (value.get_bool().get(b) != simdjson::SUCCESS) throw Unfit{};
    return b;
}

std::string string(element value) {
    std::string_view text;
    if (value.get_string().get(text) != simdjson::SUCCESS) throw Unfit{};
    return std::string(text);
}

double number(element value) {
    double d;
    if (!value.is_number() || value.get_double().get(d) != simdjson::SUCCESS || !std::isfinite(d)) throw Unfit{};
    return d;
}

Date date(element value) { return Date::fromMilliseconds(number(value)); }

object record(element value) {
    object o;
    if (value.get_object().get(o) != simdjson::SUCCESS) throw Unfit{};
    return o;
}

template <class Read>
auto optional(object parent, std::string_view key, Read read) -> std::optional<decltype(read(element{}))> {
    element value;
    if (parent.at_key(key).get(value) != simdjson::SUCCESS || value.is_null()) return std::nullopt;
    return read(value);
}

WidgetSnapshot::RunningEntry runningEntry(element value) {
    object o = record(value);
    WidgetSnapshot::RunningEntry entry;
    entry.name = optional(o, "name", string);
    entry.project = optional(o, "project", string);
    entry.startTime = date(required(o, "startTime"));
    return entry;
}

WidgetSnapshot::TodayTotal todayTotal(element value) {
    object o = record(value);
    WidgetSnapshot::TodayTotal total;
    total.dayStart = date(required(o, "dayStart"));
    total.baseSeconds = number(required(o, "baseSeconds"));
    return total;
}

WidgetSnapshot::RecentEntry recentEntry(element value) {
    object o = record(value);
    WidgetSnapshot::RecentEntry entry;
    entry.id = string(required(o, "id"));
    entry.name = string(required(o, "name"));
    entry.project = optional(o, "project", string);
    return entry;
}

WidgetSnapshot::Strings strings(element value) {
    object o = record(value);
    WidgetSnapshot::Strings s;
    s.startTracking = string(required(o, "startTracking"));
    s.stopTracking = string(required(o, "stopTracking"));
    s.today = string(required(o, "today"));
    s.recent = string(required(o, "recent"));
    s.noRecent = string(required(o, "noRecent"));
    s.notTracking = string(required(o, "notTracking"));
    s.noDescription = string(required(o, "noDescription"));
    s.openApp = string(required(o, "openApp"));
    s.loggedOut = string(required(o, "loggedOut"));
    s.offline = string(required(o, "offline"));
    return s;
}

WidgetSnapshot snapshot(element root) {
    object o = record(root);
    WidgetSnapshot s;
    s.updatedAt = date(required(o, "updatedAt"));
    s.appRunning = boolean(required(o, "appRunning"));
    s.loggedIn = boolean(required(o, "loggedIn"));
    s.offline = boolean(required(o, "offline"));
    s.canTrack = optional(o, "canTrack", boolean);
    s.deepLink = optional(o, "deepLink", string);
    s.running = optional(o, "running", runningEntry);
    s.today = optional(o, "today", todayTotal);
    simdjson::dom::array recent;
    if (required(o, "recent").get_array().get(recent) != simdjson::SUCCESS) throw Unfit{};
    s.recent.reserve(recent.size());
    for (element item : recent) s.recent.push_back(recentEntry(item));
    s.strings = strings(required(o, "strings"));
    return s;
}

// Written field by field rather than through a JSON tree, which would take several times the text's
// memory for a snapshot with a long recent list. Keys go in sorted order, as a tree would print them.
std::string document(const WidgetSnapshot& snapshot) {
    const auto& [updatedAt, appRunning, loggedIn, offline, canTrack, deepLink, running, today, recent, strings] = snapshot;
    std::string out = "{";
    auto key = [&out](std::string_view name) {
        if (out.back() != '{') out += ',';
        out += '"';
        out += name;
        out += "\":";
    };
    auto text = [&](std::string_view name, std::string_view value) { key(name); platform::appendJsonString(out, value); };
    auto flag = [&](std::string_view name, bool value) { key(name); out += value ? "true" : "false"; };
    auto number = [&](std::string_view name, const nlohmann::json& value) { key(name); platform::appendJson(out, value); };
    auto open = [&](std::string_view name, char bracket) { key(name); out += bracket; };

    flag("appRunning", appRunning);
    if (canTrack) flag("canTrack", *canTrack);
    if (deepLink) text("deepLink", *deepLink);
    flag("loggedIn", loggedIn);
    flag("offline", offline);
    open("recent", '[');
    for (const auto& entry : recent) {
        out += out.back() == '[' ? "{" : ",{";
        text("id", entry.id);
        text("name", entry.name);
        if (entry.project) text("project", *entry.project);
        out += '}';
    }
    out += ']';
    if (running) {
        open("running", '{');
        if (running->name) text("name", *running->name);
        if (running->project) text("project", *running->project);
        number("startTime", platform::jsonMilliseconds(running->startTime));
        out += '}';
    }
    open("strings", '{');
    text("loggedOut", strings.loggedOut);
    text("noDescription", strings.noDescription);
    text("noRecent", strings.noRecent);
    text("notTracking", strings.notTracking);
    text("offline", strings.offline);
    text("openApp", strings.openApp);
    text("recent", strings.recent);
    text("startTracking", strings.startTracking);
    text("stopTracking", strings.stopTracking);
    text("today", strings.today);
    out += '}';
    if (today) {
        open("today", '{');
        number("baseSeconds", platform::jsonNumber(today->baseSeconds));
        number("dayStart", platform::jsonMilliseconds(today->dayStart));
        out += '}';
    }
    number("updatedAt", platform::jsonMilliseconds(updatedAt));
    out += '}';
    return out;
}

}  // namespace

std::optional<WidgetSnapshot> WidgetSnapshot::decode(const std::string& document) {
    // One parser per thread: it keeps its buffers between documents and is not shareable. Its
    // buffers take about fifteen times the document's size (of which it touches about three), so
    // an unusually large document's are given back rather than kept for the life of the process.
    constexpr std::size_t retainedCapacity = 64u << 10;
    thread_local simdjson::dom::parser parser;
    std::optional<WidgetSnapshot> result;
    element root;
    // Copies the document only when it lacks the parser's padding.
    if (parser.parse(document).get(root) == simdjson::SUCCESS) {
        try {
            result = snapshot(root);
        } catch (const Unfit&) {
        }
    }
    if (parser.capacity() > retainedCapacity) parser = simdjson::dom::parser{};
    return result;
}

std::string WidgetSnapshot::encode() const { return document(*this); }

}  // namespace kelvo
