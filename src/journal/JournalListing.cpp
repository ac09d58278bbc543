#include "journal/JournalListing.h"
#include "text/DateTexts.h"

#include "text/Csv.h"

#include <QIODevice>

namespace tessera::journal {

const QStringList& entryListHeaders()
{
    static const QStringList headers{QStringLiteral("编号"),   QStringLiteral("时间"),   QStringLiteral("用户"),
                                     QStringLiteral("登录名"), QStringLiteral("数据源"), QStringLiteral("命令"),
                                     QStringLiteral("范围"),   QStringLiteral("行数"),   QStringLiteral("结果"),
                                     QStringLiteral("修改原因")};
    return headers;
}

QStringList entryCells(const EntrySummary& entry)
{
    return {QString::number(entry.id),
            dateTimeText(entry.startedLocal),
            entry.osUser,
            entry.login,
            entry.dataSource,
            entry.commandName,
            entry.scopeText,
            rowCountText(entry.counts),
            outcomeText(entry),
            entry.reason};
}

QString rowCountText(const RowCounts& counts)
{
    QStringList parts;
    if (counts.removed >= 0)
        parts << QStringLiteral("删除%1行").arg(counts.removed);
    if (counts.written >= 0)
        parts << QStringLiteral("写入%1行").arg(counts.written);
    if (counts.failed > 0)
        parts << QStringLiteral("%1行未写入").arg(counts.failed);
    return parts.join(QStringLiteral(", "));
}

QString outcomeText(const EntrySummary& entry)
{
    if (!entry.problem.isEmpty())
        return QStringLiteral("记录已损坏,无法读取: %1").arg(entry.problem);
    QString text = entryStateText(entry.state);
    if (!entry.outcome.isEmpty() && entry.outcome != text)
        text += QStringLiteral(": ") + entry.outcome;
    if (entry.undoOf)
        text += QStringLiteral(" (撤销第%1条)").arg(entry.undoOf);
    if (entry.undoneBy)
        text += QStringLiteral(" (已由第%1条撤销)").arg(entry.undoneBy);
    return text;
}

bool writeEntriesCsv(QIODevice& device, const std::vector<EntrySummary>& entries)
{
    const CsvTable table{entryListHeaders(), qint64(entries.size()),
                         [&entries](qint64 row) { return entryCells(entries[size_t(row)]); }};
    return writeCsv(device, table) == CsvResult::Written;
}

} // namespace tessera::journal
