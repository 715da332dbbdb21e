#pragma once

#include <filesystem>
#include <optional>

#include "Widget/Model/WidgetSnapshot.hpp"

namespace kelvo::app {

/// Writes "state.json" into the application's directory of the shared container. Every snapshot it
/// writes carries an `updatedAt` later than any written before, also across restarts and when the
/// clock steps back, because the widget takes a changed `updatedAt` as the sign that its command
/// was handled.
class StatePublisher {
public:
    /// Remembers the `updatedAt` of a snapshot already in `hostDirectory`, if any.
    explicit StatePublisher(std::filesystem::path hostDirectory);

    /// Writes the snapshot atomically with a new `updatedAt` (whole milliseconds, at least `now`'s)
    /// and gives that value back; nothing when the file could not be written.
    std::optional<Date> publish(WidgetSnapshot snapshot, Date now);

    std::filesystem::path statePath() const { return hostDirectory_ / "state.json"; }
    std::optional<Date> lastUpdatedAt() const { return last_; }

private:
    std::filesystem::path hostDirectory_;
    std::optional<Date> last_;
};

}  // namespace kelvo::app
