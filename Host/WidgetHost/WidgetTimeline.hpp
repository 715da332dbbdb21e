#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "Platform/System/Date.hpp"
#include "Platform/Widgets/Timeline.hpp"
#include "Platform/Widgets/WidgetFamily.hpp"

// What an extension tells the host about itself and its widgets' timelines, read from its answers.
namespace widgethost {

struct TimelineEntry {
    platform::Date date;
    std::shared_ptr<const nlohmann::json> content;  // null: none
    std::shared_ptr<const nlohmann::json> view;     // null: nothing to draw
};

struct WidgetTimeline {
    std::vector<TimelineEntry> entries;  // sorted by date
    platform::TimelineReloadPolicy policy;
};

struct WidgetDeclaration {
    std::string kind;
    std::string displayName;
    std::string description;
    std::vector<platform::WidgetFamily> supportedFamilies;
};

struct ExtensionDescription {
    std::optional<std::string> bundleIdentifier;
    std::vector<WidgetDeclaration> widgets;

    const WidgetDeclaration* find(const std::string& kind) const;
};

/// More entries than this in one timeline is taken as a broken extension, not as data to keep.
inline constexpr size_t maxTimelineEntries = 1000;

/// The result of `describe`. Families the host does not know are left out; a widget without a
/// kind makes the whole answer malformed.
std::optional<ExtensionDescription> decodeDescription(const nlohmann::json& result, std::string* why = nullptr);
/// The result of `placeholder` or `getSnapshot`: {date, content, view}.
std::optional<TimelineEntry> decodeEntry(const nlohmann::json& result, std::string* why = nullptr);
/// The result of `getTimeline`: {entries, policy}; the entries come back sorted by date.
std::optional<WidgetTimeline> decodeTimeline(const nlohmann::json& result, std::string* why = nullptr);

/// The entry to show at `now`: the last one whose date has been reached, or the first one while
/// none has. Nothing for an empty list. `entries` must be sorted by date.
std::optional<size_t> entryShownAt(const std::vector<TimelineEntry>& entries, platform::Date now);

/// The next moment after `now` at which another entry is due.
std::optional<platform::Date> nextEntryChange(const std::vector<TimelineEntry>& entries, platform::Date now);

/// When to ask for the next timeline by its reload policy (nothing for `never`): `after` at its
/// date, `atEnd` at the last entry's date. Never sooner than `minimumSeconds` after `answeredAt`,
/// so that a policy dated in the past cannot make the host ask in a loop.
std::optional<platform::Date> nextTimelineRequest(const WidgetTimeline& timeline, platform::Date answeredAt,
                                                  double minimumSeconds);

}  // namespace widgethost
