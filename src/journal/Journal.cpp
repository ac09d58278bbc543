#include "journal/Journal.h"

#include "db/InProcessSqlite.h"
#include "journal/JournalStorage.h"
#include "platform/Platform.h"
#include "platform/Processes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QFile>
#include <QFileInfo>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

namespace tessera::journal {

namespace {

// PRAGMA user_version of the schema below. Version 1 kept each unit's scope
// as condition text and a sorted digest; 2 adds the typed scope, the summed
// digest and the process of each entry.
constexpr int kSchemaVersion = 2;
constexpr int kDefaultBusyTimeoutMs = 5000;

const char* const kSchema[] = {
    "CREATE TABLE entry("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " started_local TEXT NOT NULL,"
    " started_utc TEXT NOT NULL,"
    " finished_utc TEXT,"
    " os_user TEXT NOT NULL,"
    " login TEXT NOT NULL,"
    " data_source TEXT NOT NULL,"
    " kind INTEGER NOT NULL,"
    " command_id INTEGER NOT NULL,"
    " command_name TEXT NOT NULL,"
    " scope TEXT NOT NULL,"
    " reason TEXT NOT NULL,"
    " state INTEGER NOT NULL,"
    " outcome TEXT NOT NULL DEFAULT '',"
    " rows_removed INTEGER, rows_written INTEGER, rows_failed INTEGER,"
    " undo_of INTEGER NOT NULL DEFAULT 0,"
    " undone_by INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX entry_by_start ON entry(started_utc)",
    "CREATE INDEX entry_by_state ON entry(state)",
    "CREATE TABLE unit("
    " entry_id INTEGER NOT NULL,"
    " unit_no INTEGER NOT NULL,"
    " table_name TEXT NOT NULL,"
    " where_sql TEXT NOT NULL,"
    " scope TEXT NOT NULL,"
    " key_columns BLOB NOT NULL,"
    " columns BLOB,"
    " types BLOB,"
    " before_kept INTEGER NOT NULL,"
    " before_rows INTEGER NOT NULL,"
    " after_rows INTEGER,"
    " after_digest BLOB,"
    " after_kept INTEGER NOT NULL DEFAULT 0,"
    " status TEXT NOT NULL DEFAULT '',"
    " status_rows INTEGER,"
    " PRIMARY KEY(entry_id, unit_no)) WITHOUT ROWID",
    // Archive rows in blocks of up to a thousand (side 0 the before-image,
    // 1 the kept after-state): a day of samples is a few dozen rows here,
    // not 86,400.
    "CREATE TABLE image_chunk("
    " entry_id INTEGER NOT NULL,"
    " unit_no INTEGER NOT NULL,"
    " side INTEGER NOT NULL,"
    " chunk_no INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " PRIMARY KEY(entry_id, unit_no, side, chunk_no)) WITHOUT ROWID",
    "CREATE TABLE setting(name TEXT PRIMARY KEY, value) WITHOUT ROWID",
};

// From version 1 to 2.
const char* const kUpgrade[] = {
    "ALTER TABLE entry ADD COLUMN pid INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE entry ADD COLUMN host TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE entry ADD COLUMN process_start TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE unit ADD COLUMN typed_scope BLOB",
    // 1: SortedRowDigest (the first schema's), 2: RowDigest.
    "ALTER TABLE unit ADD COLUMN digest_kind INTEGER NOT NULL DEFAULT 1",
    // 1: the block's data is zlib-compressed (qCompress).
    "ALTER TABLE image_chunk ADD COLUMN packed INTEGER NOT NULL DEFAULT 0",
};

const QString kReasonRequired = QStringLiteral("reason_required");
const QString kRetentionDays = QStringLiteral("retention_days");
const QString kImageLimit = QStringLiteral("image_limit");

QString nativePath(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

bool isCorruption(const SQLite::Exception& error)
{
    return error.getErrorCode() == SQLITE_CORRUPT || error.getErrorCode() == SQLITE_NOTADB;
}

// Renames an unusable journal and what belongs to it out of the way; the
// write-ahead log goes with it, since it would otherwise be replayed into
// the new file.
QString setAside(const QString& path)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString aside = QStringLiteral("%1.corrupt-%2").arg(path, stamp);
    for (int n = 2; QFile::exists(aside); ++n)
        aside = QStringLiteral("%1.corrupt-%2-%3").arg(path, stamp).arg(n);
    if (!QFile::rename(path, aside))
        throw openError(path, QStringLiteral("文件已损坏,且无法改名保留"));
    for (const char* suffix : {"-wal", "-journal"})
        if (QFile::exists(path + QLatin1String(suffix)))
            QFile::rename(path + QLatin1String(suffix), aside + QLatin1String(suffix));
    QFile::remove(path + QStringLiteral("-shm"));
    return aside;
}

std::pair<qint64, qint64> versionAndTables(SQLite::Database& db)
{
    SQLite::Statement query(db, "SELECT user_version, (SELECT COUNT(*) FROM sqlite_master) FROM pragma_user_version");
    query.executeStep();
    return {query.getColumn(0).getInt64(), query.getColumn(1).getInt64()};
}

} // namespace

QString messageOf(const SQLite::Exception& error)
{
    return QString::fromUtf8(error.what());
}

JournalError openError(const QString& path, const QString& detail)
{
    return JournalError(QStringLiteral("无法打开操作日志%1: %2。在能够记录修改之前,不会修改数据库。")
                            .arg(nativePath(path), detail));
}

JournalError writeError(const QString& path, const SQLite::Exception& error)
{
    return JournalError(QStringLiteral("无法写入操作日志%1: %2。在能够记录修改之前,不会修改数据库。")
                            .arg(nativePath(path), messageOf(error)));
}

JournalError readError(const QString& path, const SQLite::Exception& error)
{
    return JournalError(QStringLiteral("无法读取操作日志%1: %2").arg(nativePath(path), messageOf(error)));
}

QString defaultJournalPath()
{
    return QFileInfo(configurationFilePath()).dir().filePath(QString::fromLatin1(kJournalFileName));
}

QString osUserName()
{
    return systemUserName();
}

Journal::Journal() = default;
Journal::Journal(Journal&&) noexcept = default;
Journal& Journal::operator=(Journal&&) noexcept = default;
Journal::~Journal() = default;

Journal Journal::open(const QString& path)
{
    Journal journal;
    journal.m_path = QFileInfo(path).absoluteFilePath();
    journal.prepareFile();
    onJournalFile(journal.m_path, Access::Open, [&] {
        try {
            journal.openUsableWaiting();
        } catch (const SQLite::Exception& error) {
            if (!isCorruption(error))
                throw;
            journal.m_db.reset();
            journal.m_setAsidePath = setAside(journal.m_path);
            journal.prepareFile();
            journal.openUsable();
        }
    });
    return journal;
}

// openUsable, tried again while another instance holds the file for a
// moment at start-up (changing its journal mode, say), where SQLite reports
// the lock at once instead of waiting.
void Journal::openUsableWaiting()
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        try {
            openUsable();
            return;
        } catch (const SQLite::Exception& error) {
            if (error.getErrorCode() != SQLITE_BUSY || waited.elapsed() > kDefaultBusyTimeoutMs)
                throw;
            m_db.reset();
            QThread::msleep(20);
        }
    }
}

// Opens the file, checks it and brings its schema to this version.
qint64 Journal::openUsable()
{
    db::prepareInProcessSqlite();
    m_db = std::make_unique<SQLite::Database>(m_path.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE,
                                              kDefaultBusyTimeoutMs);
    if (sqlite3_db_readonly(m_db->getHandle(), "main") == 1)
        throw openError(m_path, QStringLiteral("文件不可写"));
    {
        SQLite::Statement check(*m_db, "PRAGMA quick_check");
        if (!check.executeStep() || textOf(check.getColumn(0)) != QLatin1String("ok"))
            throw SQLite::Exception("quick_check failed", SQLITE_CORRUPT);
    }
    // An entry is on disk when its commit returns, even if the machine
    // loses power right after.
    m_db->exec("PRAGMA synchronous=FULL");
    createOrUpgradeSchema();
    return kSchemaVersion;
}

// Several instances may open a new journal at once: the version is read and
// the schema made inside one write transaction, so that exactly one of
// them creates it and the others find it made.
void Journal::createOrUpgradeSchema()
{
    // The version and the tables read at one moment: another instance
    // commits both together, and a half-made journal is never seen.
    const auto [found, tables] = versionAndTables(*m_db);
    if (found == kSchemaVersion)
        return;
    // A database of something else is not ours to change in any way.
    if (found == 0 && tables > 0)
        throw SQLite::Exception("not an operation journal", SQLITE_NOTADB);
    // Chosen before the first table exists; both are no-ops afterwards.
    // Removed entries give their pages back (incremental_vacuum), and a
    // commit is one append to the write-ahead log.
    m_db->exec("PRAGMA auto_vacuum=INCREMENTAL");
    SQLite::Statement(*m_db, "PRAGMA journal_mode=WAL").executeStep();
    SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::IMMEDIATE);
    const auto [version, tablesNow] = versionAndTables(*m_db);
    if (version > kSchemaVersion)
        throw openError(m_path, QStringLiteral("文件由较新版本的程序写入"));
    if (version == kSchemaVersion)
        return; // another instance made it meanwhile
    if (version == 0) {
        if (tablesNow > 0)
            throw SQLite::Exception("not an operation journal", SQLITE_NOTADB);
        for (const char* sql : kSchema)
            m_db->exec(sql);
    }
    for (const char* sql : kUpgrade)
        m_db->exec(sql);
    m_db->exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion).toStdString());
    transaction.commit();
}

void Journal::prepareFile()
{
    const QFileInfo info(m_path);
    if (!QDir().mkpath(info.absolutePath()))
        throw openError(m_path, QStringLiteral("无法创建文件夹"));
    // It names data sources and holds the archive's rows: owner-only from
    // its first byte on.
    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (!info.exists()) {
        QFile file(m_path);
        // Another instance may create it at the same moment: either is fine.
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, ownerOnly) && !QFileInfo::exists(m_path))
            throw openError(m_path, file.errorString());
    } else if (info.isDir()) {
        throw openError(m_path, QStringLiteral("这是一个文件夹"));
    } else {
        QFile::setPermissions(m_path, ownerOnly);
    }
}

void Journal::setBusyTimeout(int milliseconds)
{
    m_db->setBusyTimeout(milliseconds);
}

bool Journal::isAlive(const EntrySummary& entry)
{
    if (entry.pid <= 0)
        return false; // written before entries named their process
    if (entry.host != currentProcess().host)
        return false; // ours to judge only on this machine; another's is taken as ended
    return processRunning(entry.pid, entry.processStart);
}

int Journal::removeOlderThan(int days)
{
    // No retention at all rather than an empty journal from a setting of 0.
    if (days <= 0)
        return 0;
    const QString cutoff = QDateTime::currentDateTimeUtc().addDays(-days).toString(kUtcFormat);
    int removed = 0;
    onJournalFile(m_path, Access::Write, [&] {
        std::vector<qint64> ids;
        for (const EntrySummary& e :
             querySummaries(QStringLiteral("started_utc < ? AND state <> %1").arg(int(EntryState::Pending)), {cutoff}, 0))
            if (!isAlive(e))
                ids.push_back(e.id);
        SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::IMMEDIATE);
        for (const char* sql : {"DELETE FROM image_chunk WHERE entry_id=?", "DELETE FROM unit WHERE entry_id=?",
                                "DELETE FROM entry WHERE id=?"}) {
            SQLite::Statement remove(*m_db, sql);
            for (qint64 id : ids) {
                bindInt(remove, 1, id);
                remove.exec();
                remove.reset();
            }
        }
        transaction.commit();
        removed = int(ids.size());
        if (removed > 0) {
            m_db->exec("PRAGMA incremental_vacuum");
            SQLite::Statement(*m_db, "PRAGMA wal_checkpoint(TRUNCATE)").executeStep();
        }
    });
    return removed;
}

int Journal::applyRetention()
{
    return removeOlderThan(settings().retentionDays);
}

qint64 Journal::sizeBytes() const
{
    return QFileInfo(m_path).size() + QFileInfo(m_path + QStringLiteral("-wal")).size();
}

JournalSettings Journal::settings()
{
    JournalSettings s;
    onJournalFile(m_path, Access::Read, [&] {
        SQLite::Statement query(*m_db, "SELECT name, value FROM setting");
        while (query.executeStep()) {
            const QString name = textOf(query.getColumn(0));
            const qint64 value = query.getColumn(1).getInt64();
            // A value out of range (a hand-edited file) keeps the default.
            if (name == kReasonRequired)
                s.reasonRequired = value != 0;
            else if (name == kRetentionDays && value >= 1 && value <= 36500)
                s.retentionDays = int(value);
            else if (name == kImageLimit && value >= 1)
                s.imageLimit = value;
        }
    });
    return s;
}

void Journal::setSettings(const JournalSettings& settings)
{
    onJournalFile(m_path, Access::Write, [&] {
        SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::IMMEDIATE);
        SQLite::Statement upsert(*m_db, "INSERT OR REPLACE INTO setting(name, value) VALUES(?,?)");
        const std::pair<QString, qint64> values[] = {{kReasonRequired, qint64(settings.reasonRequired)},
                                                     {kRetentionDays, qint64(settings.retentionDays)},
                                                     {kImageLimit, settings.imageLimit}};
        for (const auto& [name, value] : values) {
            bindText(upsert, 1, name);
            bindInt(upsert, 2, value);
            upsert.exec();
            upsert.reset();
        }
        transaction.commit();
    });
}

QString entryStateText(EntryState state)
{
    switch (state) {
    case EntryState::Pending:
        return QStringLiteral("未完成");
    case EntryState::Done:
        return QStringLiteral("完成");
    case EntryState::Failed:
        return QStringLiteral("失败");
    }
    return QString();
}

} // namespace tessera::journal
