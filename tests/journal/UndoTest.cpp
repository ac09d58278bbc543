#include "DatabaseTest.h"
#include "JournalTestSupport.h"
#include "RefusingTriggers.h"

#include "db/BulkWriter.h"
#include "db/DbError.h"
#include "journal/ArchiveImage.h"
#include "dialect/ArchiveUnit.h"
#include "journal/JournaledCommand.h"
#include "journal/Undo.h"

using namespace tessera;
using namespace tessera::journal;
using namespace tessera::test;

namespace {

const QString kDay = "JournalDay";
const QDateTime kMidnight(QDate(2026, 1, 2), QTime(0, 0), Qt::UTC);

using WrittenRows = std::vector<std::vector<db::Value>>;

// Samples of one tag from midnight on, one a second, as the telemetry
// commands bind them.
WrittenRows samples(int tag, int from, int count, double base)
{
    WrittenRows rows;
    for (int i = from; i < from + count; ++i)
        rows.push_back({kMidnight.addSecs(i), qint64(tag), qint64(6), double(float(base + i * 0.5)), double(0.5f)});
    return rows;
}

class JournalUndo : public DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        if (connection().isOpen())
            journal.emplace(Journal::open(temp.path()));
    }

    void write(const WrittenRows& rows, const QString& table = kDay,
        const QStringList& columns = {"ATime", "TagID", "DataType", "nValue", "nValueChange"})
    {
        db::BulkWriter writer(connection(), insertSql(table, columns), int(columns.size()));
        for (const auto& row : rows)
            writer.addRow(row);
        EXPECT_EQ(writer.finish().written, qint64(rows.size()));
    }

    // A day table holding tags 1 and 2, `perTag` samples each.
    void makeDay(int perTag, ddl::Generation generation = ddl::Generation::Newer)
    {
        createTelemetryTable(kDay, generation);
        write(samples(1, 0, perTag, 0));
        write(samples(2, 0, perTag, 1000));
    }

    // One tag from midnight up to, not including, `seconds` later.
    UnitScope scopeOfTag(int tag, int seconds, const QString& table = kDay) const
    {
        ScopeClause clause = rangeClause("ATime", DateTimeText{"2026-01-02 00:00:00"},
                                         DateTimeText{kMidnight.addSecs(seconds).toString("yyyy-MM-dd hh:mm:ss")});
        clause.terms.push_back(equalTo("TagID", qint64(tag)));
        return {table, {clause}};
    }

    EntryDraft draft(const QString& command, const UnitScope& scope, const QStringList& keys = {"ATime", "TagID"})
    {
        EntryDraft d = draftOf(command, {{scope, "TagID 1", keys, std::nullopt}});
        d.kind = int(kind());
        d.dataSource = database().dsn;
        return d;
    }

    // What a journaled command does: in one unit, the before-image read and
    // committed to the journal, then `change` runs and commits; then the
    // after-state read again.
    qint64 journaled(const QString& command, const UnitScope& scope, const std::function<void(ArchiveUnit&)>& change,
                     const QStringList& keys = {"ATime", "TagID"})
    {
        ArchiveUnit unit(connection(), kind(), {scope.table});
        JournaledCommand entry = JournaledCommand::begin(*journal, connection(), kind(), draft(command, scope, keys), unit);
        change(unit);
        unit.commit();
        entry.finish(true, "完成");
        return entry.entryId();
    }

    // A batch setting: the scope deleted and the new rows written.
    qint64 journaledBatch(const UnitScope& scope, const WrittenRows& rows)
    {
        return journaled("批量设置", scope, [&](ArchiveUnit&) {
            for (const QString& condition : scopeConditions(kind(), scope))
                connection().execute(QString("DELETE FROM %1 WHERE %2").arg(scope.table, condition));
            db::BulkWriter writer(connection(), insertSql(scope.table, {"ATime", "TagID", "DataType", "nValue", "nValueChange"}),
                                  5, 4000, db::BulkWriter::Mode::InTransaction);
            for (const auto& row : rows)
                writer.addRow(row);
            writer.finish();
        });
    }

    QStringList snapshot(const QString& table = kDay)
    {
        return rowLines(captureRows(connection(), kind(), {table, {{}}}).rows);
    }
    QStringList snapshot(const UnitScope& scope) { return rowLines(captureRows(connection(), kind(), scope).rows); }

    UndoOutcome undo(qint64 id, const QString& dataSource = {})
    {
        UndoRequest request;
        request.entryId = id;
        request.kind = kind();
        request.login = "wardenaccount";
        request.dataSource = dataSource.isEmpty() ? database().dsn : dataSource;
        request.reason = "误操作";
        return undoEntry(*journal, connection(), request);
    }

    TempJournal temp;
    std::optional<Journal> journal;
};

TEST_P(JournalUndo, CaptureKeepsEveryTypedValueAndUndoWritesItBackExactly)
{
    const bool pg = kind() == DatabaseKind::PostgreSQL;
    const bool my = kind() == DatabaseKind::MySql;
    const QString probe = "JournalProbe";
    createTable(probe, QString("ID INTEGER, Big BIGINT, D %1, S %2, Name VARCHAR(64), At %3")
                           .arg(pg ? "DOUBLE PRECISION" : "DOUBLE", my ? "FLOAT" : "REAL",
                                pg ? "TIMESTAMP(3)" : my ? "DATETIME(3)" : "DATETIME"));
    const qint64 big = std::numeric_limits<qint64>::max();
    const WrittenRows rows{
        {qint64(1), big, 0.1, double(0.1f), QString("城北变电站 1#主变"), QString("2026-01-02 03:04:05.123")},
        {qint64(2), -big - 1, 1e-300, double(-3.25e38f), QString("it's"), QString("1899-12-30 23:59:59")},
        {qint64(3), {}, {}, {}, {}, {}},
        {qint64(4), qint64(4), 123456789.12345679, double(16777216.0f), QString(), QString("2026-12-31 23:59:59.999")},
        {qint64(5), qint64(5), 1.0 / 3, double(1.0f / 3), QString("1/3"), QString("2026-01-02 00:00:00")},
    };
    write(rows, probe, {"ID", "Big", "D", "S", "Name", "At"});

    const RowSet original = captureRows(connection(), kind(), {probe, {{}}});
    // SQLite keeps every real in eight bytes, and its driver says so.
    const ValueType single = kind() == DatabaseKind::SQLite ? ValueType::Real : ValueType::RealSingle;
    EXPECT_EQ(original.types, (std::vector<ValueType>{ValueType::Integer, ValueType::Integer, ValueType::Real, single,
                                                       ValueType::Text, ValueType::DateTime}));
    ASSERT_EQ(original.rows.size(), 5u);
    auto captured = [&](qint64 id, size_t columns) {
        for (const Row& row : original.rows)
            if (row[0] == Value(id))
                return rowText(Row(row.begin(), row.begin() + qsizetype(columns)));
        return QString("no row %1").arg(id);
    };
    EXPECT_EQ(captured(1, 6), rowText({qint64(1), big, 0.1, double(0.1f), QString("城北变电站 1#主变"),
                                       DateTimeText{"2026-01-02 03:04:05.123"}}));
    EXPECT_EQ(captured(5, 4), rowText({qint64(5), qint64(5), 1.0 / 3, double(1.0f / 3)}));

    // The command replaces rows 1, 2 and 5 with one other row; the undo
    // brings back every value, bit for bit.
    const UnitScope where{probe, {{{{"ID", Comparison::AnyOf, {qint64(1), qint64(2), qint64(5)}}}}}};
    const qint64 id = journaled("记录修改", where, [&](ArchiveUnit&) {
        connection().execute(QString("DELETE FROM %1 WHERE ID IN (1, 2, 5)").arg(probe));
        connection().execute(QString("INSERT INTO %1(ID, Name) VALUES(1, 'new')").arg(probe));
    }, {"ID"});

    const UndoOutcome outcome = undo(id);
    ASSERT_EQ(outcome.result, UndoOutcome::Result::Done) << outcome.message.toStdString();
    EXPECT_EQ(outcome.counts.written, 3);
    EXPECT_EQ(snapshot(probe), rowLines(original.rows));
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
        rows.back()[3] = 0.1; // not a float: a REAL column keeps the nearest one
        rows.back()[4] = std::monostate();
        write(rows);
        const RowSet captured = captureRows(connection(), kind(), {kDay, {{}}});
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
    const UnitScope where = scopeOfTag(1, 3600);
    const auto kept = captureRowsUpTo(connection(), kind(), where, 30);
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(rowLines(kept->rows), snapshot(where));
    EXPECT_EQ(kept->columns.size(), 5);
    EXPECT_FALSE(captureRowsUpTo(connection(), kind(), where, 29).has_value());
    const auto none = captureRowsUpTo(connection(), kind(), scopeOfTag(9, 3600), 0);
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
    const std::vector<Case> cases{
        {"small scope, rows kept", 300, 1, 120, 100, ddl::Generation::Newer},
        {"large scope, digest only", 1500, 1, 1400, 1300, ddl::Generation::Newer},
        {"single-precision values", 200, 1, 150, 150, ddl::Generation::Older},
        {"nothing in scope before", 100, 3, 1000, 900, ddl::Generation::Newer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        makeDay(c.perTag, c.generation);
        const QStringList original = snapshot();
        const qint64 id = journaledBatch(scopeOfTag(c.tag, c.scope), samples(c.tag, 0, c.written, 500));
        ASSERT_NE(snapshot(), original);

        const UndoOutcome outcome = undo(id);
        ASSERT_EQ(outcome.result, UndoOutcome::Result::Done) << outcome.message.toStdString();
        EXPECT_EQ(snapshot(), original);
        EXPECT_EQ(outcome.counts.removed, c.written);

        const auto undoEntry = journal->entry(outcome.undoEntryId);
        EXPECT_EQ(undoEntry->state, EntryState::Done);
        EXPECT_EQ(undoEntry->commandName, "撤销: 批量设置");
        EXPECT_EQ(undoEntry->units.at(0).beforeRows, c.written);
    }
}

// Whatever stands in the way refuses the undo before anything is journaled
// or changed, and the message names it.
TEST_P(JournalUndo, ChangeSinceTheCommandRefusesTheUndoAndNamesIt)
{
    struct Case {
        const char* what;
        int written; // the command's rows: up to 1000 are kept, more as a digest
        QString change;
        QStringList expected;    // in the message
        QString dataSource = {}; // where the undo runs; empty: where the command ran
        bool whole = false;      // the one text expected is the whole message
    };
    const QString at5 = FormatDateLiteral(kind(), "2026-01-02 00:00:05");
    const std::vector<Case> cases{
        {"a kept row modified", 100,
         QString("UPDATE %1 SET nValue = 999 WHERE TagID = 1 AND ATime = %2").arg(kDay, at5),
         {"数据表JournalDay在该操作之后已被改动,无法撤销", "第6行", "2026-01-02 00:00:05", "已被修改", "→ 999"}},
        {"a row added to a kept scope", 100,
         QString("INSERT INTO %1(ATime, TagID, DataType, nValue, nValueChange) VALUES(%2, 1, 6, 1, 1)")
             .arg(kDay, FormatDateLiteral(kind(), "2026-01-02 00:10:00")),
         {"新增了一行", "2026-01-02 00:10:00"}},
        {"a row deleted from a large scope", 1100,
         QString("DELETE FROM %1 WHERE TagID = 1 AND ATime = %2").arg(kDay, at5),
         {"现有1099行,操作后为1100行"}},
        {"a row modified in a large scope", 1100,
         QString("UPDATE %1 SET nValueChange = 2 WHERE TagID = 1 AND ATime = %2").arg(kDay, at5),
         {"共1100行,其中有行的内容已被修改"}},
        {"the table dropped", 30, "DROP TABLE " + kDay, {"数据表JournalDay已不存在,无法撤销"}, {}, true},
        {"another data source", 20, QString(),
         {QString("该操作是在数据源%1上执行的,当前数据源为OtherArchive,无法撤销").arg(database().dsn)}, "OtherArchive",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        makeDay(50);
        const qint64 id = journaledBatch(scopeOfTag(1, 3600), samples(1, 0, c.written, 500));
        if (!c.change.isEmpty())
            connection().execute(c.change);
        const bool dropped = c.change.startsWith("DROP");
        const QStringList changed = dropped ? QStringList() : snapshot();
        const size_t entries = journal->entries().size();

        const UndoOutcome outcome = undo(id, c.dataSource);
        EXPECT_EQ(outcome.result, UndoOutcome::Result::Refused);
        EXPECT_EQ(outcome.undoEntryId, 0);
        if (c.whole) {
            EXPECT_EQ(outcome.message, c.expected[0]);
        }
        for (const QString& part : c.expected)
            EXPECT_TRUE(outcome.message.contains(part))
                << outcome.message.toStdString() << "\nlacks " << part.toStdString();
        if (!dropped) {
            EXPECT_EQ(snapshot(), changed);
        }
        EXPECT_EQ(journal->entries().size(), entries);
        EXPECT_EQ(journal->entry(id)->undoneBy, 0);
    }
}

TEST_P(JournalUndo, UndoOfAnUndoAndAgain)
{
    makeDay(200);
    const QStringList original = snapshot();
    const qint64 batch = journaledBatch(scopeOfTag(1, 150), samples(1, 10, 100, 500));
    const QStringList afterBatch = snapshot();

    const UndoOutcome first = undo(batch);
    ASSERT_EQ(first.result, UndoOutcome::Result::Done) << first.message.toStdString();
    EXPECT_EQ(snapshot(), original);
    const UndoOutcome twice = undo(batch);
    EXPECT_EQ(twice.result, UndoOutcome::Result::Refused);
    EXPECT_EQ(twice.message, QString("该操作已被撤销(日志第%1条)").arg(first.undoEntryId));

    const UndoOutcome redo = undo(first.undoEntryId);
    ASSERT_EQ(redo.result, UndoOutcome::Result::Done) << redo.message.toStdString();
    EXPECT_EQ(snapshot(), afterBatch);

    // The batch is in force again, and so can be undone again.
    const UndoOutcome again = undo(batch);
    ASSERT_EQ(again.result, UndoOutcome::Result::Done) << again.message.toStdString();
    EXPECT_EQ(snapshot(), original);

    // A command whose program ended before it finished has no after-state.
    EntryDraft unfinished = draft("批量设置", scopeOfTag(1, 60));
    unfinished.units[0].before = captureRows(connection(), kind(), scopeOfTag(1, 60));
    const UndoOutcome pending = undo(journal->beginEntry(unfinished));
    EXPECT_EQ(pending.message, "该操作未完成(程序被中断),没有记录操作后的数据,无法撤销");
    EXPECT_EQ(snapshot(), original);
}

// The archive refuses one row of the before-image: the undo leaves the table
// as the command left it, and its entry says it failed.
TEST_P(JournalUndo, RefusedWriteBackLeavesTheTableAsItWas)
{
    makeDay(40);
    const qint64 id = journaledBatch(scopeOfTag(1, 60), samples(1, 0, 30, 500));
    const QStringList afterBatch = snapshot();
    refuseRows(connection(), kind(), kDay, "INSERT", "NEW.nValue = 7.5");

    const UndoOutcome outcome = undo(id);
    EXPECT_EQ(outcome.result, UndoOutcome::Result::Failed);
    EXPECT_TRUE(outcome.message.startsWith("第16行无法写回数据表JournalDay")) << outcome.message.toStdString();
    EXPECT_EQ(snapshot(), afterBatch);
    EXPECT_EQ(journal->entry(outcome.undoEntryId)->state, EntryState::Failed);
    EXPECT_EQ(journal->entry(id)->undoneBy, 0);
}

// Cancelled while its image is read, a command never runs: its unit is
// rolled back, and its entry says so and cannot be undone.
TEST_P(JournalUndo, ACancelledImageChangesNothing)
{
    struct Cancel : Progress {
        bool advance(qint64, qint64) override { return false; }
    } cancel;
    makeDay(50);
    const QStringList before = snapshot();
    const UnitScope scope = scopeOfTag(1, 3600);
    {
        ArchiveUnit unit(connection(), kind(), {kDay});
        EXPECT_THROW(JournaledCommand::begin(*journal, connection(), kind(), draft("数据清零", scope), unit, {}, &cancel),
                     CommandCancelled);
    }
    EXPECT_EQ(snapshot(), before);
    const auto entry = journal->entry(journal->entries().front().id);
    EXPECT_EQ(entry->state, EntryState::Failed);
    EXPECT_EQ(entry->outcome, "已取消,数据库没有修改");
    EXPECT_EQ(undo(entry->id).result, UndoOutcome::Result::Refused);
}

INSTANTIATE_TEST_SUITE_P(Kinds, JournalUndo, allDatabaseKinds(), kindName);

// Archives on a server, whose session can be lost.
class JournalUndoOnServer : public JournalUndo {};

// The server drops the session before the undo could check anything: no
// undo is journaled and nothing changes.
TEST_P(JournalUndoOnServer, LostConnectionBeforeTheCheckChangesNothing)
{
    makeDay(40);
    const qint64 id = journaledBatch(scopeOfTag(1, 60), samples(1, 0, 30, 500));
    const QStringList afterBatch = snapshot();
    const size_t entries = journal->entries().size();
    ASSERT_TRUE(killServerSession(connection()));
    EXPECT_THROW(undo(id), db::DbError);
    EXPECT_EQ(journal->entries().size(), entries);
    connection() = openConnection();
    EXPECT_EQ(snapshot(), afterBatch);
}

INSTANTIATE_TEST_SUITE_P(Servers, JournalUndoOnServer, ::testing::Values(DatabaseKind::PostgreSQL, DatabaseKind::MySql),
                         kindName);

} // namespace
