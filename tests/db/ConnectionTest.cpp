#include "ArchiveRows.h"
#include "DatabaseTest.h"

#include "db/ResultSet.h"
#include "db/Statement.h"
#include "dialect/NamedLock.h"
#include "platform/FileLock.h"

#include <QScopeGuard>

#include <sqlite3.h>

using namespace tessera;
using namespace tessera::test;
using namespace Qt::StringLiterals;

namespace {

using ConnectionTest = DatabaseTest;

// Each text goes in once as a literal and once as a bound parameter; the
// database must hold exactly the text (equality in the database itself) and
// give it back. MariaDB's driver reports too short a length for some Chinese
// texts and miscounts them as parameters; a trailing backslash would escape
// the closing quote under MySQL's default mode.
TEST_P(ConnectionTest, ChineseTextQuotesAndBackslashesSurviveLiteralsAndParameters)
{
    createTable(u"RoundTrip"_s, u"Id INTEGER, Name VARCHAR(64)"_s);
    const QString station = u"城北变电站"_s;
    const QStringList texts {station,
                             station + u'1',
                             station.repeated(4) + u'4',
                             u"实时数据库·遥测 O'Brien"_s,
                             u"C:\\scada\\"_s,
                             u"it's \\' ok"_s,
                             u"'); DELETE FROM RoundTrip; --"_s};
    auto bound = connection().prepare(u"INSERT INTO RoundTrip VALUES(?, ?)"_s);
    for (int i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(texts[i].toStdString());
        connection().execute(u"INSERT INTO RoundTrip VALUES(%1, %2)"_s.arg(2 * i).arg(quotedSqlText(texts[i])));
        bound.set(0, qint64(2 * i + 1));
        bound.set(1, texts[i]);
        bound.execute();
        const QString sql = u"SELECT Name FROM RoundTrip WHERE Name=%1 ORDER BY Id"_s.arg(quotedSqlText(texts[i]));
        EXPECT_EQ(rowsOf(connection(), sql), (QStringList {texts[i], texts[i]}));
    }
    EXPECT_EQ(countRows(u"RoundTrip"_s), 2 * texts.size());
}

TEST_P(ConnectionTest, ErrorsCarrySqlStateAndText)
{
    try {
        connection().query(u"SELECT * FROM NoSuchTable"_s);
        FAIL() << "no error for a missing table";
    } catch (const db::DbError& e) {
        EXPECT_EQ(e.sqlState().size(), 5);
        if (kind() != DatabaseKind::SQLite) {
            EXPECT_EQ(e.sqlState(), kind() == DatabaseKind::PostgreSQL ? u"42P01"_s : u"42S02"_s);
        }
        EXPECT_TRUE(e.message().contains(u"nosuchtable"_s, Qt::CaseInsensitive)) << e.message().toStdString();
    }
}

// The guard ends in autocommit even when its rollback fails on a dead
// session, so no later statement runs in a transaction nobody ends.
TEST_P(ConnectionTest, TransactionGuardRestoresAutocommitWhenTheRollbackFails)
{
    if (kind() == DatabaseKind::SQLite)
        GTEST_SKIP() << "no server session to lose";
    createTable(u"Guarded"_s, u"Id INTEGER"_s);
    db::Connection victim = openConnection();
    {
        db::Transaction t(victim);
        victim.execute(u"INSERT INTO Guarded VALUES(1)"_s);
        ASSERT_TRUE(killServerSession(victim));
        try {
            victim.execute(u"INSERT INTO Guarded VALUES(2)"_s);
            ADD_FAILURE() << "a killed session took a statement";
        } catch (const db::DbError& error) {
            EXPECT_TRUE(error.isConnectionLost()) << error.what();
        }
    }
    EXPECT_TRUE(victim.autoCommit());
    EXPECT_EQ(countRows(u"Guarded"_s), 0);
}

// One holder of a named lock on a database at a time, wherever the others
// run; the refused one learns who holds it, and the lock goes with its holder.
TEST_P(ConnectionTest, ANamedLockAdmitsOneHolderAndNamesIt)
{
    NamedLock::Attempt first = NamedLock::tryAcquire(connection(), kind(), u"tessera-test"_s);
    ASSERT_TRUE(first.lock);
    db::Connection other = openConnection();
    const NamedLock::Attempt second = NamedLock::tryAcquire(other, kind(), u"tessera-test"_s);
    EXPECT_FALSE(second.lock);
    EXPECT_FALSE(second.holder.isEmpty());
    if (kind() != DatabaseKind::MySql) // MariaDB tells its user and connection, not the program
        EXPECT_TRUE(second.holder.contains(FileLock::thisProcess())) << second.holder.toStdString();
    EXPECT_TRUE(NamedLock::tryAcquire(other, kind(), u"another-name"_s).lock);
    first.lock.reset();
    EXPECT_TRUE(NamedLock::tryAcquire(other, kind(), u"tessera-test"_s).lock);
}

// A data source may ask its MariaDB driver to reconnect on its own; the
// session's sql_mode (the quoting the program writes) would not survive
// that, so a lost session stays lost.
TEST_P(ConnectionTest, ALostSessionIsNeverReconnectedBehindTheProgramsBack)
{
    if (kind() != DatabaseKind::MySql)
        GTEST_SKIP() << "a MariaDB driver setting";
    addUserDataSource(u"ReconnectingMariaDB"_s, u"MariaDB Unicode"_s, qEnvironmentVariable("TESSERA_TEST_MARIADB_DATABASE"),
                      u"Server=%1\nPort=%2\nAUTO_RECONNECT=1\n"_s.arg(qEnvironmentVariable("TESSERA_TEST_MARIADB_HOST"),
                          qEnvironmentVariable("TESSERA_TEST_MARIADB_PORT")));
    const auto restore = qScopeGuard([] { restoreOdbcIniFiles(); });
    db::Connection c = db::Connection::open(
        u"DSN=ReconnectingMariaDB;UID=%1;PWD=%2"_s.arg(database().user, database().password));
    ASSERT_TRUE(killServerSession(c));
    try {
        c.execute(u"SELECT 'C:\\scada\\'"_s);
        ADD_FAILURE() << "the killed session was silently replaced";
    } catch (const db::DbError& error) {
        EXPECT_TRUE(error.isConnectionLost()) << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, ConnectionTest, allDatabaseKinds(), kindName);

// The SQLite driver's engine in this process keeps no memory statistics:
// they cost two threads on SQLite connections a global mutex on every
// allocation.
TEST(InProcessSqlite, KeepsNoMemoryStatisticsOnceAConnectionOpened)
{
    db::Connection c = db::Connection::open(sqliteConnectString(u":memory:"_s));
    c.execute(u"CREATE TABLE T(A INTEGER)"_s);
    EXPECT_EQ(sqlite3_memory_used(), 0);
}

} // namespace
