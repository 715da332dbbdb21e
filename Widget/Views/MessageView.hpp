#pragma once

#include <string>

#include "Platform/Views/View.hpp"
#include "Platform/Widgets/WidgetFamily.hpp"

namespace kelvo {

/// The mark at the top-left and a short message at the bottom-left.
struct MessageView {
    std::string message;

    platform::views::View body(const platform::WidgetEnvironment& environment) const;
};

}  // namespace kelvo
