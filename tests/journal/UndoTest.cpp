#include "DatabaseTest.h"
#include "JournalTestSupport.h"
#include "../telemetry/RefusingTriggers.h"

#include "SchemaDdl.h"

#include "db/BulkWriter.h"
#include "db/DbError.h"
#include "db/Statement.h"
#include "journal/ArchiveImage.h"
#include "journal/Undo.h"

using namespace tessera;
using namespace tessera::journal;
using namespace tessera::test;

namespace {

const QString kDay = QStringLiteral("JournalDay");
const QString kProbe = QStringLiteral("JournalProbe");
const QDateTime kMidnight(QDate(2026, 1, 2), QTime(0, 0), Qt::UTC);

using WrittenRows = std::vector<std::vector<db::Value>>;

// Samples of one tag from midnight on, one a second, as the telemetry
// commands bind them.
WrittenRows samples(int tag, int from, int count, double base)
{
    WrittenRows rows;
    for (int i = from; i < from + count; ++i)
        rows.push_back({db::Value(kMidnight.addSecs(i)), db::Value(qint64(tag)), db::Value(qint64(6)),
                        db::Value(double(float(base + i * 0.5))), db::Value(double(float(0.5)))});
    return rows;
}

class JournalUndo : public DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        if (!connection().isOpen())
            return;
        journal.emplace(Journal::open(temp.path()));
    }

    void write(const QString& table, const WrittenRows& rows)
    {
        db::BulkWriter writer(connection(),
                              QStringLiteral("INSERT INTO %1(ATime, TagID, DataType, nValue, nValueChange) VALUES(?,?,?,?,?)")
                                  .arg(table),
                              5);
        for (const auto& row : rows)
            writer.addRow(row);
        EXPECT_EQ(writer.finish().written, qint64(rows.size()));
    }

    // A day table holding tags 1 and 2, `perTag` samples each.
    void makeDay(int perTag, ddl::Generation generation = ddl::Generation::Newer)
    {
        createTelemetryTable(kDay, generation);
        write(kDay, samples(1, 0, perTag, 0));
        write(kDay, samples(2, 0, perTag, 1000));
    }

    // One tag from midnight up to, not including, `seconds` later.
    QString scopeOfTag(int tag, int seconds) const
    {
        return QStringLiteral("ATime >= %1 AND ATime < %2 AND TagID = %3")
            .arg(FormatDateLiteral(kind(), QStringLiteral("2026-01-02 00:00:00")),
                 FormatDateLiteral(kind(), kMidnight.addSecs(seconds).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))))
            .arg(tag);
    }

    // What a journaled batch setting does: before-image, entry, then in one
    // transaction delete the scope, write the new rows, record what it left.
    qint64 journaledBatch(const QString& table, const QString& where, const WrittenRows& rows)
    {
        const RowSet before = captureRows(connection(), kind(), table, where);
        EntryDraft draft = draftOf(QStringLiteral("批量设置"),
                                   {{table, where, QStringLiteral("TagID 1"),
                                     {QStringLiteral("ATime"), QStringLiteral("TagID")}, before}});
        draft.kind = int(kind());
        draft.dataSource = database().dsn;
        const qint64 id = journal->beginEntry(draft);
        db::Transaction transaction(connection());
        const qint64 removed = connection().execute(scopeDeleteSql(table, where));
        db::BulkWriter writer(connection(), insertSql(table, before.columns), int(before.columns.size()), 4000,
                              db::BulkWriter::Mode::InTransaction);
        for (const auto& row : rows)
            writer.addRow(row);
        const auto summary = writer.finish();
        journal->recordAfterState(id, 0, captureRows(connection(), kind(), table, where));
        transaction.commit();
        journal->finishEntry(id, EntryState::Done, QStringLiteral("完成"), {removed, summary.written, 0});
        return id;
    }

    QStringList snapshot(const QString& table) { return rowLines(captureRows(connection(), kind(), table, QString()).rows); }

    UndoOutcome undo(qint64 id)
    {
        UndoRequest request;
        request.entryId = id;
        request.kind = kind();
        request.login = QStringLiteral("wardenaccount");
        request.dataSource = database().dsn;
        request.reason = QStringLiteral("误操作");
        return undoEntry(*journal, connection(), request);
    }

    TempJournal temp;
    std::optional<Journal> journal;
};

TEST_P(JournalUndo, CaptureKeepsEveryTypedValueAndUndoWritesItBackExactly)
{
    const bool pg = kind() == DatabaseKind::PostgreSQL;
    const bool my = kind() == DatabaseKind::MySql;
    createTable(kProbe, QStringLiteral("ID INTEGER, Big BIGINT, D %1, S %2, Name VARCHAR(64), At %3")
                            .arg(pg ? QStringLiteral("DOUBLE PRECISION") : QStringLiteral("DOUBLE"),
                                 my ? QStringLiteral("FLOAT") : QStringLiteral("REAL"),
                                 pg ? QStringLiteral("TIMESTAMP(3)")
                                    : my ? QStringLiteral("DATETIME(3)") : QStringLiteral("DATETIME")));
    const std::vector<std::vector<db::Value>> rows {
        {qint64(1), std::numeric_limits<qint64>::max(), 0.1, double(0.1f), QStringLiteral("城北变电站 1#主变"),
         QStringLiteral("2026-01-02 03:04:05.123")},
        {qint64(2), std::numeric_limits<qint64>::min(), 1e-300, double(-3.25e38f), QStringLiteral("it's"),
         QStringLiteral("1899-12-30 23:59:59")},
        {qint64(3), std::monostate(), std::monostate(), std::monostate(), std::monostate(), std::monostate()},
        {qint64(4), qint64(4), 123456789.12345679, double(16777216.0f), QString(),
         QStringLiteral("2026-12-31 23:59:59.999")},
        {qint64(5), qint64(5), 1.0 / 3, double(1.0f / 3), QStringLiteral("1/3"), QStringLiteral("2026-01-02 00:00:00")},
    };
    db::Statement insert = connection().prepare(insertSql(kProbe, {QStringLiteral("ID"), QStringLiteral("Big"),
                                                                   QStringLiteral("D"), QStringLiteral("S"),
                                                                   QStringLiteral("Name"), QStringLiteral("At")}));
    for (const auto& row : rows) {
        for (int c = 0; c < 6; ++c)
            insert.set(c, row[size_t(c)]);
        insert.execute();
    }

    const RowSet original = captureRows(connection(), kind(), kProbe, QString());
    // SQLite keeps every real in eight bytes, and its driver says so.
    const ValueType single = kind() == DatabaseKind::SQLite ? ValueType::Real : ValueType::RealSingle;
    EXPECT_EQ(original.types, (std::vector<ValueType> {ValueType::Integer, ValueType::Integer, ValueType::Real, single,
                                                        ValueType::Text, ValueType::DateTime}));
    ASSERT_EQ(original.rows.size(), 5u);
    auto rowWithId = [&](qint64 id) {
        for (const Row& row : original.rows)
            if (row[0] == Value(id))
                return &row;
        return static_cast<const Row*>(nullptr);
    };
    const Row* first = rowWithId(1);
    const Row* third = rowWithId(5);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ((*first)[1], Value(std::numeric_limits<qint64>::max()));
    EXPECT_EQ((*first)[2], Value(0.1));
    EXPECT_EQ((*first)[3], Value(double(0.1f)));
    EXPECT_EQ((*first)[4], Value(QStringLiteral("城北变电站 1#主变")));
    EXPECT_EQ((*first)[5], Value(DateTimeText {QStringLiteral("2026-01-02 03:04:05.123")}));
    EXPECT_EQ((*third)[2], Value(1.0 / 3));
    EXPECT_EQ((*third)[3], Value(double(1.0f / 3)));

    // The command replaces rows 1, 2 and 5 with one other row; the undo
    // brings back every value, bit for bit.
    const QString where = QStringLiteral("ID IN (1, 2, 5)");
    EntryDraft draft = draftOf(QStringLiteral("记录修改"),
                               {{kProbe, where, QString(), {QStringLiteral("ID")}, captureRows(connection(), kind(), kProbe, where)}});
    draft.dataSource = database().dsn;
    const qint64 id = journal->beginEntry(draft);
    connection().execute(QStringLiteral("DELETE FROM %1 WHERE %2").arg(kProbe, where));
    connection().execute(QStringLiteral("INSERT INTO %1(ID, Name) VALUES(1, 'new')").arg(kProbe));
    journal->recordAfterState(id, 0, captureRows(connection(), kind(), kProbe, where));
    journal->finishEntry(id, EntryState::Done, QString());

    const UndoOutcome outcome = undo(id);
    ASSERT_EQ(outcome.result, UndoOutcome::Result::Done) << outcome.message.toStdString();
    EXPECT_EQ(outcome.counts.removed, 1);
    EXPECT_EQ(outcome.counts.written, 3);
    EXPECT_EQ(snapshot(kProbe), rowLines(original.rows));
}

// What a command wrote, conformed to the table's columns, digests exactly as
// the capture of the same rows: the after-state can be taken from the
// written values without reading a whole day back.
TEST_P(JournalUndo, WrittenRowsConformedDigestAsTheirCapture)
{
    for (const auto generation : {ddl::Generation::Newer, ddl::Generation::Older}) {
        SCOPED_TRACE(generation == ddl::Generation::Newer ? "newer generation" : "older generation");
        createTelemetryTable(kDay, generation);
        WrittenRows rows = samples(7, 0, 50, 0.1);
        rows.back()[3] = db::Value(0.1); // not a float: a REAL column keeps the nearest one
        rows.back()[4] = db::Value(std::monostate());
        write(kDay, rows);
        const RowSet captured = captureRows(connection(), kind(), kDay, QString());
        const RowSet conformed = conformRows(captured, rows);
        EXPECT_EQ(rowLines(conformed.rows), rowLines(captured.rows));
        const AfterState written = afterStateOfWritten(captured, rows);
        EXPECT_EQ(written.digest, digestOf(captured.rows));
        EXPECT_EQ(written.rowCount, 50);
        ASSERT_TRUE(written.rows.has_value());
        EXPECT_EQ(rowLines(*written.rows), rowLines(captured.rows));
        EXPECT_FALSE(afterStateOfWritten(captured, rows, 49).rows.has_value());
    }
}

// The copy keeps a before-image only when it is small.
TEST_P(JournalUndo, BeforeImageUpToALimit)
{
    makeDay(30);
    const QString where = scopeOfTag(1, 3600);
    const auto kept = captureRowsUpTo(connection(), kind(), kDay, where, 30);
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(rowLines(kept->rows), rowLines(captureRows(connection(), kind(), kDay, where).rows));
    EXPECT_EQ(kept->columns.size(), 5);
    EXPECT_FALSE(captureRowsUpTo(connection(), kind(), kDay, where, 29).has_value());
    const auto none = captureRowsUpTo(connection(), kind(), kDay, scopeOfTag(9, 3600), 0);
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->rows.empty());
    EXPECT_EQ(none->columns.size(), 5);
}

TEST_P(JournalUndo, UndoRestoresTheScopeAsItWasBeforeTheCommand)
{
    struct Case {
        const char* what;
        int perTag;  // samples of tags 1 and 2 before the command
        int tag;     // the tag the command writes
        int scope;   // seconds from midnight in scope
        int written; // samples the command writes into the scope
        ddl::Generation generation;
    };
    const std::vector<Case> cases {
        {"small scope, rows kept", 300, 1, 120, 100, ddl::Generation::Newer},
        {"large scope, digest only", 1500, 1, 1400, 1300, ddl::Generation::Newer},
        {"single-precision values", 200, 1, 150, 150, ddl::Generation::Older},
        {"nothing in scope before", 100, 3, 1000, 900, ddl::Generation::Newer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        makeDay(c.perTag, c.generation);
        const QStringList original = snapshot(kDay);
        const qint64 id = journaledBatch(kDay, scopeOfTag(c.tag, c.scope), samples(c.tag, 0, c.written, 500));
        ASSERT_NE(snapshot(kDay), original);

        const UndoOutcome outcome = undo(id);
        ASSERT_EQ(outcome.result, UndoOutcome::Result::Done) << outcome.message.toStdString();
        EXPECT_EQ(snapshot(kDay), original);
        EXPECT_EQ(outcome.counts.removed, c.written);

        const auto undone = journal->entry(id);
        EXPECT_EQ(undone->undoneBy, outcome.undoEntryId);
        const auto undoEntry = journal->entry(outcome.undoEntryId);
        EXPECT_EQ(undoEntry->state, EntryState::Done);
        EXPECT_EQ(undoEntry->undoOf, id);
        EXPECT_EQ(undoEntry->reason, QStringLiteral("误操作"));
        EXPECT_EQ(undoEntry->commandName, QStringLiteral("撤销: 批量设置"));
        EXPECT_EQ(undoEntry->units.at(0).beforeRows, c.written);
    }
}

TEST_P(JournalUndo, LaterChangeInTheScopeRefusesTheUndoAndNamesIt)
{
    struct Case {
        const char* what;
        int written; // the command's rows: up to 1000 are kept, more as a digest
        QString change;
        QStringList expected; // in the message
    };
    const QString at5 = FormatDateLiteral(kind(), QStringLiteral("2026-01-02 00:00:05"));
    const std::vector<Case> cases {
        {"a kept row modified", 100,
         QStringLiteral("UPDATE %1 SET nValue = 999 WHERE TagID = 1 AND ATime = %2").arg(kDay, at5),
         {QStringLiteral("数据表JournalDay在该操作之后已被改动,无法撤销"), QStringLiteral("第6行"),
          QStringLiteral("2026-01-02 00:00:05"), QStringLiteral("已被修改"), QStringLiteral("→ 999")}},
        {"a row added to a kept scope", 100,
         QStringLiteral("INSERT INTO %1(ATime, TagID, DataType, nValue, nValueChange) VALUES(%2, 1, 6, 1, 1)")
             .arg(kDay, FormatDateLiteral(kind(), QStringLiteral("2026-01-02 00:10:00"))),
         {QStringLiteral("新增了一行"), QStringLiteral("2026-01-02 00:10:00")}},
        {"a row deleted from a large scope", 1100,
         QStringLiteral("DELETE FROM %1 WHERE TagID = 1 AND ATime = %2").arg(kDay, at5),
         {QStringLiteral("现有1099行,操作后为1100行")}},
        {"a row modified in a large scope", 1100,
         QStringLiteral("UPDATE %1 SET nValueChange = 2 WHERE TagID = 1 AND ATime = %2").arg(kDay, at5),
         {QStringLiteral("共1100行,其中有行的内容已被修改")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        makeDay(50);
        const qint64 id = journaledBatch(kDay, scopeOfTag(1, 3600), samples(1, 0, c.written, 500));
        connection().execute(c.change);
        const QStringList changed = snapshot(kDay);
        const size_t entries = journal->entries().size();

        const UndoOutcome outcome = undo(id);
        EXPECT_EQ(outcome.result, UndoOutcome::Result::Refused);
        for (const QString& part : c.expected)
            EXPECT_TRUE(outcome.message.contains(part)) << outcome.message.toStdString() << "\nlacks " << part.toStdString();
        EXPECT_EQ(snapshot(kDay), changed);
        EXPECT_EQ(journal->entries().size(), entries);
        EXPECT_EQ(journal->entry(id)->undoneBy, 0);
    }
}

TEST_P(JournalUndo, ChangeOutsideTheScopeDoesNotStandInTheWay)
{
    makeDay(100);
    const QStringList tag1 = rowLines(captureRows(connection(), kind(), kDay, QStringLiteral("TagID = 1")).rows);
    const qint64 id = journaledBatch(kDay, scopeOfTag(1, 60), samples(1, 0, 60, 500));
    connection().execute(QStringLiteral("UPDATE %1 SET nValue = 42 WHERE TagID = 2").arg(kDay));
    const QStringList tag2 = rowLines(captureRows(connection(), kind(), kDay, QStringLiteral("TagID = 2")).rows);

    const UndoOutcome outcome = undo(id);
    ASSERT_EQ(outcome.result, UndoOutcome::Result::Done) << outcome.message.toStdString();
    EXPECT_EQ(rowLines(captureRows(connection(), kind(), kDay, QStringLiteral("TagID = 1")).rows), tag1);
    EXPECT_EQ(rowLines(captureRows(connection(), kind(), kDay, QStringLiteral("TagID = 2")).rows), tag2);
}

TEST_P(JournalUndo, UndoOfAnUndoAndAgain)
{
    makeDay(200);
    const QStringList original = snapshot(kDay);
    const qint64 batch = journaledBatch(kDay, scopeOfTag(1, 150), samples(1, 10, 100, 500));
    const QStringList afterBatch = snapshot(kDay);

    const UndoOutcome first = undo(batch);
    ASSERT_EQ(first.result, UndoOutcome::Result::Done) << first.message.toStdString();
    EXPECT_EQ(snapshot(kDay), original);
    const UndoOutcome twice = undo(batch);
    EXPECT_EQ(twice.result, UndoOutcome::Result::Refused);
    EXPECT_EQ(twice.message, QStringLiteral("该操作已被撤销(日志第%1条)").arg(first.undoEntryId));

    const UndoOutcome redo = undo(first.undoEntryId);
    ASSERT_EQ(redo.result, UndoOutcome::Result::Done) << redo.message.toStdString();
    EXPECT_EQ(snapshot(kDay), afterBatch);
    EXPECT_EQ(journal->entry(redo.undoEntryId)->undoOf, first.undoEntryId);

    // The batch is in force again, and so can be undone again.
    const UndoOutcome again = undo(batch);
    ASSERT_EQ(again.result, UndoOutcome::Result::Done) << again.message.toStdString();
    EXPECT_EQ(snapshot(kDay), original);
}

TEST_P(JournalUndo, DroppedTableRefusesTheUndo)
{
    makeDay(20);
    const qint64 id = journaledBatch(kDay, scopeOfTag(1, 60), samples(1, 0, 30, 500));
    connection().execute(QStringLiteral("DROP TABLE %1").arg(kDay));
    const size_t entries = journal->entries().size();
    const UndoOutcome outcome = undo(id);
    EXPECT_EQ(outcome.result, UndoOutcome::Result::Refused);
    EXPECT_EQ(outcome.message, QStringLiteral("数据表JournalDay已不存在,无法撤销"));
    EXPECT_EQ(outcome.undoEntryId, 0);
    EXPECT_EQ(journal->entries().size(), entries);
}

TEST_P(JournalUndo, UndoOnAnotherDataSourceIsRefused)
{
    makeDay(20);
    const qint64 id = journaledBatch(kDay, scopeOfTag(1, 60), samples(1, 0, 20, 500));
    const QStringList afterBatch = snapshot(kDay);
    UndoRequest request;
    request.entryId = id;
    request.kind = kind();
    request.dataSource = QStringLiteral("OtherArchive");
    const UndoOutcome outcome = undoEntry(*journal, connection(), request);
    EXPECT_EQ(outcome.result, UndoOutcome::Result::Refused);
    EXPECT_EQ(outcome.message, QStringLiteral("该操作是在数据源%1上执行的,当前数据源为OtherArchive,无法撤销")
                                   .arg(database().dsn));
    EXPECT_EQ(snapshot(kDay), afterBatch);
}

// The archive refuses one row of the before-image: the undo leaves the table
// as the command left it, and its entry says it failed.
TEST_P(JournalUndo, RefusedWriteBackLeavesTheTableAsItWas)
{
    makeDay(40);
    const qint64 id = journaledBatch(kDay, scopeOfTag(1, 60), samples(1, 0, 30, 500));
    const QStringList afterBatch = snapshot(kDay);
    refuseRows(connection(), kind(), kDay, QStringLiteral("INSERT"), QStringLiteral("NEW.nValue = 7.5"));

    const UndoOutcome outcome = undo(id);
    EXPECT_EQ(outcome.result, UndoOutcome::Result::Failed);
    EXPECT_TRUE(outcome.message.startsWith(QStringLiteral("第16行无法写回数据表JournalDay"))) << outcome.message.toStdString();
    EXPECT_EQ(snapshot(kDay), afterBatch);
    const auto undoEntry = journal->entry(outcome.undoEntryId);
    EXPECT_EQ(undoEntry->state, EntryState::Failed);
    EXPECT_EQ(journal->entry(id)->undoneBy, 0);
}

// The server drops the session before the undo could check anything: no
// undo is journaled and nothing changes.
TEST_P(JournalUndo, LostConnectionBeforeTheCheckChangesNothing)
{
    makeDay(40);
    const qint64 id = journaledBatch(kDay, scopeOfTag(1, 60), samples(1, 0, 30, 500));
    const QStringList afterBatch = snapshot(kDay);
    const size_t entries = journal->entries().size();
    if (!killServerSession(connection()))
        GTEST_SKIP() << "SQLite has no server session to lose";
    EXPECT_THROW(undo(id), db::DbError);
    EXPECT_EQ(journal->entries().size(), entries);
    connection() = openConnection();
    EXPECT_EQ(snapshot(kDay), afterBatch);
}

INSTANTIATE_TEST_SUITE_P(Kinds, JournalUndo, allDatabaseKinds(), kindName);

} // namespace
