#include "copy/CopyResume.h"

#include "copy/CopyTables.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "dialect/NamedLock.h"
#include "journal/Journal.h"
#include "text/DateTexts.h"
#include "view/CommandIds.h"

#include <map>
#include <set>

namespace tessera::copy {

namespace {

// The scope up to the number of tables.
QString scopeFrom(const QString& range, const QString& sourceDsn)
{
    return QStringLiteral("%1, 从%2复制").arg(range, sourceDsn);
}

QString identitySuffix(const QString& identity)
{
    return identity.isEmpty() ? QString() : QStringLiteral("; ") + identity;
}

// Whether another run holds the target's copy lock now.
bool targetBusy(const db::Connection& target, DatabaseKind kind)
{
    try {
        return !NamedLock::tryAcquire(target, kind, QStringLiteral("tessera-copy")).lock;
    } catch (const db::DbError&) {
        return false; // the run's own attempt says why
    }
}

struct TableOutcome {
    QString status;
    qint64 runId = 0;
};

} // namespace

QString copyRangeText(const QDateTime& start, const QDateTime& end)
{
    return QStringLiteral("%1 至 %2").arg(dateText(start.date()), dateText(end.date()));
}

QString copyScopeText(const QString& range, const QString& sourceDsn, qsizetype tables, const QString& identity)
{
    return scopeFrom(range, sourceDsn) + QStringLiteral("%1个表").arg(tables) + identitySuffix(identity);
}

QString copyRunIdentity(const db::Connection& source, const db::Connection& target)
{
    return QStringLiteral("源:%1; 目的:%2").arg(source.databaseIdentity(), target.databaseIdentity());
}

ResumePlan planResume(journal::Journal& journal, const CopySettings& settings, const db::Connection& source,
                      const db::Connection& target, const QDateTime& start, const QDateTime& end)
{
    const QString prefix = scopeFrom(copyRangeText(start, end), settings.source.dsn);
    const QString suffix = identitySuffix(copyRunIdentity(source, target));
    journal::EntryFilter filter;
    filter.commandId = cmd::DataCopy;
    std::map<QString, TableOutcome> latest; // by table, from the newest run that copied it
    std::map<qint64, journal::EntrySummary> runs;
    std::optional<journal::EntrySummary> newest;
    for (const journal::EntrySummary& run : journal.entries(filter)) { // the newest first
        if (run.dataSource != settings.target.dsn || !run.scopeText.startsWith(prefix)
            || !run.scopeText.endsWith(suffix) || run.undoneBy != 0)
            continue;
        const auto details = journal.entry(run.id);
        if (!details)
            continue;
        if (!newest)
            newest = run;
        runs[run.id] = run;
        for (const journal::UnitInfo& unit : details->units)
            // A name the list does not have is no table of a copy (a damaged journal).
            if (copyTableRow(unit.table) >= 0 && !latest.count(unit.table))
                latest[unit.table] = {unit.status, run.id};
    }
    ResumePlan plan;
    if (!newest) {
        plan.refusal = QStringLiteral("没有可以继续的复制:操作日志中没有从%1到%2、范围相同的复制")
                           .arg(settings.source.dsn, settings.target.dsn);
        return plan;
    }
    if (newest->state == journal::EntryState::Pending && targetBusy(target, settings.target.kind)) {
        plan.refusal = QStringLiteral("第%1号复制仍在进行,不能继续它;请等它结束后再试").arg(newest->id);
        return plan;
    }
    std::set<qint64> continued;
    for (const QString& name : copyTableNames())
        if (const auto found = latest.find(name); found != latest.end() && !statusNeedsNoRerun(found->second.status)) {
            plan.tables << name;
            continued.insert(found->second.runId);
        }
    auto named = [&](const journal::EntrySummary& run) {
        return QStringLiteral("第%1号复制(%2开始)")
            .arg(run.id)
            .arg(dateTimeText(run.startedLocal));
    };
    if (plan.tables.isEmpty()) {
        plan.announcement = QStringLiteral("上次复制的表都已处理成功完成(%1)。").arg(named(*newest));
        return plan;
    }
    QStringList names;
    for (qint64 id : continued)
        names << named(runs[id]);
    plan.announcement = QStringLiteral("继续%1:再复制%2个表").arg(names.join(QStringLiteral("、"))).arg(plan.tables.size());
    return plan;
}

} // namespace tessera::copy
