#include "SchemaDdl.h"

namespace tessera::ddl {

namespace {

int textWidth(const QString& column)
{
    if (column == QLatin1String("Contents") || column == QLatin1String("UserNote"))
        return 255;
    if (column == QLatin1String("Operator"))
        return 50;
    return 64;
}

} // namespace

QString columnType(DatabaseKind kind, const Column& column)
{
    const bool pg = kind == DatabaseKind::PostgreSQL;
    switch (column.kind) {
    case ValueKind::Text:
        return QStringLiteral("VARCHAR(%1)").arg(textWidth(column.name));
    case ValueKind::Integer:
        return QStringLiteral("INTEGER");
    case ValueKind::Real:
        return pg ? QStringLiteral("DOUBLE PRECISION") : QStringLiteral("DOUBLE");
    case ValueKind::RealSingle:
        // SQLite keeps every real in 8 bytes; the declared REAL still makes its
        // driver report a single-precision column, as the older databases do.
        return kind == DatabaseKind::MySql ? QStringLiteral("FLOAT") : QStringLiteral("REAL");
    case ValueKind::Date:
    case ValueKind::Time:
    case ValueKind::DateTime:
        return pg ? QStringLiteral("TIMESTAMP") : QStringLiteral("DATETIME");
    }
    return QString();
}

QString createTableSql(DatabaseKind kind, const TableLayout& layout, const QString& tableName)
{
    QStringList columns;
    for (const Column& c : layout.columns)
        columns << c.name + QLatin1Char(' ') + columnType(kind, c);
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(tableName, columns.join(QStringLiteral(", ")));
}

QStringList schemaTableNames()
{
    QStringList names;
    for (SchemaTable t : allSchemaTables())
        if (t != SchemaTable::Telemetry)
            names << tableLayout(t).name;
    return names;
}

QStringList createSchemaSql(DatabaseKind kind)
{
    QStringList statements;
    for (SchemaTable t : allSchemaTables())
        if (t != SchemaTable::Telemetry)
            statements << createTableSql(kind, tableLayout(t), tableLayout(t).name);
    return statements;
}

QString createTelemetryTableSql(DatabaseKind kind, const QString& tableName, Generation generation)
{
    TableLayout layout = tableLayout(SchemaTable::Telemetry);
    if (generation == Generation::Older)
        layout.columns[3].kind = ValueKind::RealSingle; // nValue; nValueChange stays double
    return createTableSql(kind, layout, tableName);
}

QString dropTableSql(const QString& tableName)
{
    return QStringLiteral("DROP TABLE IF EXISTS %1").arg(tableName);
}

} // namespace tessera::ddl
