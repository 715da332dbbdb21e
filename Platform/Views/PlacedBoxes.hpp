#pragma once

namespace platform::views {

/// Whether a layout keeps the described placed tree (for dumps and tests) or only what is drawn.
/// Describing every node costs more than placing it, so what redraws each second skips it.
enum class PlacedBoxes { recorded, skipped };

}  // namespace platform::views
