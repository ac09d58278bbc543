// What a journal file holds, as others may have left it: fields altered by
// SQL in the file (damage, or a hand that edits it), and entries written by
// the journal's first schema. Nothing stored crashes the reading, runs as
// SQL, or undoes what it should not; old entries stay listed and undoable.
#include "DatabaseTest.h"
#include "JournalTestSupport.h"

#include "db/BulkWriter.h"
#include "journal/ArchiveImage.h"
#include "dialect/ArchiveUnit.h"
#include "journal/JournalListing.h"
#include "journal/JournaledCommand.h"
#include "journal/Undo.h"

using namespace tessera;
using namespace tessera::journal;
using namespace tessera::test;

namespace {

const QString kDay = "Tag20260102";

QString hex(const QByteArray& bytes)
{
    return "x'" + QString::fromLatin1(bytes.toHex()) + "'";
}

class StoredEntries : public DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        createTelemetryTable(kDay);
        for (int s = 0; s < 40; ++s)
            connection().execute(QString("INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) VALUES(%2,1,1,%3,0)")
                                     .arg(kDay, FormatDateLiteral(kind(), QString("2026-01-02 00:00:%1").arg(s, 2, 10, QChar('0'))))
                                     .arg(s));
    }

    UnitScope tagOne() const { return {kDay, {{{equalTo("TagID", qint64(1))}}}}; }
    QStringList rows() { return rowLines(captureRows(connection(), kind(), {kDay, {{}}}).rows); }

    // Zeroing of tag 1, journaled as the command journals it.
    qint64 zeroed(Journal& journal)
    {
        ArchiveUnit unit(connection(), kind(), {kDay});
        EntryDraft draft = draftOf("数据清零", {{tagOne(), "TagID 1", {"ATime", "TagID"}, std::nullopt}});
        draft.dataSource = database().dsn;
        ImageChoice choice;
        choice.rules = {RowRule{false, {3, 4}, 0.0}};
        JournaledCommand entry = JournaledCommand::begin(journal, connection(), kind(), draft, unit, choice);
        connection().execute(QString("UPDATE %1 SET nValue=0,nValueChange=0 WHERE TagID=1").arg(kDay));
        unit.commit();
        entry.finish(true, "完成");
        return entry.entryId();
    }

    UndoOutcome undo(Journal& journal, qint64 id)
    {
        UndoRequest request;
        request.entryId = id;
        request.kind = kind();
        request.dataSource = database().dsn;
        return undoEntry(journal, connection(), request);
    }

    TempJournal temp;
};

// Each field altered by SQL in the file: the entry is listed as damaged,
// its pages read without end or crash, and its undo refused; the archive
// stays as it was, its table with it.
TEST_P(StoredEntries, DamagedFieldsAreFoundOnReadingAndNeverRunOrUndone)
{
    struct Case {
        const char* what;
        QString damage;
        const char* problem; // in the entry's problem; empty: the image, found by the undo
    };
    const QByteArray sqlColumns = encodeRow({QString("ATime"), QString("TagID"), QString("DataType"),
                                             QString("nValue); DROP TABLE Tag20260102; --"), QString("nValueChange")});
    const Case cases[] = {
        {"a count beyond any image", "UPDATE unit SET before_rows=1000000000000000", "行数"},
        {"a typed scope that is no scope", "UPDATE unit SET typed_scope=x'0102030405'", "范围"},
        {"a stored condition that is SQL",
         "UPDATE unit SET typed_scope=NULL, where_sql='TagID=1; DROP TABLE Tag20260102'", "范围"},
        {"a table that is SQL", "UPDATE unit SET table_name='Tag20260102; DROP TABLE Tag20260102'", "范围"},
        {"a column that is SQL", "UPDATE unit SET columns=" + hex(sqlColumns), "列名"},
        {"an unknown state", "UPDATE entry SET state=7", "状态"},
        {"a unit out of its place", "UPDATE unit SET unit_no=5", "序号"},
        {"damaged image blocks", "UPDATE image_chunk SET data=x'00ff00ff00' WHERE side=0", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = temp.path() + QString::number(&c - cases);
        Journal journal = Journal::open(path);
        const qint64 id = zeroed(journal);
        const QStringList zeroedRows = rows();
        execOn(path, c.damage);

        const auto listed = journal.entries();
        ASSERT_EQ(listed.size(), 1u);
        const auto details = journal.entry(id);
        ASSERT_TRUE(details.has_value());
        if (*c.problem) {
            EXPECT_TRUE(details->problem.contains(QString::fromUtf8(c.problem))) << details->problem.toStdString();
            EXPECT_TRUE(outcomeText(*details).startsWith("记录已损坏")) << outcomeText(*details).toStdString();
        }
        if (!details->units.empty()) {
            // A page of the image is read, whatever its count says.
            try {
                EXPECT_LE(journal.imageRows(id, details->units[0].index, Side::Before, 0, 1000).size(), 40u);
            } catch (const JournalError&) {
            }
        }
        try {
            const UndoOutcome outcome = undo(journal, id);
            EXPECT_NE(outcome.result, UndoOutcome::Result::Done) << outcome.message.toStdString();
            if (*c.problem) {
                EXPECT_TRUE(outcome.message.contains("已损坏")) << outcome.message.toStdString();
            }
        } catch (const JournalError& error) {
            EXPECT_TRUE(error.message().contains("已损坏")) << error.what();
        }
        EXPECT_EQ(rows(), zeroedRows);
    }
}

// A journal of the first schema: conditions kept as text, the sorted digest.
// Opened, it is brought to this schema; its entries stay listed, and one
// whose condition reads as a scope is undone as before.
TEST_P(StoredEntries, EntriesOfTheFirstSchemaStayListedAndUndoable)
{
    const std::vector<Row> before = captureRows(connection(), kind(), tagOne()).rows;
    connection().execute(QString("UPDATE %1 SET nValue=0,nValueChange=0 WHERE TagID=1").arg(kDay));
    const RowSet after = captureRows(connection(), kind(), tagOne());
    SortedRowDigest digest;
    for (const Row& row : after.rows)
        digest.add(row);
    const QString names = hex(encodeRow({QString("ATime"), QString("TagID"), QString("DataType"), QString("nValue"),
                                         QString("nValueChange")}));
    QByteArray types;
    for (ValueType t : after.types)
        types.append(char(t));
    execOn(temp.path(), QString(
        "CREATE TABLE entry(id INTEGER PRIMARY KEY AUTOINCREMENT, started_local TEXT NOT NULL, started_utc TEXT NOT NULL,"
        " finished_utc TEXT, os_user TEXT NOT NULL, login TEXT NOT NULL, data_source TEXT NOT NULL, kind INTEGER NOT NULL,"
        " command_id INTEGER NOT NULL, command_name TEXT NOT NULL, scope TEXT NOT NULL, reason TEXT NOT NULL,"
        " state INTEGER NOT NULL, outcome TEXT NOT NULL DEFAULT '', rows_removed INTEGER, rows_written INTEGER,"
        " rows_failed INTEGER, undo_of INTEGER NOT NULL DEFAULT 0, undone_by INTEGER NOT NULL DEFAULT 0);"
        "CREATE INDEX entry_by_start ON entry(started_utc); CREATE INDEX entry_by_state ON entry(state);"
        "CREATE TABLE unit(entry_id INTEGER NOT NULL, unit_no INTEGER NOT NULL, table_name TEXT NOT NULL,"
        " where_sql TEXT NOT NULL, scope TEXT NOT NULL, key_columns BLOB NOT NULL, columns BLOB, types BLOB,"
        " before_kept INTEGER NOT NULL, before_rows INTEGER NOT NULL, after_rows INTEGER, after_digest BLOB,"
        " after_kept INTEGER NOT NULL DEFAULT 0, status TEXT NOT NULL DEFAULT '', status_rows INTEGER,"
        " PRIMARY KEY(entry_id, unit_no)) WITHOUT ROWID;"
        "CREATE TABLE image_chunk(entry_id INTEGER NOT NULL, unit_no INTEGER NOT NULL, side INTEGER NOT NULL,"
        " chunk_no INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(entry_id, unit_no, side, chunk_no)) WITHOUT ROWID;"
        "CREATE TABLE setting(name TEXT PRIMARY KEY, value) WITHOUT ROWID;"
        "INSERT INTO entry(id, started_local, started_utc, finished_utc, os_user, login, data_source, kind, command_id,"
        " command_name, scope, reason, state) VALUES(1, '2026-01-02 09:00:00.000', '2026-01-02T01:00:00.000Z',"
        " '2026-01-02T01:00:01.000Z', 'operator', 'wardenaccount', '%1', %2, 32793, '数据清零', 'TagID 1', '', 1),"
        " (2, '2026-01-02 09:10:00.000', '2026-01-02T01:10:00.000Z', '2026-01-02T01:10:01.000Z', 'operator',"
        " 'wardenaccount', '%1', %2, 32793, '数据清零', 'TagID 1', '', 1);"
        "INSERT INTO unit VALUES(1, 0, '%3', 'TagID=1', 'TagID 1', %4, %4, %5, 1, %6, %6, %7, 0, '', NULL),"
        " (2, 0, '%3', 'TagID=1 UNION SELECT 1', 'TagID 1', %4, %4, %5, 1, %6, %6, %7, 0, '', NULL);"
        "INSERT INTO image_chunk VALUES(1, 0, 0, 0, %8);"
        "PRAGMA user_version=1;")
        .arg(database().dsn).arg(int(kind())).arg(kDay, names, hex(types)).arg(before.size())
        .arg(hex(digest.result()), hex(encodeRows(before, 0, before.size()))));

    Journal journal = Journal::open(temp.path());
    EXPECT_TRUE(journal.setAsidePath().isEmpty());
    EXPECT_EQ(idsOf(journal.entries()), (std::vector<qint64>{2, 1}));
    const auto old = journal.entry(1);
    ASSERT_TRUE(old && old->units.at(0).scope.has_value());
    EXPECT_TRUE(old->units[0].sortedDigest);
    EXPECT_TRUE(journal.entry(2)->problem.contains("范围")) << journal.entry(2)->problem.toStdString();
    EXPECT_EQ(undo(journal, 2).result, UndoOutcome::Result::Refused);

    const UndoOutcome outcome = undo(journal, 1);
    ASSERT_EQ(outcome.result, UndoOutcome::Result::Done) << outcome.message.toStdString();
    EXPECT_EQ(rowLines(captureRows(connection(), kind(), tagOne()).rows), rowLines(before));
    // The undo is an entry of this schema, and can be undone in turn.
    EXPECT_EQ(undo(journal, outcome.undoEntryId).result, UndoOutcome::Result::Done);
}

INSTANTIATE_TEST_SUITE_P(SQLite, StoredEntries, ::testing::Values(DatabaseKind::SQLite), kindName);

} // namespace
