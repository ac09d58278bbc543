#pragma once

#include "copy/CopySettings.h"

#include <QDateTime>
#include <QStringList>

#include <optional>

namespace tessera::journal {
class Journal;
}

// Continuing a copy that was stopped, failed or killed: its tables' outcomes
// are in the operation journal as each table ended, and every unit is atomic,
// so running again the tables that did not end "处理成功完成" gives the
// target of a run that was never interrupted.
namespace tessera::copy {

// How the journal names a copy's range, and its scope: "<range>, 从<source>复制<n>个表".
QString copyRangeText(const QDateTime& start, const QDateTime& end);
QString copyScopeText(const QString& range, const QString& sourceDsn, qsizetype tables);

// The tables still to do of the newest copy into the same target from the
// same source over the same range, in the order chosen then: empty when
// that run did them all, nullopt when the journal has no such run.
std::optional<QStringList> tablesToResume(journal::Journal& journal, const CopySettings& settings,
                                          const QDateTime& start, const QDateTime& end);

} // namespace tessera::copy
