#include "records/RecordList.h"

#include "db/Connection.h"
#include "db/ResultSet.h"
#include "text/Trimming.h"
#include "view/FillSink.h"

namespace tessera::records {

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

} // namespace

QString timeOfDayCell(const QString& text)
{
    return text.mid(11, 8);
}

QString todaysRecordsSql(DatabaseKind db, ViewMode mode, const QDate& today)
{
    const EventKind* kind = eventKind(mode);
    if (!kind)
        return QString();
    const QString day = FormatDateLiteral(db, dateText(today));
    return QStringLiteral("SELECT * FROM %1 WHERE ADate>=%2 AND ADate<=%3 ORDER BY ADate DESC")
        .arg(kind->table, day, day);
}

void readTodaysRecords(db::Connection& connection, DatabaseKind db, ViewMode mode, const QDate& today,
                       FillSink& sink)
{
    const EventKind* kind = eventKind(mode);
    if (!kind)
        return;
    db::ResultSet rs = connection.query(todaysRecordsSql(db, mode, today));
    sink.columns(columnNames(rs));
    const ListCells& list = kind->list;
    QStringList cells;
    while (rs.next()) {
        cells.clear();
        for (int c = 0; c <= list.lastColumn; ++c)
            cells << readCell(rs, c, c < int(list.leading.size()) ? list.leading[size_t(c)] : CellRead::Text);
        sink.row(cells);
    }
}

} // namespace tessera::records
