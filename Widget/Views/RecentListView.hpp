#pragma once

#include "Platform/Views/View.hpp"
#include "Platform/Widgets/WidgetFamily.hpp"
#include "Widget/Model/WidgetSnapshot.hpp"

namespace kelvo {

/// The medium widget's right column: a header and up to three recent entries.
struct RecentListView {
    WidgetSnapshot snapshot;

    /// Recent entries can be started: the application runs and can track, a user is logged in,
    /// it is online and nothing runs.
    static bool canStart(const WidgetSnapshot& snapshot);

    platform::views::View body(const platform::WidgetEnvironment& environment) const;
};

}  // namespace kelvo
