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
    qint64 deleted = 0;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        try {
            unit.executeSurvivable(deleteSql(kind, db, *it));
        } catch (const db::DbError& error) {
            db::rethrowIfConnectionLost(error);
            failure = error.message();
            break;
        }
        ++deleted;
    }
    unit.commit();
    return deleted;
}

} // namespace tessera::records
