#include "telemetry/OriginalValues.h"

#include "journal/Journal.h"
#include "schema/TableNames.h"
#include "telemetry/TelemetryTexts.h"

#include <map>

namespace tessera::telemetry {

namespace {

QString textOf(const journal::Value& v)
{
    if (const auto* t = std::get_if<journal::DateTimeText>(&v))
        return t->text;
    if (const auto* s = std::get_if<QString>(&v))
        return *s;
    return QString();
}

std::optional<double> numberOf(const journal::Value& v)
{
    if (const auto* d = std::get_if<double>(&v))
        return *d;
    if (const auto* i = std::get_if<qint64>(&v))
        return double(*i);
    if (const auto* s = std::get_if<QString>(&v)) {
        bool ok = false;
        const double value = s->trimmed().toDouble(&ok);
        return ok ? std::optional<double>(value) : std::nullopt;
    }
    return std::nullopt;
}

// A column by name, any letter case (PostgreSQL reports them in lower case); -1 if absent.
int columnOf(const QStringList& columns, const QString& name)
{
    for (qsizetype i = 0; i < columns.size(); ++i)
        if (columns[i].compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

// The before-image rows of one unit that belong to the tag and the day.
void addBeforeRows(journal::Journal& journal, const journal::EntrySummary& entry, const journal::UnitInfo& unit,
                   int tagId, const QString& dayText, std::map<qint64, OriginalValue>& byTime)
{
    const int at = (columnOf(unit.columns, QStringLiteral("ATime")));
    const int tag = (columnOf(unit.columns, QStringLiteral("TagID")));
    const int value = (columnOf(unit.columns, QStringLiteral("nValue")));
    if (at < 0 || tag < 0 || value < 0)
        return;
    journal.forEachImageRow(entry.id, unit.index, journal::Side::Before, [&](const journal::Row& row) {
        const QString time = textOf(row[size_t(at)]);
        const auto id = numberOf(row[size_t(tag)]);
        const auto v = numberOf(row[size_t(value)]);
        const QTime ofDay = QTime::fromString(time.mid(11, 8), QStringLiteral("HH:mm:ss"));
        if (id && qint64(*id) == tagId && v && time.startsWith(dayText) && ofDay.isValid()) {
            const qint64 msecs = ofDay.msecsSinceStartOfDay();
            // Entries come newest first: the oldest image of an instant is the original.
            byTime[msecs] = {msecs, *v, entry.startedLocal, entry.login.isEmpty() ? entry.osUser : entry.login,
                             entry.reason};
        }
        return true;
    });
}

} // namespace

std::vector<OriginalValue> originalValues(journal::Journal& journal, const QString& dataSource, int tagId,
                                          const QDate& day)
{
    const QString table = TelemetryTableName(day);
    const QString dayText = day.toString(Qt::ISODate);
    std::map<qint64, OriginalValue> byTime;
    for (const journal::EntrySummary& summary : journal.entries()) {
        if (summary.dataSource != dataSource || summary.undoOf != 0 || summary.undoneBy != 0
            || summary.state != journal::EntryState::Done)
            continue;
        const auto details = journal.entry(summary.id);
        if (!details)
            continue;
        for (const journal::UnitInfo& unit : details->units)
            if (unit.beforeKept && unit.table.compare(table, Qt::CaseInsensitive) == 0)
                addBeforeRows(journal, summary, unit, tagId, dayText, byTime);
    }
    std::vector<OriginalValue> values;
    for (auto& [msecs, original] : byTime)
        values.push_back(std::move(original));
    return values;
}

} // namespace tessera::telemetry
