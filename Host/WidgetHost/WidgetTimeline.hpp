#pragma once

#include <optional>
#include <vector>

#include "Platform/System/Date.hpp"
#include "Platform/Widgets/Protocol.hpp"

// Which of a widget's timeline entries shows when, and when to ask for the next timeline.
namespace widgethost {

using platform::EncodedEntry;
using platform::EncodedTimeline;
using platform::protocol::ExtensionDescription;
using platform::protocol::WidgetDeclaration;

/// The entry to show at `now`: the last one whose date has been reached, or the first one while
/// none has. Nothing for an empty list. `entries` must be sorted by date.
std::optional<size_t> entryShownAt(const std::vector<EncodedEntry>& entries, platform::Date now);

/// The next moment after `now` at which another entry is due.
std::optional<platform::Date> nextEntryChange(const std::vector<EncodedEntry>& entries, platform::Date now);

/// When to ask for the next timeline by its reload policy (nothing for `never`): `after` at its
/// date, `atEnd` at the last entry's date. Never sooner than `minimumSeconds` after `answeredAt`,
/// so that a policy dated in the past cannot make the host ask in a loop.
std::optional<platform::Date> nextTimelineRequest(const EncodedTimeline& timeline, platform::Date answeredAt,
                                                  double minimumSeconds);

}  // namespace widgethost
