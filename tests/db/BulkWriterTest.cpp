#include "DatabaseTest.h"

#include "dialect/TableTransactions.h"
#include "db/BulkWriter.h"
#include "db/ResultSet.h"

#include <optional>

using namespace tessera;
using namespace tessera::test;

namespace {

class BulkWriterTest : public DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        if (!connection().isOpen())
            return;
        createTable(QStringLiteral("Bulk"), QStringLiteral("Id INTEGER PRIMARY KEY, Name VARCHAR(20), Val %1")
                                                .arg(kind() == DatabaseKind::PostgreSQL ? QStringLiteral("DOUBLE PRECISION")
                                                                                        : QStringLiteral("DOUBLE")));
    }

    // Writes ids 0..count-1, with the id `duplicateAt` written as a copy of id 0.
    db::BulkWriter::Summary write(int count, int duplicateAt, db::BulkWriter::OnFailure action,
                                  std::vector<qint64>* failures)
    {
        db::BulkWriter writer(connection(), QStringLiteral("INSERT INTO Bulk(Id, Name, Val) VALUES(?, ?, ?)"), 3, 100);
        writer.setFailureHandler([&](qint64 row, const db::DbError& error) {
            EXPECT_FALSE(error.sqlState().isEmpty());
            failures->push_back(row);
            return action;
        });
        for (int i = 0; i < count; ++i) {
            const qint64 id = i == duplicateAt ? 0 : i;
            if (!writer.addRow({id, QStringLiteral("行%1").arg(i), i * 0.5}))
                break;
        }
        return writer.finish();
    }

    std::vector<qint64> ids()
    {
        std::vector<qint64> out;
        auto rs = connection().query(QStringLiteral("SELECT Id FROM Bulk ORDER BY Id"));
        while (rs.next())
            out.push_back(rs.string(0).toLongLong());
        return out;
    }
};

TEST_P(BulkWriterTest, WritesEveryRowAcrossChunks)
{
    std::vector<qint64> failures;
    const auto summary = write(1050, -1, db::BulkWriter::OnFailure::Stop, &failures);
    EXPECT_EQ(summary.written, 1050);
    EXPECT_EQ(summary.failed, 0);
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(countRows(QStringLiteral("Bulk")), 1050);
    auto rs = connection().query(QStringLiteral("SELECT Name, Val FROM Bulk WHERE Id=1049"));
    ASSERT_TRUE(rs.next());
    EXPECT_EQ(rs.string(0), QStringLiteral("行1049"));
    EXPECT_DOUBLE_EQ(rs.number(1).value, 524.5);
}

TEST_P(BulkWriterTest, StopsAtAFailingRowKeepingTheRowsBeforeIt)
{
    std::vector<qint64> failures;
    // Row 250 lies in the middle of the third chunk of 100.
    const auto summary = write(1000, 250, db::BulkWriter::OnFailure::Stop, &failures);
    EXPECT_TRUE(summary.stopped);
    EXPECT_EQ(summary.written, 250);
    EXPECT_EQ(summary.failed, 1);
    EXPECT_EQ(failures, std::vector<qint64> {250});
    const auto written = ids();
    ASSERT_EQ(written.size(), 250u);
    EXPECT_EQ(written.front(), 0);
    EXPECT_EQ(written.back(), 249);
    // The connection is usable and back in autocommit mode.
    EXPECT_TRUE(connection().autoCommit());
    connection().execute(QStringLiteral("INSERT INTO Bulk(Id, Name, Val) VALUES(5000, 'x', 1)"));
    EXPECT_EQ(countRows(QStringLiteral("Bulk")), 251);
}

TEST_P(BulkWriterTest, GoesOnAfterAFailingRowWhenAsked)
{
    std::vector<qint64> failures;
    const auto summary = write(1000, 250, db::BulkWriter::OnFailure::Continue, &failures);
    EXPECT_FALSE(summary.stopped);
    EXPECT_EQ(summary.written, 999);
    EXPECT_EQ(failures, std::vector<qint64> {250});
    const auto written = ids();
    ASSERT_EQ(written.size(), 999u);
    EXPECT_EQ(std::count(written.begin(), written.end(), 250), 0);
    EXPECT_EQ(written.back(), 999);
}

TEST_P(BulkWriterTest, FailingFirstRowOfAChunk)
{
    std::vector<qint64> failures;
    const auto summary = write(300, 200, db::BulkWriter::OnFailure::Stop, &failures);
    EXPECT_EQ(summary.written, 200);
    EXPECT_EQ(failures, std::vector<qint64> {200});
    EXPECT_EQ(countRows(QStringLiteral("Bulk")), 200);
}

TEST_P(BulkWriterTest, ChunksKeepNullsTextsAndTimesExactly)
{
    // Servers get each chunk as arrays of parameters in one execution; every
    // value must arrive as one row at a time would have written it.
    createTable(QStringLiteral("Mixed"),
                QStringLiteral("Id INTEGER, Name VARCHAR(80), Val %1, Stamp %2")
                    .arg(kind() == DatabaseKind::PostgreSQL ? QStringLiteral("DOUBLE PRECISION") : QStringLiteral("DOUBLE"),
                         kind() == DatabaseKind::PostgreSQL ? QStringLiteral("TIMESTAMP") : QStringLiteral("DATETIME")));
    const QDateTime start(QDate(2008, 1, 31), QTime(23, 59, 0), Qt::UTC);
    auto name = [](int i) { return i % 7 == 0 ? QString() : QStringLiteral("城北变电站").repeated(i % 5) + QString::number(i); };
    db::BulkWriter writer(connection(), QStringLiteral("INSERT INTO Mixed(Id, Name, Val, Stamp) VALUES(?, ?, ?, ?)"), 4, 64);
    for (int i = 0; i < 300; ++i) {
        const QString n = name(i);
        writer.addRow({qint64(i), n.isNull() ? db::Value() : db::Value(n), i % 11 == 0 ? db::Value() : db::Value(i * 0.25),
                       start.addSecs(i)});
    }
    EXPECT_EQ(writer.finish().written, 300);

    auto rs = connection().query(QStringLiteral("SELECT Id, Name, Val, Stamp FROM Mixed ORDER BY Id"));
    for (int i = 0; i < 300; ++i) {
        ASSERT_TRUE(rs.next());
        EXPECT_EQ(rs.string(0).toInt(), i);
        EXPECT_EQ(rs.text(1), name(i).isNull() ? std::optional<QString>() : std::optional<QString>(name(i))) << i;
        if (i % 11 == 0)
            EXPECT_TRUE(rs.number(2).isNull()) << i;
        else
            EXPECT_DOUBLE_EQ(rs.number(2).value, i * 0.25) << i;
        EXPECT_EQ(rs.dateTime(3), start.addSecs(i)) << i;
    }
    EXPECT_FALSE(rs.next());
    rs.close();
    // Stored exactly: equality and length in the database itself, not only as read back.
    for (int i : {1, 4, 299}) {
        auto match = connection().query(
            QStringLiteral("SELECT COUNT(*) FROM Mixed WHERE Name=%1").arg(quotedSqlText(name(i))));
        ASSERT_TRUE(match.next());
        EXPECT_EQ(match.string(0), QStringLiteral("1")) << i;
    }
}

// A unit of work holds every row in the caller's transaction: a refused row
// is skipped inside it, and the caller's rollback leaves nothing behind.
TEST_P(BulkWriterTest, InTransactionSkipsARefusedRowAndLeavesTheEndToTheCaller)
{
    for (const bool commit : {false, true}) {
        SCOPED_TRACE(commit ? "committed" : "rolled back");
        connection().execute(QStringLiteral("DELETE FROM Bulk"));
        std::vector<qint64> failures;
        {
            db::Transaction unit(connection());
            db::BulkWriter writer(connection(), QStringLiteral("INSERT INTO Bulk(Id, Name, Val) VALUES(?, ?, ?)"), 3,
                                  100, db::BulkWriter::Mode::InTransaction);
            writer.setFailureHandler([&](qint64 row, const db::DbError&) {
                failures.push_back(row);
                return db::BulkWriter::OnFailure::Continue;
            });
            for (int i = 0; i < 1000; ++i)
                writer.addRow({qint64(i == 250 || i == 251 ? 0 : i), QStringLiteral("行%1").arg(i), i * 0.5});
            const auto summary = writer.finish();
            EXPECT_EQ(summary.written, 998);
            EXPECT_EQ(summary.failed, 2);
            if (commit)
                unit.commit();
        }
        EXPECT_EQ(failures, (std::vector<qint64> {250, 251}));
        EXPECT_TRUE(connection().autoCommit());
        auto written = ids();
        if (!commit) {
            EXPECT_TRUE(written.empty());
            continue;
        }
        std::vector<qint64> expected;
        for (qint64 i = 0; i < 1000; ++i)
            if (i != 250 && i != 251)
                expected.push_back(i);
        EXPECT_EQ(written, expected);
    }
}

// A server that drops the session ends the writer with one error, instead of
// one report per remaining row.
TEST_P(BulkWriterTest, ALostConnectionEndsTheWriterWithOneError)
{
    if (kind() == DatabaseKind::SQLite)
        GTEST_SKIP() << "no server session to lose";
    for (const auto mode : {db::BulkWriter::Mode::ChunkCommits, db::BulkWriter::Mode::InTransaction}) {
        db::Connection victim = openConnection();
        int reports = 0;
        bool lost = false;
        try {
            std::optional<db::Transaction> unit;
            if (mode == db::BulkWriter::Mode::InTransaction)
                unit.emplace(victim);
            db::BulkWriter writer(victim, QStringLiteral("INSERT INTO Bulk(Id, Name, Val) VALUES(?, ?, ?)"), 3, 100,
                                  mode);
            writer.setFailureHandler([&](qint64, const db::DbError&) {
                ++reports;
                return db::BulkWriter::OnFailure::Continue;
            });
            for (int i = 0; i < 1000; ++i) {
                if (i == 300)
                    ASSERT_TRUE(killServerSession(victim));
                writer.addRow({qint64(i), QStringLiteral("x"), 1.0});
            }
            writer.finish();
        } catch (const db::DbError& error) {
            lost = true;
            EXPECT_TRUE(error.isConnectionLost()) << error.what();
        }
        EXPECT_TRUE(lost);
        EXPECT_EQ(reports, 0);
        // The chunks committed before the kill stay; the unit left nothing.
        EXPECT_EQ(countRows(QStringLiteral("Bulk")), mode == db::BulkWriter::Mode::ChunkCommits ? 300 : 0);
        connection().execute(QStringLiteral("DELETE FROM Bulk"));
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, BulkWriterTest, allDatabaseKinds(), kindName);

// A MySQL/MariaDB table without transactions cannot take back a chunk: each
// row goes once, so a refused row never makes the rows before it twice.
TEST(NonTransactionalTable, RowByRowWritesEveryRowOnce)
{
    const TestDatabase& database = testDatabase(DatabaseKind::MySql);
    if (!database.available) {
        if (serversRequired())
            FAIL() << "MariaDB test server is not configured";
        GTEST_SKIP() << "MariaDB test server not running";
    }
    db::Connection c = db::Connection::open(database.connectString());
    c.execute(QStringLiteral("DROP TABLE IF EXISTS Plain"));
    c.execute(QStringLiteral("CREATE TABLE Plain (Id INTEGER, Val DOUBLE) ENGINE=MyISAM"));
    c.execute(QStringLiteral("CREATE TRIGGER PlainRefuses BEFORE INSERT ON Plain FOR EACH ROW "
                             "IF NEW.Id = 250 THEN SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused'; END IF"));
    EXPECT_FALSE(tableIsTransactional(c, DatabaseKind::MySql, QStringLiteral("Plain")));
    EXPECT_TRUE(tableIsTransactional(c, DatabaseKind::MySql, QStringLiteral("Bulk")));

    db::BulkWriter writer(c, QStringLiteral("INSERT INTO Plain(Id, Val) VALUES(?, ?)"), 2, 100,
                          db::BulkWriter::Mode::RowByRow);
    std::vector<qint64> failures;
    writer.setFailureHandler([&](qint64 row, const db::DbError&) {
        failures.push_back(row);
        return db::BulkWriter::OnFailure::Continue;
    });
    for (int i = 0; i < 1000; ++i)
        writer.addRow({qint64(i), i * 0.5});
    EXPECT_EQ(writer.finish().written, 999);
    EXPECT_EQ(failures, std::vector<qint64> {250});
    auto rs = c.query(QStringLiteral("SELECT COUNT(*), COUNT(DISTINCT Id), SUM(Id) FROM Plain"));
    ASSERT_TRUE(rs.next());
    EXPECT_EQ(rs.string(0), QStringLiteral("999"));
    EXPECT_EQ(rs.string(1), QStringLiteral("999"));
    EXPECT_EQ(rs.string(2), QString::number(999 * 1000 / 2 - 250));
    rs.close();
    c.execute(QStringLiteral("DROP TABLE Plain"));
}

} // namespace
