#pragma once

#include <QStringList>

namespace tessera::copy {

class CopyRun;

// The chosen tables of `main`'s run on its Jobs() connection pairs at once,
// told in the order of a run on one pair; false when the run ended early.
bool copyTablesInParallel(CopyRun& main, const QStringList& chosenTables);

} // namespace tessera::copy
