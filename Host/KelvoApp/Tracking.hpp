#pragma once

#include <string_view>

#include "Host/KelvoApp/Ledger.hpp"
#include "Widget/Store/WidgetCommand.hpp"

namespace kelvo::app {

/// The user's state as the application shows it; set from the command line for demos.
struct AccountState {
    bool loggedIn = true;
    bool offline = false;
    bool trackingDisabled = false;

    /// Whether the application carries tracking commands out now. The snapshot's `canTrack` says the
    /// same, so the widget enables exactly the buttons that will work.
    bool canTrack() const { return loggedIn && !offline && !trackingDisabled; }
};

enum class Outcome { started, stopped, nothingToStop, refused };

std::string_view describe(Outcome outcome);

/// The moment at which a command takes effect: when it was issued, but never later than `now` nor
/// earlier than the ledger's latest moment, so that a skewed or replayed command cannot make entries
/// overlap or end before they start.
Date effectiveMoment(const Ledger& ledger, Date issuedAt, Date now);

/// Carries one command out on the ledger: start stops any running entry and starts one without a
/// name; stop stops the running entry; startRecent starts one with the command's name and project.
Outcome carryOut(Ledger& ledger, const WidgetCommand& command, const AccountState& account, Date now);

}  // namespace kelvo::app
