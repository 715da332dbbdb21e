#pragma once

#include <vector>

#include "Platform/System/Date.hpp"
#include "Platform/Widgets/WidgetFamily.hpp"

namespace platform {

/// When the host asks for the next timeline.
struct TimelineReloadPolicy {
    enum class Kind { atEnd, after, never };
    Kind kind = Kind::atEnd;
    Date date{};  // for `after`

    static TimelineReloadPolicy atEnd() { return {Kind::atEnd, {}}; }
    static TimelineReloadPolicy after(Date date) { return {Kind::after, date}; }
    static TimelineReloadPolicy never() { return {Kind::never, {}}; }
};

template <class Entry>
struct Timeline {
    std::vector<Entry> entries;
    TimelineReloadPolicy policy;
};

/// What the host tells a provider about a request.
struct TimelineProviderContext {
    WidgetFamily family = WidgetFamily::systemSmall;
    bool isPreview = false;
    WidgetRenderingMode renderingMode = WidgetRenderingMode::fullColor;
};

}  // namespace platform
