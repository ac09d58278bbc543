// The units of a run as the verify and the repair see them: the copy's own
// reads of both sides, compared by the copy's equality.
#include "copy/CopyRun.h"

#include "copy/SideFailure.h"
#include "copy/VerifyUnit.h"
#include "dialect/DriverOptions.h"
#include "db/ResultSet.h"
#include "schema/Schema.h"
#include "text/DateTexts.h"

#include <sqlext.h>

namespace tessera::copy {

namespace {

ValueRule ruleOf(Conversion conversion)
{
    switch (conversion) {
    case Conversion::Date:
        return ValueRule::Moment;
    case Conversion::Time:
        return ValueRule::TimeOfDay;
    case Conversion::Integer:
        return ValueRule::Integer;
    case Conversion::Single:
    case Conversion::SingleTwo:
    case Conversion::SingleFromText:
        return ValueRule::Real;
    case Conversion::Text:
    case Conversion::TextAsIs:
        break;
    }
    return ValueRule::Text;
}

// The columns that name a row: the table's delete key, else its dates, times and texts.
std::vector<int> keyColumns(const EventTableCopy& t)
{
    std::vector<int> key;
    const TableLayout* layout = nullptr;
    for (SchemaTable table : allSchemaTables())
        if (tableLayout(table).name == t.table)
            layout = &tableLayout(table);
    if (layout)
        for (const QString& name : layout->deleteKey)
            key.push_back(int(t.columns.indexOf(name)));
    if (key.empty())
        for (int i = 0; i < int(t.conversions.size()); ++i)
            if (ruleOf(t.conversions[size_t(i)]) != ValueRule::Real && ruleOf(t.conversions[size_t(i)]) != ValueRule::Integer)
                key.push_back(i);
    return key;
}

// Which columns of the target's table are declared single precision (the
// SQLite driver reports a REAL column as a double, which SQLite keeps).
std::vector<bool> keptAsFloats(db::Connection& target, const QString& table, const QString& columns)
{
    db::ResultSet shape = target.query(QStringLiteral("SELECT %1 FROM %2 WHERE 1=0").arg(columns, table));
    std::vector<bool> single;
    for (int i = 0; i < shape.columnCount(); ++i)
        single.push_back(shape.columnType(i) == SQL_REAL
                         || shape.columnTypeName(i).compare(QLatin1String("REAL"), Qt::CaseInsensitive) == 0);
    return single;
}

// The condition of the copy's delete: the unit's range in the target.
QString whereOf(const QString& deleteSql)
{
    return deleteSql.mid(deleteSql.indexOf(QStringLiteral(" WHERE ")));
}

QString momentText(qint64 seconds)
{
    return dateTimeText(QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC));
}

} // namespace

QStringList differenceHeaders()
{
    return {QStringLiteral("表名"), QStringLiteral("单元"), QStringLiteral("差异"), QStringLiteral("源"),
            QStringLiteral("目的")};
}

QStringList differenceCells(const DifferenceLine& line)
{
    auto values = [&](const QStringList& texts) {
        QStringList pairs;
        for (qsizetype i = 0; i < texts.size(); ++i)
            pairs << line.columns.value(i) + u'=' + texts[i];
        return pairs.join(QStringLiteral("; "));
    };
    return {line.table, line.unit, line.kind, values(line.source), values(line.target)};
}

QString differenceStatus(qint64 missing, qint64 extra, qint64 different)
{
    if (missing == 0 && extra == 0 && different == 0)
        return kStatusEqual;
    return QStringLiteral("不一致: 缺%1 多%2 异%3").arg(missing).arg(extra).arg(different);
}

void CopyRun::VerifyTally::add(const VerifyResult& result)
{
    missing += result.missing;
    extra += result.extra;
    different += result.different;
}

QString CopyRun::VerifyTally::status() const
{
    return differenceStatus(missing, extra, different);
}

int CopyRun::RealDigits() const
{
    // The SQLite driver reads no more than 15 significant digits of a real:
    // against another kind, both sides are compared so far.
    const bool sourceSqlite = m_settings.source.kind == DatabaseKind::SQLite;
    const bool targetSqlite = m_settings.target.kind == DatabaseKind::SQLite;
    return sourceSqlite != targetSqlite ? 15 : 0;
}

VerifyPlan CopyRun::EventVerifyPlan(const EventTableCopy& t) const
{
    const QString columns = t.columns.join(QLatin1Char(','));
    VerifyPlan plan;
    plan.source = EventTablePlan(t);
    plan.target = plan.source;
    plan.target.sourceSql = QStringLiteral("SELECT %1 FROM %2").arg(columns, t.table) + whereOf(plan.source.deleteSql);
    plan.target.typedValues = m_settings.target.kind != DatabaseKind::SQLite;
    // Moments as a side reads them: the text a SQLite side keeps, the values a server gives.
    plan.source.convert = [table = &t, text = !plan.source.typedValues](db::ResultSet& rs, qint64 rowNumber) {
        return convertEventRow(*table, rs, text, rowNumber);
    };
    plan.target.convert = [table = &t, text = !plan.target.typedValues](db::ResultSet& rs, qint64 rowNumber) {
        return convertEventRow(*table, rs, text, rowNumber);
    };
    for (int i = 0; i < int(t.columns.size()); ++i)
        plan.shape.columns.push_back({t.columns[i], ruleOf(t.conversions[size_t(i)]), false, RealDigits()});
    plan.shape.key = keyColumns(t);
    plan.shape.bucketColumn = int(t.columns.indexOf(QStringLiteral("ADate")));
    plan.shape.bucketSeconds = 86400;
    plan.shape.tolerance = m_tolerance;
    plan.bucketSql = [this, table = t.table, columns](bool sourceSide, qint64 first, qint64 last) {
        const DatabaseKind kind = sourceSide ? m_settings.source.kind : m_settings.target.kind;
        auto day = [&](qint64 bucket) { return FormatDateLiteral(kind, momentText(bucket * 86400).left(10)); };
        return QStringLiteral("SELECT %1 FROM %2 WHERE ADate>=%3 AND ADate<%4")
            .arg(sourceSide ? QStringLiteral("*") : columns, table, day(first), day(last + 1));
    };
    return plan;
}

VerifyPlan CopyRun::TelemetryVerifyPlan(const QString& dayName, const CalendarDay& day, int year)
{
    const QString newTable = TelemetryTableName(year, day.month, day.day);
    VerifyPlan plan;
    plan.source = TelemetryDayPlan(dayName, day, year);
    plan.target = plan.source;
    plan.target.sourceSql = QStringLiteral("SELECT %1 FROM %2").arg(kSampleColumns, newTable) + whereOf(plan.source.deleteSql);
    plan.target.typedValues = m_settings.target.kind != DatabaseKind::SQLite;
    plan.source.convert = [dayName, text = !plan.source.typedValues](db::ResultSet& rs, qint64 rowNumber) {
        return convertSample(dayName, rs, text, rowNumber);
    };
    plan.target.convert = [newTable, text = !plan.target.typedValues](db::ResultSet& rs, qint64 rowNumber) {
        return convertSample(newTable, rs, text, rowNumber);
    };
    const std::vector<bool> single = keptAsFloats(m_target, newTable, kSampleColumns);
    const ValueRule rules[] = {ValueRule::Moment, ValueRule::Integer, ValueRule::Integer, ValueRule::Real,
                               ValueRule::Real};
    const QStringList names = kSampleColumns.split(QLatin1Char(','));
    for (int i = 0; i < 5; ++i)
        plan.shape.columns.push_back({names[i], rules[i], single.at(size_t(i)), RealDigits()});
    plan.shape.key = {0, 1};
    plan.shape.bucketColumn = 0;
    plan.shape.bucketSeconds = 60;
    plan.shape.tolerance = m_tolerance;
    plan.bucketSql = [this, dayName, newTable](bool sourceSide, qint64 first, qint64 last) {
        const DatabaseKind kind = sourceSide ? m_settings.source.kind : m_settings.target.kind;
        return QStringLiteral("SELECT %1 FROM %2 WHERE ATime>=%3 AND ATime<%4")
            .arg(kSampleColumns, sourceSide ? dayName : newTable, FormatDateLiteral(kind, momentText(first * 60)),
                 FormatDateLiteral(kind, momentText((last + 1) * 60)));
    };
    return plan;
}

UnitResult CopyRun::RunUnit(int row, const QString& unitText, const UnitPlan& copy,
                            const std::function<VerifyPlan()>& verifyPlan, const UnitCallbacks& callbacks,
                            VerifyTally& tally)
{
    if (m_mode == RunMode::Copy)
        return copyUnit(m_target, m_settings.target.kind, m_source, copy, callbacks);
    const QString table = copyTableNames().value(row);
    VerifyPlan plan;
    try {
        plan = onSide(Side::Target, UnitEnd::SourceFailed, verifyPlan);
        // The target is read on a connection of its own that reads as a
        // copy's source does: row by row, not a whole day into the driver's memory.
        if (!m_targetReading.isOpen())
            m_targetReading = onSide(Side::Target, UnitEnd::SourceFailed, [&] {
                return m_target.openAnother(driverOptionsFor(m_settings.target.kind, ConnectionRole::CopySource));
            });
    } catch (const SideFailure& failure) {
        UnitResult result;
        failure.endInto(result);
        return result;
    }
    auto compare = [&](bool tell) {
        const DifferenceFound found = [&](const RowDifference& difference) {
            if (!tell)
                return;
            static const char* const kinds[] = {"缺", "多", "异"};
            QStringList names;
            for (const ColumnRule& column : plan.shape.columns)
                names << column.name;
            m_report->rowDifference(row, {table, unitText, QString::fromUtf8(kinds[int(difference.kind)]), names,
                                          difference.source.empty() ? QStringList() : plan.shape.texts(difference.source),
                                          difference.target.empty() ? QStringList() : plan.shape.texts(difference.target)});
        };
        return verifyUnit(m_targetReading, m_source, plan, callbacks, found);
    };
    auto asUnitResult = [](const VerifyResult& verdict) {
        return UnitResult{verdict.end, verdict.sourceRows, verdict.error, verdict.side};
    };
    // A repair tells only what remains after its copy.
    VerifyResult verdict = compare(m_mode == RunMode::Verify);
    if (verdict.end != UnitEnd::Done || m_mode == RunMode::Verify || verdict.equal()) {
        tally.add(verdict);
        return asUnitResult(verdict);
    }
    tally.repaired = true;
    const UnitResult copied = copyUnit(m_target, m_settings.target.kind, m_source, copy, callbacks);
    if (copied.end != UnitEnd::Done)
        return copied;
    verdict = compare(true);
    tally.add(verdict);
    return asUnitResult(verdict);
}

} // namespace tessera::copy
