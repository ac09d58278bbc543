#include "copy/CopyResume.h"

#include "copy/CopyTables.h"
#include "journal/Journal.h"
#include "text/DateTexts.h"
#include "view/CommandIds.h"

namespace tessera::copy {

QString copyRangeText(const QDateTime& start, const QDateTime& end)
{
    return QStringLiteral("%1 至 %2").arg(dateText(start.date()), dateText(end.date()));
}

namespace {

// The scope up to the number of tables.
QString scopeFrom(const QString& range, const QString& sourceDsn)
{
    return QStringLiteral("%1, 从%2复制").arg(range, sourceDsn);
}

} // namespace

QString copyScopeText(const QString& range, const QString& sourceDsn, qsizetype tables)
{
    return scopeFrom(range, sourceDsn) + QStringLiteral("%1个表").arg(tables);
}

std::optional<QStringList> tablesToResume(journal::Journal& journal, const CopySettings& settings,
                                          const QDateTime& start, const QDateTime& end)
{
    journal::EntryFilter filter;
    filter.commandId = cmd::DataCopy;
    const QString range = copyRangeText(start, end);
    for (const journal::EntrySummary& run : journal.entries(filter)) { // the newest first
        if (run.dataSource != settings.target.dsn || !run.scopeText.startsWith(scopeFrom(range, settings.source.dsn)))
            continue;
        const auto details = journal.entry(run.id);
        if (!details)
            return std::nullopt;
        QStringList left;
        for (const journal::UnitInfo& unit : details->units)
            if (unit.status != kStatusDone)
                left << unit.table;
        return left;
    }
    return std::nullopt;
}

} // namespace tessera::copy
