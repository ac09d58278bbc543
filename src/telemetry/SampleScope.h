#pragma once

#include "dialect/DatabaseKind.h"
#include "journal/Scope.h"
#include "telemetry/TelemetryTexts.h"

#include <QDate>
#include <QString>
#include <QTime>

// The samples a telemetry command acts on, made once as a typed scope of one
// day's table, and the statements on them built from it here alone: the
// command's SQL, its journal image and its undo read the same rows.
namespace tessera {

struct CatalogueNode;

namespace telemetry {

using journal::UnitScope;

// A day and a time of day as a value of a scope's ATime, and the exclusive
// end of a range whose last second is `end` (as rangeEndLiteral).
journal::Value instantValue(const QDate& day, const QTime& time);
journal::Value rangeEndValue(const QDate& day, const QTime& end);

// The samples of a scope from an instant (inclusive) up to an end
// (exclusive), as a typed clause; clauseSql gives its condition. A switch
// whose tags are unknown lists none: its SQL ends in "()", which no
// database takes, and the journal refuses it.
journal::ScopeClause scopeClause(const TelemetryScope& scope, const journal::Value& from, const journal::Value& until,
                                 const CatalogueNode& catalogue);
// Whether the scope names no tag at all (a switch the catalogue does not know).
bool scopeHasNoTags(const TelemetryScope& scope, const CatalogueNode& catalogue);

// The samples of a scope in `day`'s table from `from` up to `until`
// (exclusive), and those of the whole seconds start to end of that day.
UnitScope samplesOf(const QDate& day, const TelemetryScope& scope, const journal::Value& from,
                    const journal::Value& until, const CatalogueNode& catalogue);
UnitScope samplesOf(const QDate& day, const QTime& start, const QTime& end, const TelemetryScope& scope,
                    const CatalogueNode& catalogue);

// The statements on the samples of a scope of one clause; whereOf gives
// "<table> WHERE <condition>" for the others.
QString whereOf(DatabaseKind kind, const UnitScope& samples);
QString selectNewestFirstSql(DatabaseKind kind, const UnitScope& samples);
QString countSql(DatabaseKind kind, const UnitScope& samples);
QString deleteSql(DatabaseKind kind, const UnitScope& samples);
// `assignments` as after SET: "nValue=0,nValueChange=0".
QString updateSql(DatabaseKind kind, const UnitScope& samples, const QString& assignments);

} // namespace telemetry
} // namespace tessera
