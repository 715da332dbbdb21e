#pragma once

#include "Host/KelvoApp/Ledger.hpp"

namespace kelvo::app {

/// Fills an empty ledger with a morning's work that ended shortly before `now`: three finished
/// entries (three hours and a half in all) that make three distinct recent pairs, newest first
/// "Design review" of "Website redesign", "Sprint planning" of "Mobile app", "Weekly sync" without
/// a project. A ledger that holds anything is left alone; the result says whether it was seeded.
bool seedDemoLedger(Ledger& ledger, Date now);

}  // namespace kelvo::app
