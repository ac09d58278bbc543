#include "FileBytes.h"
#include "ScopedEnv.h"
#include "JournalTestSupport.h"

#include <QFileInfo>
#include <QProcess>

#include <sqlite3.h>

#include <atomic>
#include <csignal>
#include <latch>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

using namespace tessera;
using namespace tessera::journal;
using namespace tessera::test;

namespace {

RowSet typedRows()
{
    return {.columns = {"ID", "Big", "R", "Name", "At"},
        .types = {ValueType::Integer, ValueType::Integer, ValueType::Real, ValueType::Text, ValueType::DateTime},
        .rows = {
            {qint64(1), std::numeric_limits<qint64>::max(), 0.1, QString("城北变电站"),
                DateTimeText{"2026-01-02 03:04:05.123"}},
            {qint64(2), std::numeric_limits<qint64>::min(), -1e-300, QString(), DateTimeText{"1899-12-30 23:59:59"}},
            {qint64(3), Value(), Value(), Value(), Value()},
        }};
}

// An entry of one unit whose before-image holds `before`.
EntryDraft entryWith(const RowSet& before = typedRows())
{
    return draftOf("批量设置", {{{"Tag20260102", {{{equalTo("TagID", qint64(1))}}}}, "TagID 1", {"ID"}, before}});
}

// A journal whose table pages are overwritten: the header is still SQLite's.
void writeDamagedJournal(const QString& path)
{
    {
        Journal journal = Journal::open(path);
        for (int i = 0; i < 20; ++i)
            journal.beginEntry(entryWith());
    }
    QByteArray bytes = readBytes(path);
    ASSERT_GT(bytes.size(), 8192);
    for (qsizetype i = 4096; i < bytes.size(); ++i)
        bytes[i] = char(0x5a ^ (i * 7));
    writeBytes(path, bytes);
}

} // namespace

TEST(JournalFile, EntryGoesFromPendingWithItsTypedImageToItsOutcome)
{
    TempJournal temp;
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    qint64 id = 0;
    {
        // Who runs the program is the system's account, whatever the
        // environment says (a HOME folder named "home" once made 用户 "home").
        ScopedEnv user("USER", "somebody-else");
        ScopedEnv logname("LOGNAME", "somebody-else");
        ScopedEnv home("HOME", qPrintable(temp.folder() + "/home"));
        id = Journal::open(temp.path()).beginEntry(entryWith());
    }
    QProcess whoami;
    whoami.start("id", {"-un"});
    ASSERT_TRUE(whoami.waitForFinished());
    const QString account = QString::fromLocal8Bit(whoami.readAllStandardOutput()).trimmed();

    Journal journal = Journal::open(temp.path());
    EXPECT_TRUE(journal.setAsidePath().isEmpty());
    const RowSet image = journal.beforeRows(id, 0);
    EXPECT_EQ(image.columns, typedRows().columns);
    EXPECT_EQ(image.types, typedRows().types);
    ASSERT_EQ(image.rows.size(), 3u);
    for (size_t r = 0; r < image.rows.size(); ++r)
        EXPECT_EQ(encodeRow(image.rows[r]), encodeRow(typedRows().rows[r])) << rowText(image.rows[r]).toStdString();

    auto pending = journal.entry(id);
    ASSERT_TRUE(pending.has_value());
    EXPECT_EQ(pending->state, EntryState::Pending);
    EXPECT_EQ(pending->login, "wardenaccount");
    EXPECT_EQ(pending->osUser, account);
    EXPECT_GE(pending->startedLocal, before);
    EXPECT_EQ(pending->startedUtc.toSecsSinceEpoch(), pending->startedLocal.toSecsSinceEpoch());
    EXPECT_FALSE(pending->finishedUtc.isValid());
    ASSERT_EQ(pending->units.size(), 1u);
    EXPECT_FALSE(pending->units[0].afterRows.has_value());
    EXPECT_EQ(journal.pendingEntries().size(), 1u);

    RowSet after = typedRows();
    after.rows.pop_back();
    journal.recordAfterState(id, 0, after);
    journal.finishEntry(id, EntryState::Done, "置零完成", {3, 2, 0});

    const auto done = journal.entry(id);
    EXPECT_EQ(done->outcome, "置零完成");
    EXPECT_EQ(done->counts.removed, 3);
    EXPECT_TRUE(done->finishedUtc.isValid());
    const auto kept = journal.afterRows(id, 0);
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(rowLines(*kept), rowLines(after.rows));
    EXPECT_TRUE(journal.pendingEntries().empty());
    EXPECT_THROW(journal.recordAfterState(id, 5, after), JournalError);
}

TEST(JournalFile, ListsNewestFirstByDayAndCommand)
{
    TempJournal temp;
    Journal journal = Journal::open(temp.path());
    const QDate today = QDate::currentDate();
    auto add = [&](const char* name, int command, int daysAgo) {
        EntryDraft draft = draftOf(QString::fromUtf8(name));
        draft.commandId = command;
        draft.at = QDateTime(today.addDays(-daysAgo), QTime(12, 0));
        return journal.beginEntry(draft);
    };
    const qint64 a = add("批量设置", 1, 3);
    const qint64 b = add("遥测置零", 2, 2);
    const qint64 c = add("批量设置", 1, 1);
    const qint64 d = add("批量设置", 1, 0);

    EXPECT_EQ(idsOf(journal.entries()), (std::vector<qint64>{d, c, b, a}));
    EXPECT_EQ(idsOf(journal.entries({today.addDays(-2), today.addDays(-1), {}, 0})), (std::vector<qint64>{c, b}));
    EXPECT_EQ(idsOf(journal.entries({{}, {}, 1, 0})), (std::vector<qint64>{d, c, a}));
    EXPECT_EQ(idsOf(journal.entries({{}, {}, 1, 2})), (std::vector<qint64>{d, c}));
    EXPECT_EQ(idsOf(journal.entries({today, today, 2, 0})), std::vector<qint64>{});
}

// The program is killed (SIGKILL) right after beginEntry returned: the entry
// and its before-image are on disk and show as pending at the next start.
TEST(JournalFile, EntryOfAKilledProgramIsPendingAtTheNextStart)
{
    TempJournal temp;
    Journal::open(temp.path()); // created beforehand, as at any start

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        try {
            Journal::open(temp.path()).beginEntry(entryWith());
        } catch (...) {
            _exit(3);
        }
        raise(SIGKILL);
        _exit(4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "child status " << status;

    Journal journal = Journal::open(temp.path());
    const auto pending = journal.pendingEntries();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(entryStateText(pending[0].state), "未完成");
    EXPECT_EQ(rowLines(journal.beforeRows(pending[0].id, 0).rows), rowLines(typedRows().rows));
    // Its process is gone; one of this process is not.
    EXPECT_EQ(pending[0].pid, child);
    EXPECT_FALSE(Journal::isAlive(pending[0]));
    EXPECT_TRUE(Journal::isAlive(*journal.entry(journal.beginEntry(entryWith()))));
}

TEST(JournalFile, UnusableFileIsSetAsideAndANewJournalStarted)
{
    const std::vector<std::pair<const char*, std::function<void(const QString&)>>> spoilers{
        {"garbage", [](const QString& path) { writeBytes(path, QByteArray(5000, '\x17') + "not a database"); }},
        {"damaged pages", writeDamagedJournal},
        {"another program's database",
         [](const QString& path) { execOn(path, "CREATE TABLE notes(text); INSERT INTO notes VALUES('keep me')"); }},
    };
    for (const auto& [what, spoil] : spoilers) {
        SCOPED_TRACE(what);
        TempJournal temp;
        spoil(temp.path());
        const QByteArray spoilt = readBytes(temp.path());

        Journal journal = Journal::open(temp.path());
        const QString aside = journal.setAsidePath();
        EXPECT_TRUE(aside.startsWith(temp.path() + ".corrupt-")) << aside.toStdString();
        EXPECT_EQ(readBytes(aside), spoilt); // renamed, not deleted
        EXPECT_TRUE(journal.entries().empty());
        const qint64 id = journal.beginEntry(entryWith());
        EXPECT_EQ(journal.beforeRows(id, 0).rows.size(), 3u);

        // The new journal is sound: the next start keeps it.
        Journal again = Journal::open(temp.path());
        EXPECT_TRUE(again.setAsidePath().isEmpty());
        EXPECT_EQ(again.entries().size(), 1u);
    }
}

TEST(JournalFile, IsReadableByItsOwnerOnly)
{
    TempJournal temp;
    Journal journal = Journal::open(temp.path()); // open, so that its write-ahead log is there too
    journal.beginEntry(entryWith());
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
        QFileDevice::WriteOther | QFileDevice::ExeGroup | QFileDevice::ExeOther;
    for (const QString& name : temp.files())
        EXPECT_EQ(QFileInfo(QDir(temp.folder()).filePath(name)).permissions() & others, QFileDevice::Permissions())
            << name.toStdString();
    EXPECT_TRUE(temp.files().contains("journal.sqlite-wal")) << temp.files().join(' ').toStdString();
}

TEST(JournalFile, FileThatCannotBeCreatedOrWrittenStopsWithAMessage)
{
    TempJournal temp;
    const QString blocker = QDir(temp.folder()).filePath("plain-file");
    writeBytes(blocker, "x");
    const QString folderPath = QDir(temp.folder()).filePath("a-folder");
    QDir().mkpath(folderPath);

    for (const QString& path : {QDir(blocker).filePath("journal.sqlite"), folderPath}) {
        try {
            Journal::open(path);
            ADD_FAILURE() << "opened " << path.toStdString();
        } catch (const JournalError& error) {
            EXPECT_TRUE(error.message().startsWith("无法打开操作日志")) << error.what();
            EXPECT_TRUE(error.message().contains(QDir::toNativeSeparators(path))) << error.what();
        }
    }
    EXPECT_EQ(readBytes(blocker), QByteArray("x"));
}

// Another program holds the journal's write lock: the entry is refused with
// a message, and nothing of it is left behind.
TEST(JournalFile, LockedJournalRefusesTheEntry)
{
    TempJournal temp;
    Journal journal = Journal::open(temp.path());
    journal.setBusyTimeout(200);

    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(temp.path().toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    try {
        journal.beginEntry(entryWith());
        ADD_FAILURE() << "wrote into a locked journal";
    } catch (const JournalError& error) {
        EXPECT_TRUE(error.message().startsWith("无法写入操作日志")) << error.what();
        EXPECT_TRUE(error.message().contains("不会修改数据库")) << error.what();
    }
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    EXPECT_TRUE(journal.entries().empty());
    const qint64 id = journal.beginEntry(entryWith());
    EXPECT_EQ(journal.beforeRows(id, 0).rows.size(), 3u);
}

TEST(JournalFile, JournalOfANewerProgramIsLeftAlone)
{
    TempJournal temp;
    Journal::open(temp.path()).beginEntry(draftOf("批量设置"));
    execOn(temp.path(), "PRAGMA user_version=99");
    EXPECT_THROW(Journal::open(temp.path()), JournalError);
    EXPECT_EQ(temp.files(), QStringList{"journal.sqlite"});
}

// Retention removes old entries with their images, but never one still
// pending nor one whose process still runs.
TEST(JournalFile, RetentionRemovesOldFinishedEntriesWithTheirImagesOnly)
{
    TempJournal temp;
    Journal journal = Journal::open(temp.path());
    EXPECT_EQ(journal.settings().retentionDays, 180);

    RowSet big = typedRows();
    for (int i = 0; i < 2000; ++i)
        big.rows.push_back(big.rows[size_t(i % 3)]);
    // An entry `daysAgo` old, finished unless pending, of a process that has
    // ended unless alive (its start mark no longer that of this pid).
    auto add = [&](int daysAgo, bool pending = false, bool alive = false) {
        EntryDraft draft = entryWith(big);
        draft.at = QDateTime::currentDateTime().addDays(-daysAgo);
        const qint64 id = journal.beginEntry(draft);
        if (!pending)
            journal.finishEntry(id, EntryState::Done, "完成");
        if (!alive)
            execOn(temp.path(), QString("UPDATE entry SET process_start='ended' WHERE id=%1").arg(id));
        return id;
    };
    const qint64 old = add(200);
    const qint64 older = add(400);
    const qint64 recent = add(179);
    const qint64 today = add(0);
    const qint64 pending = add(300, true);
    const qint64 live = add(300, false, true);
    const qint64 sizeBefore = journal.sizeBytes();

    EXPECT_EQ(journal.removeOlderThan(0), 0); // a setting of 0 keeps everything
    EXPECT_EQ(journal.entries().size(), 6u);

    journal.setSettings({true, 180, 5000});
    EXPECT_EQ(journal.applyRetention(), 2);
    EXPECT_EQ(idsOf(journal.entries()), (std::vector<qint64>{live, pending, today, recent}));
    EXPECT_TRUE(journal.beforeRows(old, 0).rows.empty());
    EXPECT_TRUE(journal.beforeRows(older, 0).rows.empty());
    EXPECT_EQ(journal.beforeRows(recent, 0).rows.size(), big.rows.size());
    EXPECT_LT(journal.sizeBytes(), sizeBefore);
    // The pending entry's later updates still find it.
    journal.finishEntry(pending, EntryState::Failed, "中止");

    Journal reopened = Journal::open(temp.path());
    EXPECT_TRUE(reopened.settings().reasonRequired);
    EXPECT_EQ(reopened.settings().retentionDays, 180);
    EXPECT_EQ(reopened.settings().imageLimit, 5000);
}

// Instances that start together on a new journal all open it: one makes
// the schema, the others find it made.
TEST(JournalFile, SeveralInstancesOpenANewJournalAtOnce)
{
    for (int round = 0; round < 10; ++round) {
        TempJournal temp;
        std::latch start(3);
        std::atomic<int> opened {0};
        std::vector<std::thread> instances;
        for (int i = 0; i < 3; ++i)
            instances.emplace_back([&] {
                start.arrive_and_wait();
                try {
                    Journal journal = Journal::open(temp.path());
                    EXPECT_EQ(journal.setAsidePath(), QString());
                    journal.beginEntry(entryWith());
                    ++opened;
                } catch (const JournalError& error) {
                    ADD_FAILURE() << error.what();
                }
            });
        for (std::thread& t : instances)
            t.join();
        EXPECT_EQ(opened, 3);
        EXPECT_EQ(Journal::open(temp.path()).entries().size(), 3u);
    }
}
