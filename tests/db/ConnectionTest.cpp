#include "DatabaseTest.h"

#include "db/ResultSet.h"
#include "db/Statement.h"

using namespace tessera;
using namespace tessera::test;

namespace {

class ConnectionTest : public DatabaseTest { };

TEST_P(ConnectionTest, ReportsTheConnectStringAndTheDriver)
{
    EXPECT_TRUE(connection().isOpen());
    EXPECT_TRUE(connection().connectString().contains(QStringLiteral("DSN=") + database().dsn, Qt::CaseInsensitive))
        << connection().connectString().toStdString();
    EXPECT_FALSE(connection().driverName().isEmpty());
    connection().close();
    EXPECT_FALSE(connection().isOpen());
    connection().close(); // closing twice is harmless
}

TEST_P(ConnectionTest, ChineseTextSurvivesLiteralsAndParameters)
{
    createTable(QStringLiteral("RoundTrip"), QStringLiteral("Id INTEGER, Name VARCHAR(64)"));
    const QString text = QStringLiteral("实时数据库·遥测 O'Brien");
    // MariaDB's driver reports too short a length for some texts like this one.
    const QString station = QStringLiteral("城北变电站");
    connection().execute(QStringLiteral("INSERT INTO RoundTrip VALUES(0, '%1')").arg(station));
    {
        auto rs = connection().query(QStringLiteral("SELECT Name FROM RoundTrip WHERE Id=0"));
        ASSERT_TRUE(rs.next());
        EXPECT_EQ(rs.string(0), station);
    }
    // ... and miscounts it as a bound parameter: the database must hold exactly the text.
    {
        auto bound = connection().prepare(QStringLiteral("INSERT INTO RoundTrip VALUES(?, ?)"));
        for (const QString& name : {station + QLatin1Char('1'), station.repeated(4) + QLatin1Char('4')}) {
            bound.set(0, qint64(-1));
            bound.set(1, name);
            bound.execute();
            auto rs = connection().query(
                QStringLiteral("SELECT COUNT(*) FROM RoundTrip WHERE Id=-1 AND Name=%1").arg(quotedSqlText(name)));
            ASSERT_TRUE(rs.next());
            EXPECT_EQ(rs.string(0), QStringLiteral("1")) << name.toStdString();
        }
    }
    QString literal = text;
    literal.replace(QLatin1Char('\''), QLatin1String("''"));
    connection().execute(QStringLiteral("INSERT INTO RoundTrip VALUES(1, '%1')").arg(literal));
    auto insert = connection().prepare(QStringLiteral("INSERT INTO RoundTrip VALUES(?, ?)"));
    insert.set(0, qint64(2));
    insert.set(1, text);
    insert.execute();

    auto rs = connection().query(QStringLiteral("SELECT Name FROM RoundTrip WHERE Name='%1' ORDER BY Id").arg(literal));
    ASSERT_TRUE(rs.next());
    EXPECT_EQ(rs.string(0), text);
    ASSERT_TRUE(rs.next());
    EXPECT_EQ(rs.string(0), text);
    EXPECT_FALSE(rs.next());
}

TEST_P(ConnectionTest, TextLiteralsKeepQuotesAndBackslashesAsTyped)
{
    createTable(QStringLiteral("Quoted"), QStringLiteral("Id INTEGER, Name VARCHAR(64)"));
    // A trailing backslash would escape the closing quote under MySQL's default mode.
    const QStringList texts {QStringLiteral("C:\\scada\\"), QStringLiteral("it's \\' ok"),
                             QStringLiteral("'); DELETE FROM Quoted; --")};
    for (int i = 0; i < texts.size(); ++i)
        connection().execute(
            QStringLiteral("INSERT INTO Quoted VALUES(%1, %2)").arg(i).arg(quotedSqlText(texts[i])));
    auto rs = connection().query(QStringLiteral("SELECT Name FROM Quoted ORDER BY Id"));
    for (const QString& text : texts) {
        ASSERT_TRUE(rs.next());
        EXPECT_EQ(rs.string(0), text);
    }
    EXPECT_FALSE(rs.next());
}

TEST_P(ConnectionTest, ErrorsCarrySqlStateAndText)
{
    try {
        connection().query(QStringLiteral("SELECT * FROM NoSuchTable"));
        FAIL() << "no error for a missing table";
    } catch (const db::DbError& e) {
        EXPECT_EQ(e.sqlState().size(), 5);
        if (kind() == DatabaseKind::PostgreSQL) {
            EXPECT_EQ(e.sqlState(), QStringLiteral("42P01"));
        } else if (kind() == DatabaseKind::MySql) {
            EXPECT_EQ(e.sqlState(), QStringLiteral("42S02"));
        }
        EXPECT_TRUE(e.message().contains(QStringLiteral("nosuchtable"), Qt::CaseInsensitive))
            << e.message().toStdString();
    }
}

TEST_P(ConnectionTest, UnknownDataSourceIsADriverManagerError)
{
    try {
        db::Connection::open(QStringLiteral("DSN=NoSuchSource;UID=;PWD="));
        FAIL() << "opened a data source that does not exist";
    } catch (const db::DbError& e) {
        EXPECT_EQ(e.sqlState(), QStringLiteral("IM002"));
        EXPECT_TRUE(e.isDriverManagerError());
    }
}

TEST_P(ConnectionTest, AffectedRowCounts)
{
    createTable(QStringLiteral("Counted"), QStringLiteral("Id INTEGER, Flag INTEGER"));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(connection().execute(QStringLiteral("INSERT INTO Counted VALUES(%1, %2)").arg(i).arg(i % 2)), 1);
    EXPECT_EQ(connection().execute(QStringLiteral("UPDATE Counted SET Flag=7 WHERE Flag=1")), 2);
    EXPECT_EQ(connection().execute(QStringLiteral("UPDATE Counted SET Flag=8 WHERE Id=99")), 0);
    EXPECT_EQ(connection().execute(QStringLiteral("DELETE FROM Counted WHERE Flag=0")), 3);
}

TEST_P(ConnectionTest, TransactionRollsBackUnlessCommitted)
{
    createTable(QStringLiteral("Guarded"), QStringLiteral("Id INTEGER"));
    {
        db::Transaction t(connection());
        connection().execute(QStringLiteral("INSERT INTO Guarded VALUES(1)"));
    }
    EXPECT_EQ(countRows(QStringLiteral("Guarded")), 0);
    EXPECT_TRUE(connection().autoCommit());
    {
        db::Transaction t(connection());
        connection().execute(QStringLiteral("INSERT INTO Guarded VALUES(2)"));
        t.commit();
    }
    // An exception leaving the scope rolls back too.
    try {
        db::Transaction t(connection());
        connection().execute(QStringLiteral("INSERT INTO Guarded VALUES(3)"));
        connection().execute(QStringLiteral("INSERT INTO NoSuchTable VALUES(4)"));
        t.commit();
    } catch (const db::DbError&) {
    }
    EXPECT_EQ(countRows(QStringLiteral("Guarded")), 1);
    // Another connection sees exactly the committed row.
    db::Connection other = openConnection();
    auto rs = other.query(QStringLiteral("SELECT Id FROM Guarded"));
    ASSERT_TRUE(rs.next());
    EXPECT_EQ(rs.string(0), QStringLiteral("2"));
    EXPECT_FALSE(rs.next());
}

// The guard ends in autocommit even when its rollback fails on a dead
// session, so no later statement runs in a transaction nobody ends.
TEST_P(ConnectionTest, TransactionGuardRestoresAutocommitWhenTheRollbackFails)
{
    if (kind() == DatabaseKind::SQLite)
        GTEST_SKIP() << "no server session to lose";
    createTable(QStringLiteral("Guarded"), QStringLiteral("Id INTEGER"));
    db::Connection victim = openConnection();
    {
        db::Transaction t(victim);
        victim.execute(QStringLiteral("INSERT INTO Guarded VALUES(1)"));
        ASSERT_TRUE(killServerSession(victim));
        try {
            victim.execute(QStringLiteral("INSERT INTO Guarded VALUES(2)"));
            ADD_FAILURE() << "a killed session took a statement";
        } catch (const db::DbError& error) {
            EXPECT_TRUE(error.isConnectionLost()) << error.what();
        }
    }
    EXPECT_TRUE(victim.autoCommit());
    EXPECT_EQ(countRows(QStringLiteral("Guarded")), 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ConnectionTest, allDatabaseKinds(), kindName);

TEST(RefusedConnection, IsADatabaseErrorNotADriverManagerOne)
{
    // Nothing listens on port 1: the server refuses at once.
    for (const QString& driver : {QStringLiteral("PostgreSQL Unicode"), QStringLiteral("MariaDB Unicode")}) {
        try {
            db::Connection::open(
                QStringLiteral("Driver={%1};Server=127.0.0.1;Servername=127.0.0.1;Port=1;Database=x;UID=u;PWD=p")
                    .arg(driver),
                db::ConnectOptions {5, 5});
            ADD_FAILURE() << driver.toStdString() << " connected to a closed port";
        } catch (const db::DbError& e) {
            EXPECT_FALSE(e.isDriverManagerError()) << e.what();
            EXPECT_FALSE(e.message().isEmpty());
        }
    }
}

} // namespace
