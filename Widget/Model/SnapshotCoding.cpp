// Reading and writing the snapshot document.
#include <simdjson.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "Platform/System/JsonDate.hpp"
#include "Widget/Model/WidgetSnapshot.hpp"
#include "Widget/Model/detail/SnapshotJson.hpp"

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

}  // namespace

std::optional<WidgetSnapshot> WidgetSnapshot::decode(std::string_view document) {
    // One parser per thread: it keeps its buffers between documents and is not shareable. Its
    // buffers take about fifteen times the document's size, so an unusually large document's are
    // given back rather than kept for the life of the process.
    constexpr std::size_t retainedCapacity = 64u << 10;
    thread_local simdjson::dom::parser parser;
    std::optional<WidgetSnapshot> result;
    element root;
    if (parser.parse(document.data(), document.size(), /*realloc_if_needed=*/true).get(root) == simdjson::SUCCESS) {
        try {
            result = snapshot(root);
        } catch (const Unfit&) {
        }
    }
    if (parser.capacity() > retainedCapacity) parser = simdjson::dom::parser{};
    return result;
}

std::string WidgetSnapshot::encode() const {
    return detail::toJson(*this).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

nlohmann::json detail::toJson(const WidgetSnapshot& s) {
    const auto& [updatedAt, appRunning, loggedIn, offline, canTrack, deepLink, running, today, recent, strings] = s;
    nlohmann::json doc = {
        {"updatedAt", platform::jsonMilliseconds(updatedAt)},
        {"appRunning", appRunning},
        {"loggedIn", loggedIn},
        {"offline", offline},
    };
    if (canTrack) doc["canTrack"] = *canTrack;
    if (deepLink) doc["deepLink"] = *deepLink;
    if (running) {
        nlohmann::json r = {{"startTime", platform::jsonMilliseconds(running->startTime)}};
        if (running->name) r["name"] = *running->name;
        if (running->project) r["project"] = *running->project;
        doc["running"] = std::move(r);
    }
    if (today) doc["today"] = {{"dayStart", platform::jsonMilliseconds(today->dayStart)}, {"baseSeconds", platform::jsonNumber(today->baseSeconds)}};
    auto list = nlohmann::json::array();
    for (const auto& entry : recent) {
        nlohmann::json e = {{"id", entry.id}, {"name", entry.name}};
        if (entry.project) e["project"] = *entry.project;
        list.push_back(std::move(e));
    }
    doc["recent"] = std::move(list);
    doc["strings"] = {
        {"startTracking", strings.startTracking}, {"stopTracking", strings.stopTracking},
        {"today", strings.today},                 {"recent", strings.recent},
        {"noRecent", strings.noRecent},           {"notTracking", strings.notTracking},
        {"noDescription", strings.noDescription}, {"openApp", strings.openApp},
        {"loggedOut", strings.loggedOut},         {"offline", strings.offline},
    };
    return doc;
}

}  // namespace kelvo
