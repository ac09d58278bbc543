// The journal and undo while the SCADA writes the same day: a writer thread
// on a connection of its own inserts samples (outside the command's scope,
// and inside it) while the commands and their undo run, on every database
// kind (SQLite's writer waits on the file's lock). No row the writer
// committed may be lost unless the command imaged it; the scope ends as the
// command or the undo left it. And thousands of selected rows, deleted and
// undone.
#include "DatabaseTest.h"
#include "JournalTestSupport.h"

#include "db/DbError.h"
#include "journal/ArchiveImage.h"
#include "dialect/ArchiveUnit.h"
#include "journal/JournaledCommand.h"
#include "journal/Undo.h"
#include "telemetry/TelemetryOperations.h"
#include "view/TagCatalogue.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

using namespace tessera;
using namespace tessera::journal;
using namespace tessera::telemetry;
using namespace tessera::test;

namespace {

const QDate kDay(2026, 1, 2);
const QDateTime kMidnight(kDay, QTime(0, 0), Qt::UTC);
constexpr int kOutsideTag = 9;

QString at(int second)
{
    return kMidnight.addSecs(second).toString("yyyy-MM-dd hh:mm:ss");
}

// The SCADA: inserts samples on a connection of its own, each committed
// alone, at its own pace until stopped: of tag 9 (outside every scope here), and, when
// asked, of tag 1 from 00:50:00 on (inside the scopes of tag 1's first hour).
class ScadaWriter {
public:
    ScadaWriter(db::Connection connection, DatabaseKind kind, bool intoScope)
        : m_connection(std::move(connection)), m_kind(kind), m_intoScope(intoScope)
    {
        m_thread = std::thread([this] { run(); });
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_committed >= 4 || m_failed; });
    }
    ~ScadaWriter() { stop(); }

    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        EXPECT_FALSE(m_failed) << m_failure.toStdString();
    }
    // Instants committed, by tag.
    std::vector<QString> outside, inside;

private:
    void run()
    {
        for (int i = 0; !m_stop; ++i) {
            const bool in = m_intoScope && i % 2 == 1;
            const QString instant = in ? at(3000 + i / 2) : at(40000 + i);
            try {
                m_connection.execute(QString("INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) VALUES(%2,%3,1,7,0)")
                                         .arg(TelemetryTableName(kDay), FormatDateLiteral(m_kind, instant))
                                         .arg(in ? 1 : kOutsideTag));
            } catch (const db::DbError& error) {
                std::lock_guard lock(m_mutex);
                m_failed = true;
                m_failure = error.message();
                m_changed.notify_all();
                return;
            }
            {
                std::lock_guard lock(m_mutex);
                (in ? inside : outside).push_back(instant);
                ++m_committed;
            }
            m_changed.notify_all();
            // A SCADA's pace, a few hundred samples a second: flat out, it
            // would starve SQLite's other writer, which polls for the lock.
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
    }

    db::Connection m_connection;
    DatabaseKind m_kind;
    bool m_intoScope;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_committed = 0;
    bool m_failed = false;
    QString m_failure;
};

// Instants of a tag among rows (ATime, TagID, ...), to the second.
std::set<QString> instantsOf(const std::vector<Row>& rows, int tag)
{
    std::set<QString> found;
    for (const Row& row : rows)
        if (row.size() > 1 && row[1] == Value(qint64(tag)))
            found.insert(displayText(row[0]).left(19));
    return found;
}

class JournalUnderLoad : public DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        if (connection().isOpen())
            journal.emplace(Journal::open(temp.path()));
    }

    // The day: tags 1 and 2, a sample every six seconds of the first hour.
    void makeDay()
    {
        createTelemetryTable(TelemetryTableName(kDay));
        for (int tag : {1, 2})
            for (int s = 0; s < 3600; s += 6)
                connection().execute(QString("INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) "
                                             "VALUES(%2,%3,1,%4,1)")
                                         .arg(TelemetryTableName(kDay), FormatDateLiteral(kind(), at(s)))
                                         .arg(tag)
                                         .arg(s));
    }

    std::vector<Row> dayRows() { return captureRows(connection(), kind(), {TelemetryTableName(kDay), {{}}}).rows; }

    EntryDraft draft(const UnitScope& scope)
    {
        EntryDraft d = draftOf("命令", {{scope, "TagID 1", {"ATime", "TagID"}, std::nullopt}});
        d.kind = int(kind());
        d.dataSource = database().dsn;
        return d;
    }

    // A journaled command as the commands run one.
    qint64 journaled(const UnitScope& scope, const std::function<void(ArchiveUnit&)>& command)
    {
        ArchiveUnit unit(connection(), kind(), {scope.table});
        JournaledCommand entry = JournaledCommand::begin(*journal, connection(), kind(), draft(scope), unit);
        command(unit);
        entry.finish(true, "完成");
        return entry.entryId();
    }

    UndoOutcome undo(qint64 id)
    {
        UndoRequest request;
        request.entryId = id;
        request.kind = kind();
        request.dataSource = database().dsn;
        return undoEntry(*journal, connection(), request);
    }

    TempJournal temp;
    std::optional<Journal> journal;
};

// Batch setting, zeroing, the delete of listed samples and the replacement
// of tag 1's first hour while the writer inserts: every sample the writer
// committed outside the scope is there afterwards, and one it committed
// inside is there or in the before-image (then deleted with it, and given
// back by the undo). The undo, run while the writer goes on outside, gives
// back the scope as it was, and keeps every sample written meanwhile.
TEST_P(JournalUnderLoad, AWriterLosesNothingToACommandOrItsUndo)
{
    const BatchRequest batch {kDay, QTime(0, 0), QTime(0, 59, 59), 60, 9, 0, BatchMethod::Increase, 1};
    const TelemetryScope tag1 {TelemetryScope::Kind::Tag, 1, {}, {}};
    const RangeOfDay hour {kDay, QTime(0, 0), QTime(0, 59, 59)};
    std::vector<std::pair<QString, int>> listed;
    for (int s = 0; s < 3600; s += 60)
        listed.emplace_back(at(s), 1);
    struct NoQuestions : BatchQuestions {
        bool continueAfterDeleteFailure(const QString&) override { return false; }
        bool continueAfterSampleFailure(const QString&, bool) override { return false; }
    };
    struct Case {
        const char* what;
        UnitScope scope;
        std::function<void(ArchiveUnit&)> command;
    };
    const CatalogueNode noCatalogue;
    const Case cases[] = {
        {"batch setting", batchScope(batch),
         [&](ArchiveUnit& unit) {
             NoQuestions questions;
             RandomSource random(1);
             EXPECT_EQ(runBatchSetting(connection(), kind(), batch, questions, random, unit).result,
                       BatchOutcome::Result::Done);
         }},
        {"zeroing", zeroingScope(hour, tag1, noCatalogue),
         [&](ArchiveUnit& unit) { zeroTelemetry(connection(), kind(), hour, tag1, noCatalogue, unit); }},
        {"delete of listed samples", samplesScopes(listed).front(),
         [&](ArchiveUnit& unit) {
             QString failure;
             EXPECT_EQ(deleteSamples(connection(), kind(), listed, unit, failure), qint64(listed.size())) << failure.toStdString();
         }},
        {"replacement", replaceTargetScope({kDay, kDay, QTime(0, 0), QTime(0, 59, 59), true, 2, 2}, tag1, noCatalogue),
         [&](ArchiveUnit& unit) {
             RandomSource random(1);
             EXPECT_EQ(runReplacement(connection(), kind(), database().connectString(),
                                      {kDay, kDay, QTime(0, 0), QTime(0, 59, 59), true, 2, 2}, tag1, noCatalogue,
                                      random, unit)
                           .result,
                       ReplaceOutcome::Result::Done);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        makeDay();
        const std::vector<Row> before = dayRows();
        ScadaWriter scada(openConnection(), kind(), true);
        const qint64 id = journaled(c.scope, c.command);
        scada.stop();
        const std::vector<Row> after = dayRows();
        const std::set<QString> imaged = instantsOf(journal->beforeRows(id, 0).rows, 1);
        const std::set<QString> outsideNow = instantsOf(after, kOutsideTag);
        for (const QString& instant : scada.outside)
            EXPECT_TRUE(outsideNow.count(instant)) << "lost " << instant.toStdString();
        const std::set<QString> insideNow = instantsOf(after, 1);
        for (const QString& instant : scada.inside)
            EXPECT_TRUE(insideNow.count(instant) || imaged.count(instant)) << "lost " << instant.toStdString();
        EXPECT_EQ(instantsOf(after, 2), instantsOf(before, 2)); // outside the scope, untouched

        // Again without the writer in the scope, and undone while it writes outside.
        makeDay();
        const qint64 again = journaled(c.scope, c.command);
        ScadaWriter later(openConnection(), kind(), false);
        const UndoOutcome outcome = undo(again);
        later.stop();
        ASSERT_EQ(outcome.result, UndoOutcome::Result::Done) << outcome.message.toStdString();
        const std::vector<Row> undone = dayRows();
        EXPECT_EQ(instantsOf(undone, 1), instantsOf(before, 1));
        const std::set<QString> outsideAfterUndo = instantsOf(undone, kOutsideTag);
        EXPECT_EQ(outsideAfterUndo.size(), later.outside.size());
        for (const QString& instant : later.outside)
            EXPECT_TRUE(outsideAfterUndo.count(instant)) << "lost to the undo " << instant.toStdString();
    }
}

// Five thousand listed samples deleted in one command, then undone: the
// scope is five thousand clauses, read and deleted in groups.
TEST_P(JournalUnderLoad, FiveThousandListedSamplesDeletedAndUndone)
{
    createTelemetryTable(TelemetryTableName(kDay));
    std::vector<std::pair<QString, int>> listed;
    {
        db::Transaction transaction(connection());
        for (int s = 0; s < 5000; ++s) {
            connection().execute(QString("INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) VALUES(%2,3,1,%3,0)")
                                     .arg(TelemetryTableName(kDay), FormatDateLiteral(kind(), at(s)))
                                     .arg(s));
            listed.emplace_back(at(s), 3);
        }
        transaction.commit();
    }
    const std::vector<Row> before = dayRows();
    const UnitScope scope = samplesScopes(listed).front();
    ASSERT_EQ(scope.clauses.size(), 5000u);
    const qint64 id = journaled(scope, [&](ArchiveUnit& unit) {
        QString failure;
        EXPECT_EQ(deleteSamples(connection(), kind(), listed, unit, failure), 5000) << failure.toStdString();
    });
    EXPECT_TRUE(dayRows().empty());
    EXPECT_EQ(journal->entry(id)->units[0].beforeRows, 5000);
    const UndoOutcome outcome = undo(id);
    ASSERT_EQ(outcome.result, UndoOutcome::Result::Done) << outcome.message.toStdString();
    EXPECT_EQ(rowLines(dayRows()), rowLines(before));
}

INSTANTIATE_TEST_SUITE_P(Kinds, JournalUnderLoad, allDatabaseKinds(), kindName);

} // namespace
