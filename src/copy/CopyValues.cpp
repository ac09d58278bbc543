#include "copy/CopyValues.h"
#include "text/DateTexts.h"

#include "text/DecimalText.h"
#include "text/Trimming.h"
#include "copy/CopyTables.h"
#include "db/DbError.h"
#include "db/ResultSet.h"
#include "schema/Schema.h"

#include <cmath>
#include <cstdio>

namespace tessera::copy {

namespace {

// printf's "%f" and "%0.2f" as the value the target receives: the literal
// text would have been parsed back into the nearest double of its digits.
double roundedTo(double value, int decimals)
{
    const double scale = decimals == 2 ? 1e2 : 1e6;
    if (!std::isfinite(value) || std::fabs(value) * scale > 9e15)
        return value;
    return std::round(value * scale) / scale;
}

// "yyyy-mm-dd hh:mm:ss" naming a moment that exists on the calendar. Cheaper
// than a parse, which matters at a hundred thousand samples a second.
bool isValidCanonicalDateTime(const QString& text)
{
    if (text.size() != 19)
        return false;
    for (qsizetype i = 0; i < 19; ++i) {
        const QChar c = text[i];
        const bool ok = i == 4 || i == 7 ? c == u'-' : i == 10 ? c == u' ' : i == 13 || i == 16 ? c == u':'
                                                                                          : c.isDigit();
        if (!ok)
            return false;
    }
    auto number = [&](qsizetype from, qsizetype length) {
        int value = 0;
        for (qsizetype i = from; i < from + length; ++i)
            value = value * 10 + text[i].digitValue();
        return value;
    };
    return QDate::isValid(number(0, 4), number(5, 2), number(8, 2)) && number(11, 2) < 24 && number(14, 2) < 60
        && number(17, 2) < 60;
}

// "hh:mm:ss" of a time that exists, without the general parser (a tenth of
// an event row's cost went there).
std::optional<QTime> timeOfDay(const QString& hms)
{
    if (hms.size() != 8 || hms[2] != u':' || hms[5] != u':')
        return std::nullopt;
    int parts[3] = {};
    for (int part = 0; part < 3; ++part) {
        const QChar high = hms[part * 3];
        const QChar low = hms[part * 3 + 1];
        if (!high.isDigit() || !low.isDigit())
            return std::nullopt;
        parts[part] = high.digitValue() * 10 + low.digitValue();
    }
    if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59)
        return std::nullopt;
    return QTime(parts[0], parts[1], parts[2]);
}

QString canonicalText(const QDateTime& moment)
{
    const QDate d = moment.date();
    const QTime t = moment.time();
    if (d.year() < 1 || d.year() > 9999)
        return moment.toString(dateTimeFormat());
    // Without QDateTime::toString's locale machinery: it is on every row.
    char text[20];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", d.year(), d.month(), d.day(), t.hour(),
        t.minute(), t.second());
    return QString::fromLatin1(text, 19);
}

// A time of day without its fraction of a second, which no target keeps.
QTime wholeSeconds(const QTime& time)
{
    return QTime(time.hour(), time.minute(), time.second());
}

// Values are wall-clock readings of the source: Qt::UTC keeps them free of
// the local zone, whose daylight-saving gaps would shift a midnight.
QDateTime wallClock(const QDate& date, const QTime& time)
{
    return QDateTime(date, time, Qt::UTC);
}

// An integer column: as the bound number where the rows came typed, else
// from the driver's text.
qint64 integerOf(db::ResultSet& row, int column)
{
    if (const std::optional<qint64> bound = row.boundInteger(column))
        return *bound;
    return decimalInteger(row.string(column));
}

class RowReader {
public:
    RowReader(const QString& table, const QStringList& columns, db::ResultSet& row, qint64 rowNumber)
        : m_table(table)
        , m_columns(columns)
        , m_row(row)
        , m_rowNumber(rowNumber)
    {
    }

    db::Value date(int column, bool targetTakesText)
    {
        if (const std::optional<QDateTime> bound = boundMoment(column)) {
            const QDateTime midnight = wallClock(bound->date(), QTime(0, 0));
            return targetTakesText ? db::Value(canonicalText(midnight)) : db::Value(midnight);
        }
        const std::optional<QString> text = m_row.text(column);
        if (!text)
            return std::monostate{};
        // Canonical text as the SQLite source keeps it: the day as it stands.
        if (targetTakesText && isValidCanonicalDateTime(*text))
            return text->left(11) + QStringLiteral("00:00:00");
        const std::optional<QDateTime> parsed = db::parseOdbcDateTime(*text);
        if (!parsed)
            throw unreadable(column, *text);
        const QDateTime midnight = wallClock(parsed->date(), QTime(0, 0));
        return targetTakesText ? db::Value(canonicalText(midnight)) : db::Value(midnight);
    }

    // hh:mm:ss of an event time: the eight characters from position 11 of a
    // date-time rendering; a bare time of day is taken as it is.
    db::Value time(int column, bool targetTakesText)
    {
        if (const std::optional<QDateTime> bound = boundMoment(column)) {
            const QDateTime moment = wallClock(QDate(1899, 12, 30), wholeSeconds(bound->time()));
            return targetTakesText ? db::Value(canonicalText(moment)) : db::Value(moment);
        }
        const std::optional<QString> text = m_row.text(column);
        if (!text)
            return std::monostate{};
        QString hms = *text;
        if (hms.size() >= 19)
            hms = hms.mid(11, 8);
        else if (hms.size() > 8 && hms[2] == u':')
            hms = hms.left(8);
        const std::optional<QTime> time = timeOfDay(hms);
        if (!time)
            throw unreadable(column, *text);
        if (targetTakesText)
            return QStringLiteral("1899-12-30 ") + hms;
        const QDateTime moment = wallClock(QDate(1899, 12, 30), *time);
        return db::Value(moment);
    }

    // A sample's instant: leading blanks go, and a fraction of a second when
    // there is one (older servers render ".000"). A target that keeps
    // date-times as text takes canonical text as it is: no parse, no format.
    db::Value instant(int column, bool targetTakesText)
    {
        if (const std::optional<QDateTime> bound = boundMoment(column)) {
            const QDateTime moment = wallClock(bound->date(), wholeSeconds(bound->time()));
            return targetTakesText ? db::Value(canonicalText(moment)) : db::Value(moment);
        }
        const std::optional<QString> rendered = m_row.text(column);
        if (!rendered)
            throw unreadable(column, QStringLiteral("NULL"));
        QString text = withoutLeadingWhiteSpace(*rendered);
        const qsizetype dot = text.indexOf(u'.', 10);
        if (dot > 0)
            text.truncate(dot);
        if (targetTakesText && isValidCanonicalDateTime(text))
            return text;
        const std::optional<QDateTime> parsed = db::parseOdbcDateTime(text);
        if (!parsed)
            throw unreadable(column, *rendered);
        return targetTakesText ? db::Value(canonicalText(*parsed)) : db::Value(*parsed);
    }

    // An event table's real as single precision; NULL reads as 0.
    double single(int column)
    {
        const db::TypedNumber n = m_row.number(column);
        if (!n.isNull() && !n.readable)
            throw unreadable(column, m_row.string(column));
        return n.isNull() ? 0.0 : double(float(n.value));
    }

    // A sample's value, whatever numeric type holds it (REAL, FLOAT, DOUBLE,
    // DECIMAL, NUMERIC, INTEGER, money): the nearest double of what the source
    // holds, which the target column then stores as its type does. NULL
    // stays NULL; a text that is no number fails the row.
    db::Value value(int column)
    {
        const db::TypedNumber n = m_row.number(column);
        if (n.isNull())
            return std::monostate{};
        if (!n.readable)
            throw unreadable(column, m_row.string(column));
        return n.value;
    }

private:
    // A timestamp the driver bound, checked: a server's zero date names no day.
    std::optional<QDateTime> boundMoment(int column)
    {
        std::optional<QDateTime> bound = m_row.boundDateTime(column);
        if (bound && !bound->isValid())
            throw unreadable(column, m_row.string(column));
        return bound;
    }

    db::DbError unreadable(int column, const QString& text) const
    {
        return unreadableValue(m_table, m_rowNumber, m_columns.value(column), text);
    }

    const QString& m_table;
    const QStringList& m_columns;
    db::ResultSet& m_row;
    qint64 m_rowNumber;
};

Conversion conversionOf(ValueKind kind)
{
    switch (kind) {
    case ValueKind::Date:
        return Conversion::Date;
    case ValueKind::Time:
        return Conversion::Time;
    case ValueKind::Integer:
        return Conversion::Integer;
    case ValueKind::RealSingle:
        return Conversion::Single;
    case ValueKind::Real:
        return Conversion::SingleFromText;
    case ValueKind::Text:
    case ValueKind::DateTime: // no event table has one
        break;
    }
    return Conversion::Text;
}

std::vector<EventTableCopy> makeEventTableCopies()
{
    auto describe = [](SchemaTable schemaTable, const QString& statusAtStart, const QString& statusAfterDelete,
                       const QString& insertFailure) {
        const TableLayout& layout = tableLayout(schemaTable);
        EventTableCopy t{layout.name, statusAtStart, statusAfterDelete, insertFailure, layout.columnNames(), {}};
        for (const Column& c : layout.columns)
            t.conversions.push_back(conversionOf(c.kind));
        return t;
    };
    const QString noTable = QStringLiteral("不能处理%1数据表!");
    std::vector<EventTableCopy> tables;
    tables.push_back(describe(SchemaTable::SOE, kStatusStarted, {}, noTable.arg(QStringLiteral("SOE"))));
    tables.push_back(describe(SchemaTable::Fault, {}, kStatusBegun, noTable.arg(QStringLiteral("Fault"))));
    EventTableCopy alarms =
        describe(SchemaTable::LimitAlarm, kStatusStarted, {}, noTable.arg(QStringLiteral("LimitAlarm")));
    // Alarm values go with two decimals; the operator keeps its leading blanks.
    alarms.conversions[9] = alarms.conversions[10] = Conversion::SingleTwo;
    alarms.conversions[11] = Conversion::TextAsIs;
    tables.push_back(alarms);
    tables.push_back(describe(SchemaTable::RSChange, kStatusStarted, {}, noTable.arg(QStringLiteral("RSChange"))));
    tables.push_back(describe(SchemaTable::RSSummary, kStatusFailed, {}, noTable.arg(QStringLiteral("RSSummary"))));
    tables.push_back(
        describe(SchemaTable::SDaySummary, kStatusFailed, {}, noTable.arg(QStringLiteral("SDaySummary"))));
    tables.push_back(describe(SchemaTable::Event, kStatusStarted, {}, QStringLiteral("不能处理Event据表!")));
    return tables;
}

} // namespace

db::DbError unreadableValue(const QString& table, qint64 rowNumber, const QString& column, const QString& text)
{
    return db::DbError(QStringLiteral("22007"), 0,
                       QStringLiteral("%1表第%2行的%3无法识别:“%4”").arg(table).arg(rowNumber).arg(column, text));
}

const std::vector<EventTableCopy>& eventTableCopies()
{
    static const std::vector<EventTableCopy> tables = makeEventTableCopies();
    return tables;
}

const EventTableCopy* eventTableCopy(const QString& table)
{
    for (const EventTableCopy& t : eventTableCopies())
        if (t.table == table)
            return &t;
    return nullptr;
}

std::vector<db::Value> convertEventRow(const EventTableCopy& table, db::ResultSet& row, bool targetTakesText,
                                       qint64 rowNumber)
{
    RowReader reader(table.table, table.columns, row, rowNumber);
    std::vector<db::Value> values;
    values.reserve(table.conversions.size());
    for (int i = 0; i < int(table.conversions.size()); ++i) {
        switch (table.conversions[size_t(i)]) {
        case Conversion::Date:
            values.push_back(reader.date(i, targetTakesText));
            break;
        case Conversion::Time:
            values.push_back(reader.time(i, targetTakesText));
            break;
        case Conversion::Integer:
            values.emplace_back(integerOf(row, i));
            break;
        case Conversion::Text:
            values.emplace_back(withoutLeadingWhiteSpace(row.string(i)));
            break;
        case Conversion::TextAsIs:
            values.emplace_back(row.string(i));
            break;
        case Conversion::Single:
            values.emplace_back(roundedTo(reader.single(i), 6));
            break;
        case Conversion::SingleTwo:
            values.emplace_back(roundedTo(reader.single(i), 2));
            break;
        case Conversion::SingleFromText:
            values.emplace_back(roundedTo(double(float(decimalReal(row.string(i)))), 6));
            break;
        }
    }
    return values;
}

std::vector<db::Value> convertSample(const QString& dayTable, db::ResultSet& row, bool targetTakesText,
                                     qint64 rowNumber)
{
    static const QStringList columns{QStringLiteral("ATime"), QStringLiteral("TagID"), QStringLiteral("DataType"),
                                     QStringLiteral("nValue"), QStringLiteral("nValueChange")};
    RowReader reader(dayTable, columns, row, rowNumber);
    return {reader.instant(0, targetTakesText), integerOf(row, 1), integerOf(row, 2), reader.value(3),
            reader.value(4)};
}

} // namespace tessera::copy
