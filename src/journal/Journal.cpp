#include "journal/Journal.h"

#include "platform/Platform.h"
#include "journal/JournalStorage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace tessera::journal {

namespace {

// PRAGMA user_version of the schema below.
constexpr int kSchemaVersion = 1;
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

const QString kReasonRequired = QStringLiteral("reason_required");
const QString kRetentionDays = QStringLiteral("retention_days");

QString nativePath(const QString& path)
{
    return QDir::toNativeSeparators(path);
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

} // namespace

JournalError openError(const QString& path, const QString& detail)
{
    return JournalError(QStringLiteral("无法打开操作日志%1: %2。在能够记录修改之前,不会修改数据库。")
                            .arg(nativePath(path), detail));
}

JournalError writeError(const QString& path, const SqliteError& error)
{
    return JournalError(QStringLiteral("无法写入操作日志%1: %2。在能够记录修改之前,不会修改数据库。")
                            .arg(nativePath(path), error.message()));
}

JournalError readError(const QString& path, const SqliteError& error)
{
    return JournalError(QStringLiteral("无法读取操作日志%1: %2").arg(nativePath(path), error.message()));
}

QString defaultJournalPath()
{
    return QFileInfo(configurationFilePath()).dir().filePath(QString::fromLatin1(kJournalFileName));
}

QString osUserName()
{
    for (const char* variable : {"USER", "USERNAME", "LOGNAME"}) {
        const QString name = qEnvironmentVariable(variable);
        if (!name.isEmpty())
            return name;
    }
    return QDir::home().dirName();
}

Journal Journal::open(const QString& path)
{
    Journal journal;
    journal.m_path = QFileInfo(path).absoluteFilePath();
    journal.prepareFile();
    auto openUsable = [&journal] {
        journal.m_db = SqliteDatabase::open(journal.m_path, kDefaultBusyTimeoutMs);
        if (journal.m_db.isReadOnly())
            throw openError(journal.m_path, QStringLiteral("文件不可写"));
        const auto check = journal.m_db.queryText(QStringLiteral("PRAGMA quick_check"));
        if (check.value_or(QString()) != QLatin1String("ok"))
            throw SqliteError(SQLITE_CORRUPT, check.value_or(QString()));
        const qint64 version = journal.m_db.queryInteger(QStringLiteral("PRAGMA user_version"));
        if (version > kSchemaVersion)
            throw openError(journal.m_path, QStringLiteral("文件由较新版本的程序写入"));
        // A database of something else is not ours to add tables to.
        if (version == 0 && journal.m_db.queryInteger(QStringLiteral("SELECT COUNT(*) FROM sqlite_master")) > 0)
            throw SqliteError(SQLITE_NOTADB, QStringLiteral("not an operation journal"));
        return version;
    };
    qint64 version = 0;
    try {
        try {
            version = openUsable();
        } catch (const SqliteError& error) {
            if (!error.isCorruption())
                throw;
            journal.m_db.close();
            journal.m_setAsidePath = setAside(journal.m_path);
            journal.prepareFile();
            version = openUsable();
        }
        // An entry is on disk when its commit returns, even if the machine
        // loses power right after.
        journal.m_db.execute(QStringLiteral("PRAGMA synchronous=FULL"));
        if (version == 0)
            journal.createSchema();
    } catch (const SqliteError& error) {
        throw openError(journal.m_path, error.message());
    }
    return journal;
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
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, ownerOnly))
            throw openError(m_path, file.errorString());
    } else if (info.isDir()) {
        throw openError(m_path, QStringLiteral("这是一个文件夹"));
    } else {
        QFile::setPermissions(m_path, ownerOnly);
    }
}

void Journal::createSchema()
{
    // Removed entries give their pages back (incremental_vacuum after a
    // clean-up); it must be chosen before the first table exists.
    m_db.execute(QStringLiteral("PRAGMA auto_vacuum=INCREMENTAL"));
    // Write-ahead logging: a commit is one append to the log.
    m_db.queryText(QStringLiteral("PRAGMA journal_mode=WAL"));
    SqliteTransaction transaction(m_db);
    for (const char* sql : kSchema)
        m_db.execute(QString::fromLatin1(sql));
    m_db.execute(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion));
    transaction.commit();
}

void Journal::setBusyTimeout(int milliseconds)
{
    m_db.setBusyTimeout(milliseconds);
}

int Journal::removeOlderThan(int days)
{
    // No retention at all rather than an empty journal from a setting of 0.
    if (days <= 0)
        return 0;
    const QString cutoff = QDateTime::currentDateTimeUtc().addDays(-days).toString(kUtcFormat);
    int removed = 0;
    try {
        SqliteTransaction transaction(m_db);
        const QString old = QStringLiteral("(SELECT id FROM entry WHERE started_utc < ?1)");
        for (const QString& table : {QStringLiteral("image_chunk"), QStringLiteral("unit")}) {
            SqliteStatement remove =
                m_db.prepare(QStringLiteral("DELETE FROM %1 WHERE entry_id IN %2").arg(table, old));
            remove.bind(1, cutoff);
            remove.run();
        }
        SqliteStatement remove = m_db.prepare(QStringLiteral("DELETE FROM entry WHERE started_utc < ?1"));
        remove.bind(1, cutoff);
        remove.run();
        removed = int(m_db.changes());
        transaction.commit();
        if (removed > 0) {
            m_db.execute(QStringLiteral("PRAGMA incremental_vacuum"));
            m_db.queryText(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        }
    } catch (const SqliteError& error) {
        throw writeError(m_path, error);
    }
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
    try {
        SqliteStatement query = m_db.prepare(QStringLiteral("SELECT name, value FROM setting"));
        while (query.step()) {
            const QString name = query.text(0);
            if (name == kReasonRequired)
                s.reasonRequired = query.integer(1) != 0;
            else if (name == kRetentionDays)
                s.retentionDays = int(query.integer(1));
        }
    } catch (const SqliteError& error) {
        throw readError(m_path, error);
    }
    return s;
}

void Journal::setSettings(const JournalSettings& settings)
{
    try {
        SqliteTransaction transaction(m_db);
        SqliteStatement upsert = m_db.prepare(QStringLiteral("INSERT OR REPLACE INTO setting(name, value) VALUES(?,?)"));
        upsert.bind(1, kReasonRequired);
        upsert.bind(2, qint64(settings.reasonRequired));
        upsert.run();
        upsert.bind(1, kRetentionDays);
        upsert.bind(2, qint64(settings.retentionDays));
        upsert.run();
        transaction.commit();
    } catch (const SqliteError& error) {
        throw writeError(m_path, error);
    }
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
