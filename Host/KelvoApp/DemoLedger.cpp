#include "Host/KelvoApp/DemoLedger.hpp"

namespace kelvo::app {
namespace {

constexpr double minute = 60;

}  // namespace

bool seedDemoLedger(Ledger& ledger, Date now) {
    bool seeded = false;
    ledger.transaction([&] {
        if (!ledger.isEmpty()) return;
        // Oldest first, with short breaks between, so that the recent list reads newest first.
        Date end = now.addingSeconds(-5 * minute);
        Date designStart = end.addingSeconds(-90 * minute);
        Date sprintEnd = designStart.addingSeconds(-10 * minute);
        Date sprintStart = sprintEnd.addingSeconds(-75 * minute);
        Date syncEnd = sprintStart.addingSeconds(-15 * minute);
        Date syncStart = syncEnd.addingSeconds(-45 * minute);
        ledger.addFinished("Weekly sync", std::nullopt, syncStart, syncEnd);
        ledger.addFinished("Sprint planning", "Mobile app", sprintStart, sprintEnd);
        ledger.addFinished("Design review", "Website redesign", designStart, end);
        seeded = true;
    });
    return seeded;
}

}  // namespace kelvo::app
