#include "Host/KelvoApp/Tracking.hpp"

#include <algorithm>

namespace kelvo::app {

std::string_view describe(Outcome outcome) {
    switch (outcome) {
    case Outcome::started: return "started an entry";
    case Outcome::stopped: return "stopped the running entry";
    case Outcome::nothingToStop: return "nothing was running";
    case Outcome::refused: return "refused: tracking is not possible now";
    }
    return "unknown";
}

Date effectiveMoment(const Ledger& ledger, Date issuedAt, Date now) {
    Date moment = std::min(issuedAt, now);
    if (auto latest = ledger.latestMoment()) moment = std::max(moment, *latest);
    return moment;
}

Outcome carryOut(Ledger& ledger, const WidgetCommand& command, const AccountState& account, Date now) {
    if (!account.canTrack()) return Outcome::refused;
    Date at = effectiveMoment(ledger, command.issuedAt, now);
    switch (command.action) {
    case WidgetCommand::Action::start:
        ledger.start(std::nullopt, std::nullopt, at);
        return Outcome::started;
    case WidgetCommand::Action::startRecent:
        ledger.start(command.name, command.project, at);
        return Outcome::started;
    case WidgetCommand::Action::stop:
        return ledger.stop(at) ? Outcome::stopped : Outcome::nothingToStop;
    }
    return Outcome::nothingToStop;
}

}  // namespace kelvo::app
