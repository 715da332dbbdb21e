#pragma once

#include <filesystem>

#include "Host/KelvoApp/Ledger.hpp"
#include "Host/KelvoApp/Tracking.hpp"

namespace kelvo::app {

/// What one pass over the commands directory did.
struct DrainReport {
    int carriedOut = 0;  // valid commands handled (refused ones included) and their files removed
    int rejected = 0;    // malformed files moved aside
    int failed = 0;      // commands left in place because the ledger could not take them
    int heldBack = 0;    // later commands left in place behind a failed one, to keep their order

    /// Whether the application's state may have changed, so the snapshot is due again. Refused
    /// commands count too: the widget waits for a new snapshot as the sign that it was heard.
    bool changed() const { return carriedOut > 0; }
};

/// The suffix given to malformed command files; they then no longer end in ".json".
inline constexpr const char* rejectedSuffix = ".rejected";

/// Takes every command file ("*.json") waiting in `directory` and carries the commands out in
/// `issuedAt` order. A file is removed once its command is committed to the ledger; a file that
/// cannot be read as a command is renamed aside (or removed) and the others go on. A command the
/// ledger cannot take (locked by another process) holds back the later ones until a later pass. The
/// command is claimed by a receipt in the transaction that carries it out, so it is carried out once
/// even if the process stops between the commit and the removal, or another process drains the same
/// directory.
DrainReport drainCommands(const std::filesystem::path& directory, Ledger& ledger, const AccountState& account, Date now);

}  // namespace kelvo::app
