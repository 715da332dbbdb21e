#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>

#include "Widget/Model/WidgetSnapshot.hpp"
#include "Widget/Store/WidgetCommand.hpp"

namespace kelvo {

/// The widget's only door to the container it shares with the Kelvo application.
struct WidgetStore {
    WidgetStore() = delete;

    /// The largest snapshot read; a larger file reads as no snapshot. Real ones are a few kilobytes.
    /// The answer that carries a snapshot stays within the host's limit whatever its size: the views
    /// show only the first recent entries, and the snapshot as content is left out where it would
    /// not fit.
    static constexpr std::uintmax_t maxSnapshotBytes = 16u << 20;

    /// The application's latest snapshot, with `appRunning` turned false when the application does
    /// not run; nothing when there is no container or no readable, valid snapshot.
    static std::optional<WidgetSnapshot> loadSnapshot();

    /// Leaves the empty "active" marker in the application's directory, if that directory exists.
    static void markActive();

    /// Writes `command` for the application, then watches the snapshot's `updatedAt` for its
    /// reaction (20 checks 100 ms apart) and asks for a reload of the timelines when none comes.
    /// A stop request skips the pauses but not the checks or the reload.
    static void send(const WidgetCommand& command, std::stop_token stop = {});
};

}  // namespace kelvo
