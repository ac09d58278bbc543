#include "copy/CopyRun.h"

#include "copy/CopyJournal.h"
#include "copy/CopyResume.h"
#include "copy/ParallelRun.h"
#include "dialect/TableTransactions.h"
#include "journal/JournalError.h"

#include "text/DateTexts.h"
#include "text/DecimalText.h"
#include "db/DataSource.h"
#include "db/DataSourceCatalogue.h"
#include "db/DbError.h"
#include "db/ResultSet.h"
#include "dialect/DriverOptions.h"
#include "dialect/NamedLock.h"
#include "schema/Schema.h"

#include <QRegularExpression>
#include <QScopeGuard>

#include <algorithm>

namespace tessera::copy {

namespace {

const QString kNoticeCaption = QStringLiteral("系统提示");
// The name of the lock a run holds on its target (see NamedLock).
const QString kCopyLockName = QStringLiteral("tessera-copy");
constexpr qint64 kProgressIntervalMs = 100;
constexpr int kRowsBetweenPulses = 64;

QString placeholders(int n)
{
    QStringList marks;
    for (int i = 0; i < n; ++i)
        marks << QStringLiteral("?");
    return marks.join(QLatin1Char(','));
}

// Rows per chunk of the writer: SQLite takes big chunks cheaply; a server
// keeps the chunk short so that the window is never frozen for long.
int chunkRowsFor(DatabaseKind kind)
{
    return kind == DatabaseKind::SQLite ? 4000 : 1000;
}

// The day after a calendar-day table's day in a year, by counting from the
// month's first: the day after 30 February (which no year has) is 1 March.
QDate dayAfter(int year, int month, int day)
{
    const QDate first(year, month, 1);
    return day < first.daysInMonth() ? QDate(year, month, day + 1) : first.addMonths(1);
}

// The share of a unit done after `rowsRead` rows, without a counting pass
// over the source: `expected` is what the unit replaced in the target (a run
// again meets about as many rows); without it a guess keeps the bar moving
// and never lets it reach the end before the unit does.
double unitFraction(qint64 rowsRead, qint64 expected)
{
    constexpr double kGuessedRows = 50000;
    if (expected > 0)
        return std::min(double(rowsRead) / double(expected), 0.99);
    return double(rowsRead) / (double(rowsRead) + kGuessedRows);
}

// The data-source name of a connect string, empty when it names none.
QString dataSourceOf(const QString& connectString)
{
    static const QRegularExpression dsn(QStringLiteral("(?:^|;)\\s*DSN=([^;]*)"),
                                        QRegularExpression::CaseInsensitiveOption);
    return dsn.match(connectString).captured(1);
}

} // namespace

CopyRun::CopyRun(CopySettings& settings, const QDateTime& start, const QDateTime& end, CopyReport& report)
    : m_settings(settings)
    , m_start(start)
    , m_end(end)
    , m_report(&report)
    , m_runClock(QDateTime::currentDateTime())
{
}

CopyRun::~CopyRun() = default;

bool CopyRun::LookUpConnectionKinds()
{
    auto lookUp = [this](const CopyDataSource& side, const QString& missing, DatabaseKind& kind) {
        const db::DataSourceDriver driver = db::findDataSourceDriver(side.dsn);
        if (!driver.driver) {
            m_report->message(driver.systemUnreadable && driver.userUnreadable
                                 ? QStringLiteral("错误:无法读取注册表中的信息")
                                 : missing);
            return false;
        }
        const auto found = kindOfDriverName(*driver.driver);
        if (!found) {
            m_report->message(QStringLiteral("错误:数据源“%1”的驱动程序“%2”不是可识别的数据库类型!")
                                 .arg(side.dsn, *driver.driver));
            return false;
        }
        kind = *found;
        return true;
    };
    return lookUp(m_settings.target, QStringLiteral("错误：无法查询备数据源的注册信息"), m_settings.target.kind)
        && lookUp(m_settings.source, QStringLiteral("错误：无法查询主数据源的注册信息"), m_settings.source.kind);
}

bool CopyRun::OpenCopyConnections()
{
    auto open = [this](const CopyDataSource& side, db::Connection& connection, const QString& cannotOpen,
                    const QString& accessFailed, const QString& options = {}) {
        connection.close();
        db::OpenedDataSource opened = db::openDataSource(side.dsn, side.user, side.password, options);
        if (opened.outcome == db::OpenedDataSource::Outcome::Opened) {
            connection = std::move(opened.connection);
            return true;
        }
        m_report->message(opened.outcome == db::OpenedDataSource::Outcome::CannotOpen ? cannotOpen : accessFailed,
                         kNoticeCaption);
        return false;
    };
    return open(m_settings.target, m_target, QStringLiteral("新版本数据源不能打开,请正确配置数据源"),
               QStringLiteral("访问新版本数据源失败,请正确配置数据源"),
               driverOptionsFor(m_settings.target.kind, ConnectionRole::Archive))
        && open(m_settings.source, m_source, QStringLiteral("旧版本数据库不能打开,请正确配置数据源"),
            QStringLiteral("访问旧版本数据库失败,请正确配置数据源"),
            driverOptionsFor(m_settings.source.kind, ConnectionRole::CopySource));
}

bool CopyRun::RunCopy(const QStringList& chosenTables)
{
    if (!OpenCopyConnections())
        return false;
    return CopyTables(chosenTables);
}

void CopyRun::CloseConnections()
{
    m_targetReading.close();
    m_target.close();
    m_source.close();
}

void CopyRun::Attach(db::Connection target, DatabaseKind targetKind, db::Connection source, DatabaseKind sourceKind)
{
    m_target = std::move(target);
    m_source = std::move(source);
    m_settings.target.kind = targetKind;
    m_settings.source.kind = sourceKind;
    if (m_settings.target.dsn.isEmpty())
        m_settings.target.dsn = dataSourceOf(m_target.connectString());
    if (m_settings.source.dsn.isEmpty())
        m_settings.source.dsn = dataSourceOf(m_source.connectString());
}

void CopyRun::SetJournal(journal::Journal* journal, const journal::EntryDraft& who)
{
    m_journal = journal;
    m_journalWho = who;
}

bool CopyRun::CopyTables(const QStringList& chosenTables)
{
    m_refused = false;
    const QString rangeProblem = copyRangeProblem(m_start.date(), m_end.date());
    if (!rangeProblem.isEmpty()) {
        m_report->message(rangeProblem);
        m_refused = true;
        return false;
    }
    // A verify writes nothing and takes no lock.
    if (m_mode != RunMode::Verify && !LockTarget()) {
        m_refused = true;
        return false;
    }
    const auto unlock = qScopeGuard([this] { m_lock.reset(); });
    if (!m_journal)
        return CopyChosenTables(chosenTables);
    return CopyTablesJournaled(chosenTables);
}

bool CopyRun::LockTarget()
{
    const QString target = !m_settings.target.dsn.isEmpty() ? m_settings.target.dsn : QStringLiteral("(新版本)");
    try {
        NamedLock::Attempt attempt = NamedLock::tryAcquire(m_target, m_settings.target.kind, kCopyLockName);
        if (attempt.lock) {
            m_lock = std::move(attempt.lock);
            return true;
        }
        const QString holder = attempt.holder.isEmpty() ? QString() : QStringLiteral("(%1)").arg(attempt.holder);
        m_report->message(QStringLiteral("目的数据库%1正由另一个复制写入%2,本次复制没有执行!请等它结束后再试。")
                              .arg(target, holder));
    } catch (const db::DbError& error) {
        m_report->message(QStringLiteral("无法锁定目的数据库%1,复制没有执行!原因:%2").arg(target, error.message()));
    }
    return false;
}

bool CopyRun::CopyTablesJournaled(const QStringList& chosenTables)
{
    CopyReport* const shown = m_report;
    std::optional<CopyJournal> journaled;
    try {
        journaled.emplace(*m_journal, m_journalWho, m_settings, m_target, chosenTables, m_start, m_end, *shown,
                          copyRunIdentity(m_source, m_target), m_mode);
    } catch (const journal::JournalError& error) {
        shown->message(QStringLiteral("操作日志无法记录本次复制,复制没有执行!\n%1").arg(error.message()));
        m_refused = true;
        return false;
    } catch (const db::DbError& error) {
        // Only a lost target gets here: a table's own failure is that table's.
        shown->message(QStringLiteral("读取目的数据库中复制前的数据失败,复制没有执行!\n%1").arg(error.message()));
        m_refused = true;
        return false;
    }
    m_report = &*journaled;
    const auto restore = qScopeGuard([&] { m_report = shown; });
    const bool completed = CopyChosenTables(chosenTables);
    try {
        journaled->finish(completed);
    } catch (const journal::JournalError& error) {
        shown->message(QStringLiteral("操作日志未能记录本次复制的结果!\n%1").arg(error.message()));
    }
    return completed;
}

bool CopyRun::CopyChosenTables(const QStringList& chosenTables)
{
    m_runClock = QDateTime::currentDateTime();
    m_tablesTotal = int(chosenTables.size());
    m_tablesDone = 0;
    m_stopped = false;
    *m_connectionLossTold = false;
    m_report->progress(0, m_tablesTotal, 0);
    m_sinceProgress.start();
    if (Jobs() > 1 && chosenTables.size() > 1)
        return copyTablesInParallel(*this, chosenTables);
    // The last chosen first: of a full selection Event first, Tag0101 last.
    for (qsizetype i = chosenTables.size() - 1; i >= 0; --i) {
        if (StopAsked())
            return false;
        if (CopyTableSafely(chosenTables[i]) == CopyOutcome::Abort)
            return false;
        ++m_tablesDone;
        m_report->progress(m_tablesDone, m_tablesTotal, 0);
        m_sinceProgress.restart();
    }
    return true;
}

int CopyRun::Jobs() const
{
    const DatabaseKind kind = m_settings.target.kind;
    return kind == DatabaseKind::SQLite || kind == DatabaseKind::Access ? 1 : m_jobs;
}

CopyOutcome CopyRun::CopyTableSafely(const QString& name)
{
    // Whatever escapes a table (memory exhausted, a temporary file that
    // cannot be written) ends the run with a message, never the program.
    QString failure;
    try {
        return CopyTable(name);
    } catch (const std::exception& error) {
        failure = QString::fromLocal8Bit(error.what());
    } catch (...) {
        failure = QStringLiteral("未知错误");
    }
    const int row = copyTableRow(name);
    m_report->message(QStringLiteral("复制%1时出错,复制中止!原因:%2").arg(name, failure));
    m_report->setCell(row, CopyColumn::Status, kStatusFailed);
    m_report->tableEnded(row);
    return CopyOutcome::Abort;
}

CopyOutcome CopyRun::CopyTable(const QString& name)
{
    if (name.contains(QLatin1String("Tag")))
        return CopyTelemetryDay(name);
    if (const EventTableCopy* table = eventTableCopy(name))
        return CopyEventTable(*table);
    return CopyOutcome::Done;
}

void CopyRun::ShowProgress(int row, qint64 count, double fraction)
{
    if (m_sinceProgress.isValid() && m_sinceProgress.elapsed() < kProgressIntervalMs)
        return;
    m_sinceProgress.restart();
    m_report->setCell(row, CopyColumn::Count, QString::number(count));
    m_report->progress(m_tablesDone, m_tablesTotal, std::clamp(fraction, 0.0, 1.0));
}

bool CopyRun::StopAsked()
{
    if (!m_stopped && m_report->stopRequested())
        m_stopped = true;
    return m_stopped;
}

UnitCallbacks CopyRun::UnitCallbacksFor(int row, qint64 countBefore, std::function<double(qint64)> fraction)
{
    UnitCallbacks callbacks;
    callbacks.stopRequested = [this] { return StopAsked(); };
    callbacks.stopWhileWaiting = [this] {
        if (!m_stopped && m_report->stopRequestedWhileWaiting())
            m_stopped = true;
        return m_stopped;
    };
    callbacks.rowRead = [this, row, countBefore, fraction = std::move(fraction)](qint64 rowsRead) {
        if (rowsRead % kRowsBetweenPulses == 0)
            ShowProgress(row, countBefore + rowsRead, fraction(rowsRead));
    };
    return callbacks;
}

void CopyRun::ReportLostConnection(Side side, const db::DbError& error)
{
    // Once a run, however many of its lanes lose their connections.
    if (m_connectionLossTold->exchange(true))
        return;
    const CopyDataSource& lost = side == Side::Target ? m_settings.target : m_settings.source;
    const QString name = !lost.dsn.isEmpty() ? lost.dsn
                         : side == Side::Target ? QStringLiteral("(新版本)")
                                                : QStringLiteral("(旧版本)");
    m_report->message(QStringLiteral("与数据源%1的连接已断开,复制中止!原因:%2").arg(name, error.message()));
}

QString CopyRun::TargetUnreadable(const QString& table, const UnitResult& result) const
{
    return QStringLiteral("读取新版本数据库的%1表出错:%2").arg(table, result.error ? result.error->message() : QString());
}

void CopyRun::ReportLostConnection(const UnitResult& result)
{
    ReportLostConnection(result.side, result.error.value_or(db::DbError(QStringLiteral("08S01"), 0, QString())));
}

CopyOutcome CopyRun::CopyEventTable(const EventTableCopy& t)
{
    const int row = copyTableRow(t.table);
    const auto ended = qScopeGuard([&] { m_report->tableEnded(row); });
    auto setStatus = [&](const QString& status) { m_report->setCell(row, CopyColumn::Status, status); };

    if (!t.statusAtStart.isEmpty())
        setStatus(t.statusAtStart);
    if (!m_target.isOpen()) {
        m_report->message(QStringLiteral("目的数据库没有打开!"));
        setStatus(kStatusFailed);
        return CopyOutcome::Done;
    }
    qint64 expected = -1;
    UnitCallbacks callbacks
        = UnitCallbacksFor(row, 0, [&expected](qint64 rowsRead) { return unitFraction(rowsRead, expected); });
    callbacks.deleted = [&](qint64 rowsDeleted) {
        expected = rowsDeleted;
        if (!t.statusAfterDelete.isEmpty())
            setStatus(t.statusAfterDelete);
    };
    VerifyTally tally;
    const UnitResult result = RunUnit(row, copyRangeText(m_start, m_end), EventTablePlan(t),
                                      [&] { return EventVerifyPlan(t); }, callbacks, tally);
    if (result.end != UnitEnd::DeleteFailed)
        m_report->setCell(row, CopyColumn::Count, QString::number(result.rowsRead));
    switch (result.end) {
    case UnitEnd::Done:
        setStatus(m_mode == RunMode::Copy ? kStatusDone : tally.status());
        return CopyOutcome::Done;
    case UnitEnd::DeleteFailed:
        // A missing target table among them: that table fails, the run goes on.
        m_report->message(QStringLiteral("删除重复导入的%1数据失败!").arg(t.table));
        break;
    case UnitEnd::SourceFailed:
        m_report->message(result.side == Side::Target ? TargetUnreadable(t.table, result)
                                                      : QStringLiteral("处理%1表出错:%2")
                                                            .arg(t.table, result.error ? result.error->message() : QString()));
        break;
    case UnitEnd::InsertFailed:
        m_report->message(t.insertFailureText);
        break;
    case UnitEnd::ConnectionLost:
        ReportLostConnection(result);
        setStatus(kStatusFailed);
        return CopyOutcome::Abort;
    case UnitEnd::Stopped:
        setStatus(kStatusFailed);
        return CopyOutcome::Abort;
    }
    setStatus(kStatusFailed);
    return CopyOutcome::Done;
}

UnitPlan CopyRun::EventTablePlan(const EventTableCopy& t) const
{
    // Half-open: from the first day's midnight up to, not including, the
    // midnight after the last day, so that no instant of the last day escapes.
    const QString first = dateText(m_start.date());
    const QString afterLast = dateText(m_end.date().addDays(1));
    const QString range = QStringLiteral(" WHERE ADate>=%1 AND ADate<%2");
    UnitPlan plan;
    plan.table = t.table;
    plan.deleteSql = QStringLiteral("DELETE FROM ") + t.table + range.arg(TargetLiteral(first), TargetLiteral(afterLast));
    // Only the range just cleared is read, so no run duplicates a row.
    plan.sourceSql = QStringLiteral("SELECT * FROM ") + t.table + range.arg(SourceLiteral(first), SourceLiteral(afterLast));
    plan.columns = int(t.columns.size());
    plan.insertSql = QStringLiteral("INSERT INTO %1(%2) VALUES(%3)")
                         .arg(t.table, t.columns.join(QLatin1Char(',')), placeholders(plan.columns));
    plan.chunkRows = chunkRowsFor(m_settings.target.kind);
    plan.skipRefusedRows = false; // a refused row ends the table
    plan.typedValues = m_settings.source.kind != DatabaseKind::SQLite;
    const bool textTimes = m_target.bindsDateTimesAsText();
    // The descriptions are static: the reading thread may refer to them.
    plan.convert = [table = &t, textTimes](db::ResultSet& rs, qint64 rowNumber) {
        return convertEventRow(*table, rs, textTimes, rowNumber);
    };
    return plan;
}

UnitPlan CopyRun::TelemetryDayPlan(const QString& dayName, const CalendarDay& day, int year) const
{
    const QString newTable = TelemetryTableName(year, day.month, day.day);
    // Half-open, the day's midnight up to the next day's; the text of the
    // first keeps the day as named, also where no calendar has it (0230).
    const QDate next = dayAfter(year, day.month, day.day);
    const QString from = QString::asprintf("%d-%d-%d 00:00:00", year, day.month, day.day);
    const QString to = QString::asprintf("%d-%d-%d 00:00:00", next.year(), next.month(), next.day());
    const QString where = QStringLiteral(" WHERE ATime>=%1 AND ATime<%2");
    const QString& columns = kSampleColumns;
    UnitPlan plan;
    plan.table = newTable;
    plan.deleteSql = QStringLiteral("DELETE FROM ") + newTable + where.arg(TargetLiteral(from), TargetLiteral(to));
    plan.sourceSql = QStringLiteral("SELECT %1 FROM %2").arg(columns, dayName) + where.arg(SourceLiteral(from), SourceLiteral(to));
    plan.insertSql = QStringLiteral("INSERT INTO %1(%2) VALUES(%3)").arg(newTable, columns, placeholders(5));
    plan.columns = 5;
    plan.chunkRows = chunkRowsFor(m_settings.target.kind);
    plan.skipRefusedRows = true; // a refused sample is reported; the day's others are kept
    plan.typedValues = m_settings.source.kind != DatabaseKind::SQLite;
    const bool textTimes = m_target.bindsDateTimesAsText();
    plan.convert = [dayName, textTimes](db::ResultSet& rs, qint64 rowNumber) {
        return convertSample(dayName, rs, textTimes, rowNumber);
    };
    return plan;
}

CopyOutcome CopyRun::CopyTelemetryDay(const QString& dayName)
{
    const QString monthDay = dayName.right(4);
    const CalendarDay day{decimalInteger(monthDay.left(2)), decimalInteger(monthDay.right(2))};
    const int row = calendarDayRow(day.month, day.day);
    // Only the days of the range, in whichever years it has them.
    std::vector<int> years;
    for (int year = m_start.date().year(); year <= m_end.date().year(); ++year)
        if (calendarDayInRange(year, day.month, day.day, m_start.date(), m_end.date()))
            years.push_back(year);
    if (years.empty()) {
        m_report->setCell(row, CopyColumn::Status, kStatusOutOfRange);
        m_report->tableEnded(row);
        return CopyOutcome::Done;
    }

    m_report->setCell(row, CopyColumn::Status, kStatusStarted);
    m_report->setCell(row, CopyColumn::Started, copyTimeText(m_runClock));
    TelemetryDayProgress progress;
    progress.row = row;
    progress.years = int(years.size());
    YearEnd end = YearEnd::Copied;
    for (size_t i = 0; i < years.size() && end == YearEnd::Copied; ++i) {
        progress.yearIndex = int(i);
        end = CopyTelemetryYear(dayName, day, years[i], progress);
    }
    if (end == YearEnd::RunEnded) {
        // A probe or a delete failing ends the run; the row keeps "处理开始"
        // and its start time only.
        m_report->tableEnded(row);
        return CopyOutcome::Abort;
    }
    if (progress.refused.count() > 0) {
        m_report->message(progress.refused.message());
        progress.success = false;
    }
    const bool done = end == YearEnd::Copied && progress.success;
    m_report->setCell(row, CopyColumn::Status,
                      !done ? kStatusFailed : m_mode == RunMode::Copy ? kStatusDone : progress.tally.status());
    m_runClock = QDateTime::currentDateTime();
    m_report->setCell(row, CopyColumn::Ended, copyTimeText(m_runClock));
    m_report->setCell(row, CopyColumn::Count, QString::number(progress.count));
    m_report->tableEnded(row);
    return end == YearEnd::Aborted ? CopyOutcome::Abort : CopyOutcome::Done;
}

CopyRun::YearEnd CopyRun::CopyTelemetryYear(const QString& dayName, const CalendarDay& day, int year,
                                            TelemetryDayProgress& progress)
{
    const QString newTable = TelemetryTableName(year, day.month, day.day);
    bool exists = false;
    try {
        exists = tableExists(m_target, m_settings.target.kind, newTable);
    } catch (const db::DbError& error) {
        if (error.isConnectionLost()) {
            ReportLostConnection(Side::Target, error);
            return YearEnd::Aborted;
        }
        m_report->message(QStringLiteral("查询是否存在新表(%1)时失败!原因:%2").arg(newTable, error.message()));
        return YearEnd::RunEnded;
    }
    if (!exists)
        return YearEnd::Copied; // nothing to do for this year, and nothing said

    qint64 expected = -1;
    const double yearIndex = progress.yearIndex;
    const int years = progress.years;
    UnitCallbacks callbacks = UnitCallbacksFor(progress.row, progress.count, [&expected, yearIndex, years](qint64 rowsRead) {
        return (yearIndex + unitFraction(rowsRead, expected)) / years;
    });
    callbacks.deleted = [&expected](qint64 rowsDeleted) { expected = rowsDeleted; };
    callbacks.rowRefused = [&progress](const db::DbError& error) { progress.refused.add(error.message()); };

    const UnitResult result
        = RunUnit(progress.row, QString::asprintf("%04d-%02d-%02d", year, day.month, day.day),
                  TelemetryDayPlan(dayName, day, year), [&] { return TelemetryVerifyPlan(dayName, day, year); },
                  callbacks, progress.tally);
    progress.count += result.rowsRead;
    const QString errorText = result.error ? result.error->message() : QString();
    switch (result.end) {
    case UnitEnd::Done:
        return YearEnd::Copied;
    case UnitEnd::DeleteFailed:
        m_report->message(QStringLiteral("删除重复导入的数据失败!"));
        return YearEnd::RunEnded;
    case UnitEnd::SourceFailed:
        // The remaining years are not looked at.
        m_report->message(result.side == Side::Target ? TargetUnreadable(newTable, result)
                                                      : QStringLiteral("查询数据出错,出错信息:%1").arg(errorText));
        return YearEnd::Failed;
    case UnitEnd::InsertFailed:
        m_report->message(QStringLiteral("插入数据出错,出错信息:%1").arg(errorText));
        progress.success = false;
        return YearEnd::Copied;
    case UnitEnd::ConnectionLost:
        ReportLostConnection(result);
        return YearEnd::Aborted;
    case UnitEnd::Stopped:
        break;
    }
    return YearEnd::Aborted;
}

} // namespace tessera::copy
