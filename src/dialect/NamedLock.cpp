#include "dialect/NamedLock.h"

#include "db/DbError.h"
#include "db/ResultSet.h"
#include "platform/FileLock.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace tessera {

namespace {

// The two 32-bit keys of PostgreSQL's advisory lock, from the name: the
// lock is local to the database already.
QString advisoryKeys(const QString& name)
{
    return QStringLiteral("hashtext(%1),1413829459").arg(quotedSqlText(name));
}

// MySQL and MariaDB locks are server-wide: the database goes into the name
// (at most 64 characters).
QString serverLockName(const QString& name)
{
    return QStringLiteral("LEFT(CONCAT(%1,':',DATABASE()),64)").arg(quotedSqlText(name));
}

QString firstCell(db::Connection& c, const QString& sql)
{
    db::ResultSet rs = c.query(sql);
    return rs.next() ? rs.string(0).trimmed() : QString();
}

bool tryPostgreSql(db::Connection& session, const QString& name, QString& holder)
{
    session.execute(QStringLiteral("SET application_name=%1")
                        .arg(quotedSqlText(QStringLiteral("Tessera ") + FileLock::thisProcess())));
    if (firstCell(session, QStringLiteral("SELECT CASE WHEN pg_try_advisory_lock(%1) THEN 1 ELSE 0 END")
                               .arg(advisoryKeys(name)))
        == QLatin1String("1"))
        return true;
    holder = firstCell(session,
        QStringLiteral("SELECT a.application_name||' (PID '||a.pid||', '||COALESCE(host(a.client_addr),'local')||', "
                       "since '||to_char(a.backend_start,'YYYY-MM-DD HH24:MI:SS')||')' FROM pg_locks l "
                       "JOIN pg_stat_activity a ON a.pid=l.pid WHERE l.locktype='advisory' AND l.granted "
                       "AND l.database=(SELECT oid FROM pg_database WHERE datname=current_database()) "
                       "AND l.classid=(hashtext(%1)::bigint & 4294967295)::oid AND l.objid=1413829459")
            .arg(quotedSqlText(name)));
    return false;
}

bool tryMySql(db::Connection& session, const QString& name, QString& holder)
{
    if (firstCell(session, QStringLiteral("SELECT GET_LOCK(%1,0)").arg(serverLockName(name))) == QLatin1String("1"))
        return true;
    holder = firstCell(session,
        QStringLiteral("SELECT CONCAT(USER,'@',HOST,' (connection ',ID,')') FROM information_schema.PROCESSLIST "
                       "WHERE ID=IS_USED_LOCK(%1)")
            .arg(serverLockName(name)));
    return false;
}

// Written for the field's servers; no such server runs here.
bool trySqlServer(db::Connection& session, const QString& name)
{
    return firstCell(session, QStringLiteral("SET NOCOUNT ON; DECLARE @r int; EXEC @r = sp_getapplock @Resource=%1, "
                                             "@LockMode='Exclusive', @LockOwner='Session', @LockTimeout=0; SELECT @r")
                                  .arg(quotedSqlText(name)))
               .toInt()
        >= 0;
}

bool tryOracle(db::Connection& session, const QString& name)
{
    try {
        session.execute(QStringLiteral("DECLARE h VARCHAR2(128); r INTEGER; BEGIN "
                                       "DBMS_LOCK.ALLOCATE_UNIQUE(%1||':'||SYS_CONTEXT('USERENV','CURRENT_SCHEMA'), h); "
                                       "r := DBMS_LOCK.REQUEST(h, DBMS_LOCK.X_MODE, 0, FALSE); "
                                       "IF r NOT IN (0, 4) THEN RAISE_APPLICATION_ERROR(-20001, 'held'); END IF; END;")
                            .arg(quotedSqlText(name)));
        return true;
    } catch (const db::DbError& error) {
        if (error.nativeCode() == 20001)
            return false;
        throw;
    }
}

} // namespace

NamedLock::~NamedLock() = default;

QString NamedLock::lockFileOf(const QString& connectString, const QString& name)
{
    static const QRegularExpression file(QStringLiteral("(?:^|;)\\s*(?:Database|DBQ)\\s*=\\s*([^;]+)"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QString path = file.match(connectString).captured(1).trimmed();
    if (path.isEmpty())
        return QString();
    const QFileInfo info(path);
    return info.absoluteDir().filePath(QStringLiteral(".%1.%2.lock").arg(info.fileName(), name));
}

NamedLock::Attempt NamedLock::tryAcquire(const db::Connection& database, DatabaseKind kind, const QString& name)
{
    Attempt attempt;
    std::unique_ptr<NamedLock> lock(new NamedLock);
    bool acquired = true;
    if (kind == DatabaseKind::SQLite || kind == DatabaseKind::Access) {
        const QString path = lockFileOf(database.connectString(), name);
        if (path.isEmpty())
            return {std::move(lock), {}}; // no file known: nothing to lock by
        FileLock::Attempt file = FileLock::tryLock(path);
        if (!file.error.isEmpty())
            throw db::DbError(QStringLiteral("HY000"), 0, file.error + QStringLiteral(": ") + path);
        acquired = file.lock != nullptr;
        attempt.holder = file.holder;
        lock->m_file = std::move(file.lock);
    } else {
        lock->m_session = database.openAnother();
        switch (kind) {
        case DatabaseKind::PostgreSQL:
            acquired = tryPostgreSql(lock->m_session, name, attempt.holder);
            break;
        case DatabaseKind::MySql:
            acquired = tryMySql(lock->m_session, name, attempt.holder);
            break;
        case DatabaseKind::SqlServer:
            acquired = trySqlServer(lock->m_session, name);
            break;
        case DatabaseKind::Oracle:
            acquired = tryOracle(lock->m_session, name);
            break;
        default:
            break;
        }
    }
    if (acquired)
        attempt.lock = std::move(lock);
    return attempt;
}

} // namespace tessera
