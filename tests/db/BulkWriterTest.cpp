#include "ArchiveRows.h"
#include "DatabaseTest.h"

#include "db/BulkWriter.h"
#include "db/ResultSet.h"

#include <functional>
#include <optional>

using namespace tessera;
using namespace tessera::test;
using namespace Qt::StringLiterals;

namespace {

using OnFailure = db::BulkWriter::OnFailure;
using Mode = db::BulkWriter::Mode;

// 0, 1, ... count-1, without the ids left out, as the database gives them back.
QStringList idsUpTo(qint64 count, std::initializer_list<qint64> leftOut = {})
{
    QStringList out;
    for (qint64 i = 0; i < count; ++i)
        if (std::find(leftOut.begin(), leftOut.end(), i) == leftOut.end())
            out << QString::number(i);
    return out;
}

class BulkWriterTest : public DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        if (connection().isOpen())
            createTable(u"Bulk"_s, u"Id INTEGER PRIMARY KEY, Name VARCHAR(20), Val "_s + realType());
    }
    QString realType() const { return kind() == DatabaseKind::PostgreSQL ? u"DOUBLE PRECISION"_s : u"DOUBLE"_s; }

    // Writes the rows 0 to count-1 into Bulk in chunks of 100; a row in
    // `copies` repeats id 0, which the key refuses. Notes the rows reported.
    db::BulkWriter::Summary write(db::Connection& c, int count, const std::vector<qint64>& copies, OnFailure action,
                                  Mode mode = Mode::ChunkCommits, const std::function<void(int)>& beforeRow = {})
    {
        db::BulkWriter writer(c, u"INSERT INTO Bulk(Id, Name, Val) VALUES(?, ?, ?)"_s, 3, 100, mode);
        writer.setFailureHandler([&](qint64 row, const db::DbError& error) {
            EXPECT_FALSE(error.sqlState().isEmpty());
            failures.push_back(row);
            return action;
        });
        for (int i = 0; i < count; ++i) {
            if (beforeRow)
                beforeRow(i);
            const bool copy = std::find(copies.begin(), copies.end(), i) != copies.end();
            if (!writer.addRow({qint64(copy ? 0 : i), u"行%1"_s.arg(i), i * 0.5}))
                break;
        }
        return writer.finish();
    }
    QStringList ids() { return rowsOf(connection(), u"SELECT Id FROM Bulk ORDER BY Id"_s); }

    std::vector<qint64> failures;
};

// A failing row's chunk is replayed row by row: the rows before it stay, the
// row is reported, and the writer stops there or goes on as told.
TEST_P(BulkWriterTest, ChunksEndAsOneStatementPerRowWould)
{
    struct Case {
        const char* what;
        int count;
        std::vector<qint64> copies;
        OnFailure action;
        bool stopped;
        QStringList written;
    };
    const Case cases[] = {
        {"every row, across chunks", 1050, {}, OnFailure::Stop, false, idsUpTo(1050)},
        // Row 250 lies in the middle of the third chunk of 100.
        {"stopping at a failing row", 1000, {250}, OnFailure::Stop, true, idsUpTo(250)},
        {"going on after a failing row", 1000, {250}, OnFailure::Continue, false, idsUpTo(1000, {250})},
        {"a chunk's first row failing", 300, {200}, OnFailure::Stop, true, idsUpTo(200)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        connection().execute(u"DELETE FROM Bulk"_s);
        failures.clear();
        const auto summary = write(connection(), c.count, c.copies, c.action);
        EXPECT_EQ(summary.stopped, c.stopped);
        EXPECT_EQ(summary.written, qint64(c.written.size()));
        EXPECT_EQ(summary.failed, qint64(c.copies.size()));
        EXPECT_EQ(failures, c.copies);
        EXPECT_EQ(ids(), c.written);
        // The connection is usable and back in autocommit mode.
        EXPECT_TRUE(connection().autoCommit());
        connection().execute(u"INSERT INTO Bulk(Id, Name, Val) VALUES(5000, 'x', 1)"_s);
        EXPECT_EQ(countRows(u"Bulk"_s), qint64(c.written.size()) + 1);
    }
}

// Servers get each chunk as arrays of parameters in one execution; every
// value must arrive as one row at a time would have written it.
TEST_P(BulkWriterTest, ChunksKeepNullsTextsAndTimesExactly)
{
    createTable(u"Mixed"_s, u"Id INTEGER, Name VARCHAR(80), Val %1, Stamp %2"_s.arg(
                                realType(), kind() == DatabaseKind::PostgreSQL ? u"TIMESTAMP"_s : u"DATETIME"_s));
    const QDateTime start(QDate(2008, 1, 31), QTime(23, 59, 0), Qt::UTC);
    auto name = [](int i) { return i % 7 == 0 ? QString() : u"城北变电站"_s.repeated(i % 5) + QString::number(i); };
    auto value = [](int i) { return i % 11 == 0 ? db::Value() : db::Value(i * 0.25); };
    db::BulkWriter writer(connection(), u"INSERT INTO Mixed(Id, Name, Val, Stamp) VALUES(?, ?, ?, ?)"_s, 4, 64);
    for (int i = 0; i < 300; ++i)
        writer.addRow({qint64(i), name(i).isNull() ? db::Value() : db::Value(name(i)), value(i), start.addSecs(i)});
    EXPECT_EQ(writer.finish().written, 300);

    auto rs = connection().query(u"SELECT Id, Name, Val, Stamp FROM Mixed ORDER BY Id"_s);
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
        auto match = connection().query(u"SELECT COUNT(*) FROM Mixed WHERE Name=%1"_s.arg(quotedSqlText(name(i))));
        ASSERT_TRUE(match.next());
        EXPECT_EQ(match.string(0), u"1"_s) << i;
    }
}

// A unit of work holds every row in the caller's transaction: a refused row
// is skipped inside it, and the caller's rollback leaves nothing behind.
TEST_P(BulkWriterTest, InTransactionSkipsARefusedRowAndLeavesTheEndToTheCaller)
{
    for (const bool commit : {false, true}) {
        SCOPED_TRACE(commit ? "committed" : "rolled back");
        connection().execute(u"DELETE FROM Bulk"_s);
        failures.clear();
        {
            db::Transaction unit(connection());
            const auto summary = write(connection(), 1000, {250, 251}, OnFailure::Continue, Mode::InTransaction);
            EXPECT_EQ(summary.written, 998);
            EXPECT_EQ(summary.failed, 2);
            if (commit)
                unit.commit();
        }
        EXPECT_EQ(failures, (std::vector<qint64> {250, 251}));
        EXPECT_TRUE(connection().autoCommit());
        EXPECT_EQ(ids(), commit ? idsUpTo(1000, {250, 251}) : QStringList());
    }
}

// A server that drops the session ends the writer with one error, instead of
// one report per remaining row.
TEST_P(BulkWriterTest, ALostConnectionEndsTheWriterWithOneError)
{
    if (kind() == DatabaseKind::SQLite)
        GTEST_SKIP() << "no server session to lose";
    for (const auto mode : {Mode::ChunkCommits, Mode::InTransaction}) {
        db::Connection victim = openConnection();
        try {
            std::optional<db::Transaction> unit;
            if (mode == Mode::InTransaction)
                unit.emplace(victim);
            write(victim, 1000, {}, OnFailure::Continue, mode, [&](int i) {
                if (i == 300) {
                    ASSERT_TRUE(killServerSession(victim));
                }
            });
            ADD_FAILURE() << "the writer went on without its session";
        } catch (const db::DbError& error) {
            EXPECT_TRUE(error.isConnectionLost()) << error.what();
        }
        EXPECT_TRUE(failures.empty());
        // The chunks committed before the kill stay; the unit left nothing.
        EXPECT_EQ(countRows(u"Bulk"_s), mode == Mode::ChunkCommits ? 300 : 0);
        connection().execute(u"DELETE FROM Bulk"_s);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, BulkWriterTest, allDatabaseKinds(), kindName);

} // namespace
