#include "view/RecordFill.h"

#include "db/Connection.h"
#include "db/ResultSet.h"
#include "schema/TableNames.h"
#include "text/DateTexts.h"
#include "text/Trimming.h"

namespace tessera {

namespace {

QString readCell(db::ResultSet& rs, int column, CellRead how)
{
    switch (how) {
    case CellRead::Text:
        return rs.string(column);
    case CellRead::Date:
        return dateCell(rs.dateTime(column));
    case CellRead::Time:
        return timeOfDayCell(rs.string(column));
    case CellRead::TrimmedTime:
        return timeOfDayCell(withoutTrailingWhiteSpace(rs.string(column)));
    }
    return QString();
}

QStringList columnNames(const db::ResultSet& rs)
{
    QStringList names;
    names.reserve(rs.columnCount());
    for (int c = 0; c < rs.columnCount(); ++c)
        names << rs.columnName(c);
    return names;
}

QString todayLiteral(DatabaseKind kind, const QDate& today)
{
    return FormatDateLiteral(kind, dateText(today));
}

} // namespace

const std::vector<RecordKindFill>& recordKindFills()
{
    using enum CellRead;
    // Operation events lead with their type; the other kinds with the date.
    static const std::vector<RecordKindFill> fills{
        {ViewMode::OperationEvents, QStringLiteral("Event"), {Text, Date, TrimmedTime}, 7,
         {QStringLiteral("读取操作事件表失败!"), MessageStyle::Standard, {}}},
        {ViewMode::LimitAlarms, QStringLiteral("LimitAlarm"), {Date, Time, Text}, 11,
         {QStringLiteral("查询越限事件表失败!"), MessageStyle::OwnedByView, QStringLiteral("越限事件")}},
        {ViewMode::SignalChanges, QStringLiteral("RSChange"), {Date, Time, Text}, 9,
         {QStringLiteral("读取遥信变位表失败!"), MessageStyle::Standard, {}}},
        {ViewMode::SoeEvents, QStringLiteral("SOE"), {Date, Time, Text}, 10,
         {QStringLiteral("查询SOE信息表失败!"), MessageStyle::Standard, {}}},
    };
    return fills;
}

const RecordKindFill* recordKindFill(ViewMode mode)
{
    for (const RecordKindFill& fill : recordKindFills())
        if (fill.mode == mode)
            return &fill;
    return nullptr;
}

const FillFailure& telemetryFillFailure()
{
    static const FillFailure failure{QStringLiteral("读取遥测数据表失败!"), MessageStyle::Standard, {}};
    return failure;
}

QString timeOfDayCell(const QString& text)
{
    return text.mid(11, 8);
}

QString telemetryTimeCell(DatabaseKind kind, const QString& text)
{
    QString shown = withoutTrailingWhiteSpace(text);
    if (kind == DatabaseKind::SqlServer)
        shown.chop(4);
    return shown;
}

QString recordKindSql(DatabaseKind kind, ViewMode mode, const QDate& today)
{
    const RecordKindFill* fill = recordKindFill(mode);
    if (!fill)
        return QString();
    const QString day = todayLiteral(kind, today);
    return QStringLiteral("SELECT * FROM %1 WHERE ADate>=%2 AND ADate<=%3 ORDER BY ADate DESC")
        .arg(fill->table, day, day);
}

void readRecordKind(db::Connection& connection, DatabaseKind kind, ViewMode mode, const QDate& today,
                    FillSink& sink)
{
    const RecordKindFill* fill = recordKindFill(mode);
    if (!fill)
        return;
    db::ResultSet rs = connection.query(recordKindSql(kind, mode, today));
    sink.columns(columnNames(rs));
    QStringList cells;
    while (rs.next()) {
        cells.clear();
        for (int c = 0; c <= fill->lastColumn; ++c)
            cells << readCell(rs, c, c < int(fill->leading.size()) ? fill->leading[size_t(c)] : CellRead::Text);
        sink.row(cells);
    }
}

QString telemetrySql(int tag, const QDate& today)
{
    return QStringLiteral("SELECT * FROM %1 WHERE (TagID=%2) ORDER BY ATime DESC")
        .arg(TelemetryTableName(today))
        .arg(tag);
}

void readTelemetry(db::Connection& connection, DatabaseKind kind, int tag, const QDate& today, FillSink& sink)
{
    db::ResultSet rs = connection.query(telemetrySql(tag, today));
    sink.columns(columnNames(rs));
    while (rs.next()) {
        // Column 2 holds the sample's DataType; the list shows the kind instead.
        sink.row({telemetryTimeCell(kind, rs.string(0)), rs.string(1), kTelemetryCellText, rs.string(3),
                  rs.string(4)});
    }
}

} // namespace tessera
