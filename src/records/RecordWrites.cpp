#include "records/RecordWrites.h"

#include "db/DbError.h"
#include "journal/ArchiveUnit.h"

namespace tessera::records {

journal::UnitScope recordsScope(const EventKind& kind, const std::vector<Record>& rows, KeyOf key)
{
    journal::UnitScope scope{kind.table, {}};
    for (const Record& row : rows) {
        journal::ScopeClause clause = key == KeyOf::Update ? updateClause(kind, row) : deleteClause(kind, row);
        if (std::find(scope.clauses.begin(), scope.clauses.end(), clause) == scope.clauses.end())
            scope.clauses.push_back(std::move(clause));
    }
    return scope;
}

qint64 deleteRecords(const EventKind& kind, DatabaseKind db, const std::vector<Record>& rows, journal::ArchiveUnit& unit,
                     QString& failure)
{
    QStringList statements;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        statements << deleteSql(kind, db, *it);
    const qint64 deleted = unit.executeUpToFailure(statements, failure);
    unit.commit();
    return deleted;
}

} // namespace tessera::records
