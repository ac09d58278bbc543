#pragma once

#include "copy/CopySettings.h"

#include <QDateTime>
#include <QStringList>

#include <optional>

namespace tessera::db {
class Connection;
}
namespace tessera::journal {
class Journal;
}

// Continuing a copy that was stopped, failed or killed: its tables' outcomes
// are in the operation journal as each table ended, and every unit is atomic,
// so running again the tables that did not end "处理成功完成" gives the
// target of a run that was never interrupted.
namespace tessera::copy {

// How the journal names a copy's range, and its scope: "<range>, 从<source>复制<n>个表;
// 源:<source database>; 目的:<target database>", the databases as their drivers name them.
QString copyRangeText(const QDateTime& start, const QDateTime& end);
QString copyScopeText(const QString& range, const QString& sourceDsn, qsizetype tables, const QString& identity);
// The databases behind a run's two connections, as the scope ends with them.
QString copyRunIdentity(const db::Connection& source, const db::Connection& target);

struct ResumePlan {
    QStringList tables;   // to copy again, in row order; empty: nothing left
    QString announcement; // which run is continued, or that nothing is left
    QString refusal;      // no such run, or it is still going: nothing to do
};

// The tables to copy again: of the runs into the same target database from
// the same source database over the same range that were not undone, each
// table's latest outcome; those that did not end done. `source` and
// `target` are open; the target's copy lock tells a run that still goes.
ResumePlan planResume(journal::Journal& journal, const CopySettings& settings, const db::Connection& source,
                      const db::Connection& target, const QDateTime& start, const QDateTime& end);

} // namespace tessera::copy
