#pragma once

#include "Platform/Views/View.hpp"

// The words for the views' enumerations, as the wire form and the layout's dump write them.
namespace platform::views::detail {

inline const char* name(HorizontalAlignment a) {
    switch (a) {
    case HorizontalAlignment::leading: return "leading";
    case HorizontalAlignment::center: return "center";
    case HorizontalAlignment::trailing: return "trailing";
    }
    return "center";
}
inline const char* name(VerticalAlignment a) {
    switch (a) {
    case VerticalAlignment::top: return "top";
    case VerticalAlignment::center: return "center";
    case VerticalAlignment::bottom: return "bottom";
    }
    return "center";
}
inline const char* name(TextAlignment a) {
    switch (a) {
    case TextAlignment::leading: return "leading";
    case TextAlignment::center: return "center";
    case TextAlignment::trailing: return "trailing";
    }
    return "leading";
}
inline const char* name(ShapeKind k) {
    switch (k) {
    case ShapeKind::circle: return "circle";
    case ShapeKind::capsule: return "capsule";
    case ShapeKind::rectangle: return "rectangle";
    }
    return "rectangle";
}

}  // namespace platform::views::detail
