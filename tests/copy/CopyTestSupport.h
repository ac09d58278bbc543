#pragma once

#include "ArchiveRows.h"
#include "OdbcTestEnvironment.h"
#include "SchemaDdl.h"

#include "copy/CopyRun.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/ResultSet.h"

#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace tessera::test {

// Keeps what a copy reports, for the tests to look at.
class RecordingReport : public copy::CopyReport {
public:
    void setCell(int row, copy::CopyColumn column, const QString& text) override { cells[{row, int(column)}] = text; }
    void message(const QString& text, const QString& caption) override { messages.push_back({text, caption}); }
    void progress(int done, int total, double) override { lastProgress = {done, total}; }
    // The run asks before every table, before every delete and after every
    // row: the count of these checks places a fault exactly.
    bool stopRequested() override
    {
        ++checks;
        if (onCheck)
            onCheck(checks);
        return stopAfterChecks >= 0 && checks > stopAfterChecks;
    }
    // Not counted: how often the run waits for its source depends on timing.
    bool stopRequestedWhileWaiting() override
    {
        return stopWhenWaiting || (stopAfterChecks >= 0 && checks > stopAfterChecks);
    }
    void tableEnded(int row) override { endedRows.push_back(row); }

    QString cell(int row, copy::CopyColumn column) const
    {
        const auto found = cells.find({row, int(column)});
        return found == cells.end() ? QString() : found->second;
    }
    QString status(int row) const { return cell(row, copy::CopyColumn::Status); }
    QStringList statuses(std::initializer_list<int> rows) const
    {
        QStringList texts;
        for (int row : rows)
            texts << status(row);
        return texts;
    }
    QStringList messageTexts() const
    {
        QStringList texts;
        for (const auto& m : messages)
            texts << m.first;
        return texts;
    }

    std::map<std::pair<int, int>, QString> cells;
    std::vector<std::pair<QString, QString>> messages;
    std::pair<int, int> lastProgress;
    std::vector<int> endedRows;
    int stopAfterChecks = -1; // -1: never stop
    int checks = 0;
    bool stopWhenWaiting = false; // the next wait for a source stops the run
    std::function<void(int check)> onCheck; // e.g. kills a connection at a given check
};

// The texts as expected, one by one: equal, or, where the expected one ends
// with ':', starting with it and going on with the database's own words.
inline ::testing::AssertionResult saidExactly(const QStringList& texts, const QStringList& expected)
{
    bool same = texts.size() == expected.size();
    for (qsizetype i = 0; same && i < texts.size(); ++i)
        same = expected[i].endsWith(':') ? texts[i].startsWith(expected[i]) && texts[i].size() > expected[i].size()
                                         : texts[i] == expected[i];
    if (same)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "said\n  " << texts.join("\n  ").toStdString() << "\nexpected\n  "
                                         << expected.join("\n  ").toStdString();
}

// An older-generation SQLite database: the event and summary tables, and the
// calendar-day tables asked for.
inline db::Connection makeOlderDatabase(const QString& path, const QStringList& calendarDayTables = {})
{
    QFile::remove(path);
    db::Connection c = db::Connection::open(sqliteConnectString(path));
    for (const QString& sql : ddl::createSchemaSql(DatabaseKind::SQLite))
        c.execute(sql);
    for (const QString& table : calendarDayTables)
        c.execute(ddl::createTelemetryTableSql(DatabaseKind::SQLite, table, ddl::Generation::Older));
    return c;
}

// Two SQLite databases behind user data sources of their own: older.db with
// the calendar-day tables of `days`, newer.db with those of the same days in
// 2008. The driver manager caches a data source's entries for a while, so the
// names are new for every test.
struct CopyDataSources {
    void makeDataSources(const QTemporaryDir& dir, const QStringList& days)
    {
        const QString suffix = QUuid::createUuid().toString(QUuid::Id128).left(10);
        targetDsn = "CopyNew" + suffix;
        sourceDsn = "CopyOld" + suffix;
        QStringList sourceTables;
        for (const QString& day : days)
            sourceTables << "Tag" + day;
        source = makeOlderDatabase(dir.filePath("older.db"), sourceTables);
        target = makeOlderDatabase(dir.filePath("newer.db"));
        for (const QString& day : days)
            target.execute(ddl::createTelemetryTableSql(DatabaseKind::SQLite, "Tag2008" + day, ddl::Generation::Newer));
        addUserDataSource(targetDsn, "SQLite3", dir.filePath("newer.db"));
        addUserDataSource(sourceDsn, "SQLite3", dir.filePath("older.db"));
    }

    QString targetDsn;
    QString sourceDsn;
    db::Connection source;
    db::Connection target;
};

// Where a copy runs: the test database of a kind on one side, a SQLite file
// of the older generation's schema on the other.
struct Sides {
    DatabaseKind kind;
    bool testDatabaseIsTarget;
    bool myIsam = false; // the target's tables on MariaDB's MyISAM engine, without transactions
};

inline std::string sidesName(const ::testing::TestParamInfo<Sides>& info)
{
    const Sides& s = info.param;
    return (s.testDatabaseIsTarget ? "Into" : "From") + testDatabase(s.kind).name.toStdString()
        + (s.myIsam ? "MyISAM" : "");
}

inline const auto kIntoEveryKind = ::testing::Values(
    Sides{DatabaseKind::SQLite, true}, Sides{DatabaseKind::PostgreSQL, true}, Sides{DatabaseKind::MySql, true});

class CopySidesTest : public ::testing::TestWithParam<Sides> {
protected:
    void SetUp() override
    {
        SKIP_WITHOUT_SERVER(testDatabase(GetParam().kind));
        server = db::Connection::open(testDatabase(GetParam().kind).connectString());
        file.close();
        file = makeOlderDatabase(filePath()); // anew for each case of a table-driven test
        makeScene();
    }
    // The tables and rows of a test suite, made after the connections opened.
    virtual void makeScene() { }
    void TearDown() override
    {
        for (const QString& table : std::as_const(serverTables)) {
            try {
                server.execute(ddl::dropTableSql(table));
            } catch (const db::DbError&) {
            }
        }
        serverTables.clear();
    }

    db::Connection& target() { return GetParam().testDatabaseIsTarget ? server : file; }
    db::Connection& source() { return GetParam().testDatabaseIsTarget ? file : server; }
    DatabaseKind targetKind() const { return GetParam().testDatabaseIsTarget ? GetParam().kind : DatabaseKind::SQLite; }
    DatabaseKind sourceKind() const { return GetParam().testDatabaseIsTarget ? DatabaseKind::SQLite : GetParam().kind; }
    QString filePath() const { return dir.filePath(QStringLiteral("copy.db")); }
    QString connectString(bool targetSide) const
    {
        return targetSide == GetParam().testDatabaseIsTarget ? testDatabase(GetParam().kind).connectString()
                                                             : sqliteConnectString(filePath());
    }

    // Drops the table, and makes it anew with `createSql`; the server's are
    // dropped again at the end.
    void remake(db::Connection& c, const QString& table, const QString& createSql = {})
    {
        c.execute(ddl::dropTableSql(table));
        if (!createSql.isEmpty())
            c.execute(createSql);
        if (&c == &server && !serverTables.contains(table))
            serverTables << table;
    }
    void remakeTable(db::Connection& c, SchemaTable table)
    {
        const TableLayout& layout = tableLayout(table);
        remake(c, layout.name, ddl::createTableSql(kindOf(c), layout, layout.name));
    }
    DatabaseKind kindOf(db::Connection& c) { return &c == &target() ? targetKind() : sourceKind(); }

    // A run from start to end of the dates on connections of its own. `ready`
    // sees the run before it starts; `sourceOptions` go to the source's
    // connect string.
    bool copy(const QStringList& tables, RecordingReport& report, QDate start = QDate(2007, 12, 1),
        QDate end = QDate(2008, 1, 31), const std::function<void(copy::CopyRun&)>& ready = {},
        const QString& sourceOptions = {})
    {
        copy::CopySettings settings;
        copy::CopyRun run(settings, QDateTime(start, QTime(10, 30)), QDateTime(end, QTime(10, 30)), report);
        // A SQLite source steps through its rows, as the program opens it.
        const QString stepping = sourceKind() == DatabaseKind::SQLite ? ";StepAPI=1" : "";
        run.Attach(db::Connection::open(connectString(true)), targetKind(),
            db::Connection::open(connectString(false) + stepping + sourceOptions), sourceKind());
        run.SetJobs(jobs);
        if (ready)
            ready(run);
        return run.CopyTables(tables);
    }

    QTemporaryDir dir;
    db::Connection server;
    db::Connection file;
    QStringList serverTables;
    int jobs = 1; // tables copied at once by copy()
};

} // namespace tessera::test
