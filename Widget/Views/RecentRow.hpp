#pragma once

#include <string>

#include "Platform/Views/View.hpp"
#include "Platform/Widgets/WidgetFamily.hpp"
#include "Widget/Model/WidgetSnapshot.hpp"

namespace kelvo {

/// One recent entry: its name and project, and a round button that starts it again.
struct RecentRow {
    WidgetSnapshot::RecentEntry item;
    bool canStart = false;
    std::string startLabel;  // the start text, first part of the button's accessibility label

    platform::views::View body(const platform::WidgetEnvironment& environment) const;
};

}  // namespace kelvo
