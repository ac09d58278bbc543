#include "telemetry/SampleScope.h"

#include "schema/Schema.h"
#include "schema/TableNames.h"
#include "text/DateTexts.h"

#include <QDateTime>

namespace tessera::telemetry {

journal::Value instantValue(const QDate& day, const QTime& time)
{
    return journal::DateTimeText{dateTimeText(day, time)};
}

journal::Value rangeEndValue(const QDate& day, const QTime& end)
{
    // Wall-clock seconds: no time zone may shift the day's last second.
    return journal::DateTimeText{dateTimeText(QDateTime(day, end, Qt::UTC).addSecs(1))};
}

journal::ScopeClause scopeClause(const TelemetryScope& scope, const journal::Value& from, const journal::Value& until,
                                 const CatalogueNode& catalogue)
{
    using journal::Comparison;
    const QString tag = QStringLiteral("TagID");
    journal::ScopeClause clause = journal::rangeClause(QStringLiteral("ATime"), from, until);
    switch (scope.kind) {
    case TelemetryScope::Kind::Tag:
        clause.terms.push_back(journal::equalTo(tag, qint64(scope.tagId)));
        break;
    case TelemetryScope::Kind::Station:
        clause.terms.push_back({tag, Comparison::InTelemetryCatalogue, {scope.station}});
        break;
    case TelemetryScope::Kind::AllTelemetry:
        clause.terms.push_back({tag, Comparison::InTelemetryCatalogue, {}});
        break;
    case TelemetryScope::Kind::Switch: {
        // One list in parentheses, so that the range bounds every tag of it.
        journal::ScopeTerm list{tag, Comparison::AnyOf, {}};
        for (int id : tagIdsUnder(catalogue, scope.station, scope.switchName))
            list.values.emplace_back(qint64(id));
        clause.terms.push_back(std::move(list));
        break;
    }
    }
    return clause;
}

bool scopeHasNoTags(const TelemetryScope& scope, const CatalogueNode& catalogue)
{
    return scope.kind == TelemetryScope::Kind::Switch && tagIdsUnder(catalogue, scope.station, scope.switchName).empty();
}

UnitScope samplesOf(const QDate& day, const TelemetryScope& scope, const journal::Value& from,
                    const journal::Value& until, const CatalogueNode& catalogue)
{
    return {TelemetryTableName(day), {scopeClause(scope, from, until, catalogue)}};
}

UnitScope samplesOf(const QDate& day, const QTime& start, const QTime& end, const TelemetryScope& scope,
                    const CatalogueNode& catalogue)
{
    return samplesOf(day, scope, instantValue(day, start), rangeEndValue(day, end), catalogue);
}

QString whereOf(DatabaseKind kind, const UnitScope& samples)
{
    return QStringLiteral("%1 WHERE %2").arg(samples.table, journal::clauseSql(kind, samples.clauses.at(0)));
}

QString selectNewestFirstSql(DatabaseKind kind, const UnitScope& samples)
{
    return QStringLiteral("SELECT %1 FROM %2 ORDER BY ATime DESC").arg(kSampleColumns, whereOf(kind, samples));
}

QString countSql(DatabaseKind kind, const UnitScope& samples)
{
    return QStringLiteral("SELECT COUNT(*) FROM ") + whereOf(kind, samples);
}

QString deleteSql(DatabaseKind kind, const UnitScope& samples)
{
    return QStringLiteral("DELETE FROM ") + whereOf(kind, samples);
}

QString updateSql(DatabaseKind kind, const UnitScope& samples, const QString& assignments)
{
    return QStringLiteral("UPDATE %1 SET %2 WHERE %3")
        .arg(samples.table, assignments, journal::clauseSql(kind, samples.clauses.at(0)));
}

} // namespace tessera::telemetry
