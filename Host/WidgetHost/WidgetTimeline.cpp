#include "Host/WidgetHost/WidgetTimeline.hpp"

#include <algorithm>
#include <cmath>

#include <nlohmann/json.hpp>

namespace widgethost {
namespace {

using nlohmann::json;
using platform::Date;

template <class T>
std::optional<T> reject(std::string* why, std::string reason) {
    if (why) *why = std::move(reason);
    return std::nullopt;
}

std::optional<Date> dateOf(const json& value) {
    if (!value.is_number()) return std::nullopt;
    double ms = value.get<double>();
    if (!std::isfinite(ms)) return std::nullopt;
    return Date::fromMilliseconds(ms);
}

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

std::optional<ExtensionDescription> decodeDescription(const json& result, std::string* why) {
    if (!result.is_object()) return reject<ExtensionDescription>(why, "describe: result is not an object");
    ExtensionDescription description;
    if (auto it = result.find("bundleIdentifier"); it != result.end() && it->is_string())
        description.bundleIdentifier = it->get<std::string>();
    auto widgets = result.find("widgets");
    if (widgets == result.end() || !widgets->is_array())
        return reject<ExtensionDescription>(why, "describe: no widgets array");
    for (const auto& widget : *widgets) {
        if (!widget.is_object()) return reject<ExtensionDescription>(why, "describe: a widget is not an object");
        auto kind = stringOr(widget, "kind", "");
        if (kind.empty()) return reject<ExtensionDescription>(why, "describe: a widget has no kind");
        WidgetDeclaration declaration{kind, stringOr(widget, "displayName", kind), stringOr(widget, "description", ""), {}};
        if (auto families = widget.find("supportedFamilies"); families != widget.end() && families->is_array())
            for (const auto& family : *families)
                if (auto parsed = family.is_string() ? platform::widgetFamilyFromString(family.get<std::string>()) : std::nullopt)
                    declaration.supportedFamilies.push_back(*parsed);
        description.widgets.push_back(std::move(declaration));
    }
    return description;
}

std::optional<TimelineEntry> decodeEntry(const json& result, std::string* why) {
    if (!result.is_object()) return reject<TimelineEntry>(why, "entry is not an object");
    auto dateIt = result.find("date");
    auto date = dateIt != result.end() ? dateOf(*dateIt) : std::nullopt;
    if (!date) return reject<TimelineEntry>(why, "entry has no valid date");
    TimelineEntry entry{*date, nullptr, nullptr};
    if (auto it = result.find("content"); it != result.end() && !it->is_null())
        entry.content = std::make_shared<const json>(*it);
    if (auto it = result.find("view"); it != result.end() && !it->is_null()) {
        if (!it->is_object()) return reject<TimelineEntry>(why, "entry view is not an object");
        entry.view = std::make_shared<const json>(*it);
    }
    return entry;
}

std::optional<WidgetTimeline> decodeTimeline(const json& result, std::string* why) {
    if (!result.is_object()) return reject<WidgetTimeline>(why, "timeline is not an object");
    auto entries = result.find("entries");
    if (entries == result.end() || !entries->is_array()) return reject<WidgetTimeline>(why, "timeline has no entries array");
    if (entries->size() > maxTimelineEntries) return reject<WidgetTimeline>(why, "timeline has too many entries");

    WidgetTimeline timeline;
    for (const auto& item : *entries) {
        auto entry = decodeEntry(item, why);
        if (!entry) return std::nullopt;
        timeline.entries.push_back(std::move(*entry));
    }
    std::stable_sort(timeline.entries.begin(), timeline.entries.end(),
                     [](const TimelineEntry& a, const TimelineEntry& b) { return a.date < b.date; });

    auto policy = result.find("policy");
    if (policy == result.end() || !policy->is_object()) return reject<WidgetTimeline>(why, "timeline has no policy");
    auto kind = stringOr(*policy, "kind", "");
    if (kind == "after") {
        auto dateIt = policy->find("date");
        auto date = dateIt != policy->end() ? dateOf(*dateIt) : std::nullopt;
        if (!date) return reject<WidgetTimeline>(why, "policy \"after\" has no valid date");
        timeline.policy = platform::TimelineReloadPolicy::after(*date);
    } else if (kind == "atEnd") {
        timeline.policy = platform::TimelineReloadPolicy::atEnd();
    } else if (kind == "never") {
        timeline.policy = platform::TimelineReloadPolicy::never();
    } else {
        return reject<WidgetTimeline>(why, "policy has an unknown kind");
    }
    return timeline;
}

std::optional<size_t> entryShownAt(const std::vector<TimelineEntry>& entries, Date now) {
    if (entries.empty()) return std::nullopt;
    auto reached = std::upper_bound(entries.begin(), entries.end(), now,
                                    [](Date t, const TimelineEntry& entry) { return t < entry.date; });
    if (reached == entries.begin()) return 0;
    return static_cast<size_t>(reached - entries.begin()) - 1;
}

std::optional<Date> nextEntryChange(const std::vector<TimelineEntry>& entries, Date now) {
    auto next = std::upper_bound(entries.begin(), entries.end(), now,
                                 [](Date t, const TimelineEntry& entry) { return t < entry.date; });
    if (next == entries.end()) return std::nullopt;
    return next->date;
}

std::optional<Date> nextTimelineRequest(const WidgetTimeline& timeline, Date answeredAt, double minimumSeconds) {
    Date earliest = answeredAt.addingSeconds(minimumSeconds);
    switch (timeline.policy.kind) {
    case platform::TimelineReloadPolicy::Kind::never: return std::nullopt;
    case platform::TimelineReloadPolicy::Kind::after: return std::max(timeline.policy.date, earliest);
    case platform::TimelineReloadPolicy::Kind::atEnd:
        return timeline.entries.empty() ? earliest : std::max(timeline.entries.back().date, earliest);
    }
    return std::nullopt;
}

}  // namespace widgethost
