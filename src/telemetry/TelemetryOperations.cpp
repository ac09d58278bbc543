#include "telemetry/TelemetryOperations.h"

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/ResultSet.h"
#include "dialect/ArchiveUnit.h"
#include "schema/Schema.h"
#include "telemetry/TelemetryList.h"
#include "telemetry/TelemetryWrites.h"
#include "text/DecimalText.h"
#include "view/FillSink.h"

#include <map>

namespace tessera::telemetry {

using namespace writes;

// ---- Query ---------------------------------------------------------------------------

QString querySql(DatabaseKind kind, const QueryRequest& r)
{
    return QStringLiteral("SELECT * FROM %1 WHERE ATime>=%2 AND ATime<%3 AND TagID=%4 AND DataType=6 "
                          "ORDER BY ATime DESC")
        .arg(TelemetryTableName(r.day), instantLiteral(kind, r.day, r.start), rangeEndLiteral(kind, r.day, r.end))
        .arg(r.tagId);
}

void queryTelemetry(db::Connection& connection, DatabaseKind kind, const QueryRequest& request, FillSink& sink)
{
    db::ResultSet rs = connection.query(querySql(kind, request));
    sink.columns(columnNames(rs));
    while (rs.next())
        sink.row(sampleCells(kind, rs));
}

// ---- Single value -------------------------------------------------------------------

UnitScope singleValueScope(const SingleValue& s)
{
    return {TelemetryTableName(s.day),
            {{{journal::equalTo(QStringLiteral("TagID"), qint64(s.tagId)),
               journal::equalTo(QStringLiteral("ATime"), instantValue(s.day, s.time))}}}};
}

QString singleValueSql(DatabaseKind kind, const SingleValue& s)
{
    const UnitScope scope = singleValueScope(s);
    if (s.add)
        return sampleInsertSql(scope.table, instantLiteral(kind, s.day, s.time), s.tagId, twoDecimals(s.value),
                               twoDecimals(s.change));
    return updateSql(kind, scope, QStringLiteral("nValue=%1,nValueChange=%2").arg(twoDecimals(s.value), twoDecimals(s.change)));
}

bool writeSingleValue(db::Connection& connection, DatabaseKind kind, const SingleValue& sample)
{
    const qint64 affected = connection.execute(singleValueSql(kind, sample));
    if (sample.add || affected != 0)
        return true;
    // MariaDB counts changed rows, not matched ones: writing the values a
    // sample already has changes nothing, yet the sample is there.
    auto rs = connection.query(countSql(kind, singleValueScope(sample)));
    return rs.next() && decimalInteger(rs.string(0)) > 0;
}

// ---- Delete -----------------------------------------------------------------------------

UnitScope sampleScope(const QString& timeText, int tagId)
{
    return {QStringLiteral("Tag%1%2%3").arg(timeText.mid(0, 4), timeText.mid(5, 2), timeText.mid(8, 2)),
            {{{journal::equalTo(QStringLiteral("ATime"), journal::DateTimeText{timeText}),
               journal::equalTo(QStringLiteral("TagID"), qint64(tagId))}}}};
}

QString deleteSampleSql(DatabaseKind kind, const QString& timeText, int tagId)
{
    return deleteSql(kind, sampleScope(timeText, tagId));
}

void deleteSample(db::Connection& connection, DatabaseKind kind, const QString& timeText, int tagId)
{
    connection.execute(deleteSampleSql(kind, timeText, tagId));
}

std::vector<UnitScope> samplesScopes(const std::vector<std::pair<QString, int>>& samples)
{
    std::map<QString, UnitScope> byTable;
    for (const auto& [timeText, tagId] : samples) {
        UnitScope one = sampleScope(timeText, tagId);
        UnitScope& scope = byTable[one.table];
        scope.table = one.table;
        if (std::find(scope.clauses.begin(), scope.clauses.end(), one.clauses[0]) == scope.clauses.end())
            scope.clauses.push_back(std::move(one.clauses[0]));
    }
    std::vector<UnitScope> scopes;
    for (auto& [table, scope] : byTable)
        scopes.push_back(std::move(scope));
    return scopes;
}

qint64 deleteSamples(db::Connection& connection, DatabaseKind kind, const std::vector<std::pair<QString, int>>& samples,
                     ArchiveUnit& unit, QString& failure)
{
    QStringList statements;
    for (auto it = samples.rbegin(); it != samples.rend(); ++it)
        statements << deleteSampleSql(kind, it->first, it->second);
    const qint64 deleted = unit.executeUpToFailure(statements, failure);
    unit.commit();
    return deleted;
}

// ---- Zeroing -------------------------------------------------------------------------------

UnitScope zeroingScope(const RangeOfDay& range, const TelemetryScope& scope, const CatalogueNode& catalogue)
{
    return samplesOf(range.day, range.start, range.end, scope, catalogue);
}

QString zeroingSql(DatabaseKind kind, const RangeOfDay& range, const TelemetryScope& scope,
                   const CatalogueNode& catalogue)
{
    return updateSql(kind, zeroingScope(range, scope, catalogue), QStringLiteral("nValue=0,nValueChange=0"));
}

void zeroTelemetry(db::Connection& connection, DatabaseKind kind, const RangeOfDay& range,
                   const TelemetryScope& scope, const CatalogueNode& catalogue, ArchiveUnit& unit)
{
    if (scopeHasNoTags(scope, catalogue))
        throw db::DbError(QStringLiteral("42000"), 0, QStringLiteral("no tags under the switch"));
    connection.execute(zeroingSql(kind, range, scope, catalogue));
    unit.commit();
}

} // namespace tessera::telemetry
