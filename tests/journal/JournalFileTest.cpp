#include "JournalTestSupport.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace tessera;
using namespace tessera::journal;
using namespace tessera::test;

namespace {

RowSet typedRows()
{
    RowSet set;
    set.columns = {QStringLiteral("ID"), QStringLiteral("Big"), QStringLiteral("R"), QStringLiteral("Name"),
                   QStringLiteral("At")};
    set.types = {ValueType::Integer, ValueType::Integer, ValueType::Real, ValueType::Text, ValueType::DateTime};
    set.rows = {
        {Value(qint64(1)), Value(std::numeric_limits<qint64>::max()), Value(0.1), Value(QStringLiteral("城北变电站")),
         Value(DateTimeText {QStringLiteral("2026-01-02 03:04:05.123")})},
        {Value(qint64(2)), Value(std::numeric_limits<qint64>::min()), Value(-1e-300), Value(QString()),
         Value(DateTimeText {QStringLiteral("1899-12-30 23:59:59")})},
        {Value(qint64(3)), Value(), Value(), Value(), Value()},
    };
    return set;
}

UnitDraft unitWith(std::optional<RowSet> before)
{
    return {QStringLiteral("Tag20260102"), QStringLiteral("TagID=1"), QStringLiteral("TagID 1"),
            {QStringLiteral("ID")}, std::move(before)};
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// An SQLite database of some other program.
void writeForeignDatabase(const QString& path)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE notes(text); INSERT INTO notes VALUES('keep me')", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// A journal whose table pages are overwritten: the header is still SQLite's.
void writeDamagedJournal(const QString& path)
{
    {
        Journal journal = Journal::open(path);
        for (int i = 0; i < 20; ++i)
            journal.beginEntry(draftOf(QStringLiteral("批量设置"), {unitWith(typedRows())}));
    }
    QByteArray bytes = fileBytes(path);
    ASSERT_GT(bytes.size(), 8192);
    for (qsizetype i = 4096; i < bytes.size(); ++i)
        bytes[i] = char(0x5a ^ (i * 7));
    writeFile(path, bytes);
}

} // namespace

TEST(JournalFile, TypedBeforeImageSurvivesReopening)
{
    TempJournal temp;
    const RowSet rows = typedRows();
    qint64 id = 0;
    {
        Journal journal = Journal::open(temp.path());
        id = journal.beginEntry(draftOf(QStringLiteral("批量设置"), {unitWith(rows)}));
    }
    Journal journal = Journal::open(temp.path());
    const RowSet back = journal.beforeRows(id, 0);
    EXPECT_EQ(back.columns, rows.columns);
    EXPECT_EQ(back.types, rows.types);
    ASSERT_EQ(back.rows.size(), rows.rows.size());
    for (size_t r = 0; r < rows.rows.size(); ++r)
        EXPECT_EQ(encodeRow(back.rows[r]), encodeRow(rows.rows[r])) << rowText(back.rows[r]).toStdString();
    EXPECT_TRUE(journal.setAsidePath().isEmpty());
}

TEST(JournalFile, EntryGoesFromPendingToItsOutcome)
{
    TempJournal temp;
    Journal journal = Journal::open(temp.path());
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    const qint64 id = journal.beginEntry(draftOf(QStringLiteral("遥测置零"), {unitWith(typedRows())}));

    auto pending = journal.entry(id);
    ASSERT_TRUE(pending.has_value());
    EXPECT_EQ(pending->state, EntryState::Pending);
    EXPECT_EQ(pending->commandName, QStringLiteral("遥测置零"));
    EXPECT_EQ(pending->reason, QStringLiteral("补录缺失数据"));
    EXPECT_EQ(pending->login, QStringLiteral("wardenaccount"));
    EXPECT_EQ(pending->osUser, osUserName());
    EXPECT_FALSE(pending->osUser.isEmpty());
    EXPECT_GE(pending->startedLocal, before);
    EXPECT_EQ(pending->startedUtc.toSecsSinceEpoch(), pending->startedLocal.toSecsSinceEpoch());
    EXPECT_FALSE(pending->finishedUtc.isValid());
    ASSERT_EQ(pending->units.size(), 1u);
    EXPECT_EQ(pending->units[0].beforeRows, 3);
    EXPECT_FALSE(pending->units[0].afterRows.has_value());
    EXPECT_EQ(journal.pendingEntries().size(), 1u);

    RowSet after = typedRows();
    after.rows.pop_back();
    journal.recordAfterState(id, 0, after);
    journal.setUnitOutcome(id, 0, QStringLiteral("已完成"), 2);
    journal.finishEntry(id, EntryState::Done, QStringLiteral("置零完成"), {3, 2, 0});

    const auto done = journal.entry(id);
    EXPECT_EQ(done->state, EntryState::Done);
    EXPECT_EQ(done->outcome, QStringLiteral("置零完成"));
    EXPECT_EQ(done->counts.removed, 3);
    EXPECT_EQ(done->counts.written, 2);
    EXPECT_TRUE(done->finishedUtc.isValid());
    EXPECT_EQ(done->units[0].afterRows, 2);
    EXPECT_EQ(done->units[0].afterDigest, digestOf(after.rows));
    EXPECT_EQ(done->units[0].status, QStringLiteral("已完成"));
    const auto kept = journal.afterRows(id, 0);
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(rowLines(*kept), rowLines(after.rows));
    EXPECT_TRUE(journal.pendingEntries().empty());
    EXPECT_THROW(journal.recordAfterState(id, 5, after), JournalError);
}

TEST(JournalFile, LargeAfterStateIsKeptAsDigestOnly)
{
    TempJournal temp;
    Journal journal = Journal::open(temp.path());
    RowSet after;
    after.columns = {QStringLiteral("n")};
    after.types = {ValueType::Integer};
    for (qint64 i = 0; i <= kKeptAfterRows; ++i)
        after.rows.push_back({Value(i)});
    const qint64 id = journal.beginEntry(draftOf(QStringLiteral("批量设置"), {unitWith(RowSet {after.columns, after.types, {}})}));
    journal.recordAfterState(id, 0, after);
    const auto entry = journal.entry(id);
    EXPECT_EQ(entry->units[0].afterRows, kKeptAfterRows + 1);
    EXPECT_FALSE(entry->units[0].afterRowsKept);
    EXPECT_FALSE(journal.afterRows(id, 0).has_value());
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

    auto ids = [](const std::vector<EntrySummary>& list) {
        std::vector<qint64> out;
        for (const auto& e : list)
            out.push_back(e.id);
        return out;
    };
    EXPECT_EQ(ids(journal.entries()), (std::vector<qint64> {d, c, b, a}));
    EXPECT_EQ(ids(journal.entries({today.addDays(-2), today.addDays(-1), {}, 0})), (std::vector<qint64> {c, b}));
    EXPECT_EQ(ids(journal.entries({{}, {}, 1, 0})), (std::vector<qint64> {d, c, a}));
    EXPECT_EQ(ids(journal.entries({{}, {}, 1, 2})), (std::vector<qint64> {d, c}));
    EXPECT_EQ(ids(journal.entries({today, today, 2, 0})), (std::vector<qint64> {}));
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
            Journal journal = Journal::open(temp.path());
            journal.beginEntry(draftOf(QStringLiteral("批量设置"), {unitWith(typedRows())}));
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
    EXPECT_EQ(pending[0].state, EntryState::Pending);
    EXPECT_EQ(entryStateText(pending[0].state), QStringLiteral("未完成"));
    EXPECT_EQ(rowLines(journal.beforeRows(pending[0].id, 0).rows), rowLines(typedRows().rows));
}

TEST(JournalFile, UnusableFileIsSetAsideAndANewJournalStarted)
{
    struct Case {
        const char* what;
        std::function<void(const QString&)> spoil;
    };
    const std::vector<Case> cases {
        {"garbage", [](const QString& path) { writeFile(path, QByteArray(5000, '\x17') + "not a database"); }},
        {"damaged pages", writeDamagedJournal},
        {"another program's database", writeForeignDatabase},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempJournal temp;
        c.spoil(temp.path());
        const QByteArray spoilt = fileBytes(temp.path());

        Journal journal = Journal::open(temp.path());
        ASSERT_FALSE(journal.setAsidePath().isEmpty());
        EXPECT_TRUE(journal.setAsidePath().startsWith(temp.path() + QStringLiteral(".corrupt-")))
            << journal.setAsidePath().toStdString();
        EXPECT_EQ(fileBytes(journal.setAsidePath()), spoilt); // renamed, not deleted
        EXPECT_TRUE(journal.entries().empty());
        const qint64 id = journal.beginEntry(draftOf(QStringLiteral("批量设置"), {unitWith(typedRows())}));
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
    Journal journal = Journal::open(temp.path());
    journal.beginEntry(draftOf(QStringLiteral("批量设置"), {unitWith(typedRows())}));
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther
        | QFileDevice::WriteOther | QFileDevice::ExeGroup | QFileDevice::ExeOther;
    for (const QString& name : temp.files()) {
        const QFileInfo info(QDir(temp.folder()).filePath(name));
        EXPECT_EQ(info.permissions() & others, QFileDevice::Permissions()) << name.toStdString();
    }
    EXPECT_TRUE(temp.files().contains(QStringLiteral("journal.sqlite-wal"))) << temp.files().join(' ').toStdString();
}

TEST(JournalFile, FileThatCannotBeCreatedOrWrittenStopsWithAMessage)
{
    TempJournal temp;
    const QString blocker = QDir(temp.folder()).filePath(QStringLiteral("plain-file"));
    writeFile(blocker, "x");
    const QString folderPath = QDir(temp.folder()).filePath(QStringLiteral("a-folder"));
    QDir().mkpath(folderPath);

    for (const QString& path : {QDir(blocker).filePath(QStringLiteral("journal.sqlite")), folderPath}) {
        try {
            Journal::open(path);
            ADD_FAILURE() << "opened " << path.toStdString();
        } catch (const JournalError& error) {
            EXPECT_TRUE(error.message().startsWith(QStringLiteral("无法打开操作日志"))) << error.what();
            EXPECT_TRUE(error.message().contains(QDir::toNativeSeparators(path))) << error.what();
        }
    }
    EXPECT_EQ(fileBytes(blocker), QByteArray("x"));
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
        journal.beginEntry(draftOf(QStringLiteral("批量设置"), {unitWith(typedRows())}));
        ADD_FAILURE() << "wrote into a locked journal";
    } catch (const JournalError& error) {
        EXPECT_TRUE(error.message().startsWith(QStringLiteral("无法写入操作日志"))) << error.what();
        EXPECT_TRUE(error.message().contains(QStringLiteral("不会修改数据库"))) << error.what();
    }
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    EXPECT_TRUE(journal.entries().empty());
    const qint64 id = journal.beginEntry(draftOf(QStringLiteral("批量设置"), {unitWith(typedRows())}));
    EXPECT_EQ(journal.beforeRows(id, 0).rows.size(), 3u);
}

TEST(JournalFile, JournalOfANewerProgramIsLeftAlone)
{
    TempJournal temp;
    Journal::open(temp.path()).beginEntry(draftOf(QStringLiteral("批量设置")));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(temp.path().toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr);
    sqlite3_close(db);

    EXPECT_THROW(Journal::open(temp.path()), JournalError);
    EXPECT_EQ(temp.files(), QStringList {QStringLiteral("journal.sqlite")});
}

TEST(JournalFile, RetentionRemovesOldEntriesWithTheirImagesOnly)
{
    TempJournal temp;
    Journal journal = Journal::open(temp.path());
    EXPECT_EQ(journal.settings().retentionDays, 180);
    EXPECT_FALSE(journal.settings().reasonRequired);

    RowSet big = typedRows();
    for (int i = 0; i < 2000; ++i)
        big.rows.push_back(big.rows[size_t(i % 3)]);
    auto add = [&](int daysAgo) {
        EntryDraft draft = draftOf(QStringLiteral("批量设置"), {unitWith(big)});
        draft.at = QDateTime::currentDateTime().addDays(-daysAgo);
        return journal.beginEntry(draft);
    };
    const qint64 old = add(200);
    const qint64 older = add(400);
    const qint64 recent = add(179);
    const qint64 today = add(0);
    const qint64 sizeBefore = journal.sizeBytes();
    EXPECT_GT(sizeBefore, 0);

    EXPECT_EQ(journal.removeOlderThan(0), 0); // a setting of 0 keeps everything
    EXPECT_EQ(journal.entries().size(), 4u);

    journal.setSettings({true, 180});
    EXPECT_EQ(journal.applyRetention(), 2);
    std::vector<qint64> left;
    for (const auto& e : journal.entries())
        left.push_back(e.id);
    EXPECT_EQ(left, (std::vector<qint64> {today, recent}));
    EXPECT_TRUE(journal.beforeRows(old, 0).rows.empty());
    EXPECT_TRUE(journal.beforeRows(older, 0).rows.empty());
    EXPECT_EQ(journal.beforeRows(recent, 0).rows.size(), big.rows.size());
    EXPECT_LT(journal.sizeBytes(), sizeBefore);

    Journal reopened = Journal::open(temp.path());
    EXPECT_TRUE(reopened.settings().reasonRequired);
    EXPECT_EQ(reopened.settings().retentionDays, 180);
}
