#pragma once

#include "Platform/Views/Geometry.hpp"
#include "Platform/Widgets/WidgetFamily.hpp"

namespace platform::views {

/// The widget's size in points: small 170 × 170, medium 364 × 170.
Size widgetSize(WidgetFamily family);

/// How far inside every edge the views are laid out; the container background fills the rest.
inline constexpr double widgetContentMargin = 16;
/// The radius of the widget's rounded corners.
inline constexpr double widgetCornerRadius = 22;

}  // namespace platform::views
