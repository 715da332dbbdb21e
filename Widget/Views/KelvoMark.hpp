#pragma once

#include "Platform/Views/View.hpp"
#include "Platform/Widgets/WidgetFamily.hpp"

namespace kelvo {

/// The circular Kelvo logo: a power glyph on a disc, `size` points across.
struct KelvoMark {
    double size = 20;

    platform::views::View body(const platform::WidgetEnvironment& environment) const;
};

}  // namespace kelvo
