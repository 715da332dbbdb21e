#pragma once

#include <algorithm>
#include <chrono>

namespace widgethost {

/// How long to wait before starting an extension again after its `failures`-th failure in a row:
/// half a second after the first, doubling each time, never more than 30 seconds.
constexpr std::chrono::milliseconds restartDelay(unsigned failures) {
    constexpr std::chrono::milliseconds first{500}, longest{30'000};
    if (failures <= 1) return first;
    unsigned doublings = std::min(failures - 1, 16u);
    return std::min(longest, std::chrono::milliseconds(first.count() << doublings));
}

}  // namespace widgethost
