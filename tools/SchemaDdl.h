#pragma once

#include "dialect/DatabaseKind.h"
#include "schema/Schema.h"

#include <QStringList>

// DDL of both database generations for the demo and the tests. The program
// itself never creates tables: the SCADA owns the schema.
namespace tessera::ddl {

enum class Generation { Newer, Older };

// The column type a kind's test schema uses for a value kind.
QString columnType(DatabaseKind kind, const Column& column);

QString createTableSql(DatabaseKind kind, const TableLayout& layout, const QString& tableName);

// The catalogue, the event and the summary tables (not the telemetry tables).
QStringList createSchemaSql(DatabaseKind kind);

// A telemetry table: a dated one of the newer generation, or a calendar-day
// one of the older generation, whose values are single-precision.
QString createTelemetryTableSql(DatabaseKind kind, const QString& tableName, Generation generation);

QString dropTableSql(const QString& tableName);

// Every table name createSchemaSql makes.
QStringList schemaTableNames();

} // namespace tessera::ddl
