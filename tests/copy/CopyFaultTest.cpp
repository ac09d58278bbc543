// Faults injected into a copy between generations: a source table dropped or
// failing mid-read, a value that cannot be read, a server connection killed,
// a stop at each point, a target without transactions. After each, the exact
// rows of the target.
#include "CopyTestSupport.h"
#include "DatabaseTest.h"
#include "FreezingProxy.h"
#include "ScopedEnv.h"

#include "copy/CopyTables.h"
#include "dialect/DriverOptions.h"
#include "schema/Schema.h"

#include <QElapsedTimer>

#include <QScopeGuard>

#include <bit>
#include <ctime>

using namespace tessera;
using namespace tessera::copy;
using namespace tessera::test;

namespace {

constexpr int kEventRow = 378;
constexpr int kSoeRow = 372;
constexpr int kTag0305Row = 66;
constexpr int kTag0304Row = 65;
const QString kNone; // the status of a table the run did not reach
// The range of the scene's runs: both years' 5 March and the events of January 2008.
const QDate kFirstDay(2007, 3, 1);
const QDate kLastDay(2008, 3, 31);

// The rows the tests look at, each as "date-time|...": the target's Event and
// SOE, and its telemetry tables of 5 March 2007 and 2008.
struct TargetRows {
    QStringList events, soe, tag2007, tag2008;
};

class CopyFaultTest : public CopySidesTest {
protected:
    void makeScene() override
    {
        for (SchemaTable table : {SchemaTable::Event, SchemaTable::SOE}) {
            remakeTable(target(), table);
            remakeTable(source(), table);
        }
        for (const char* table : {"Tag0305", "Tag0304"})
            remake(source(), table, ddl::createTelemetryTableSql(sourceKind(), table, ddl::Generation::Older));
        for (const char* table : {"TAG20070305", "TAG20080305"})
            remake(target(), table, ddl::createTelemetryTableSql(targetKind(), table, ddl::Generation::Newer));
        if (GetParam().myIsam)
            for (const char* table : {"Event", "SOE", "TAG20070305", "TAG20080305"})
                target().execute(QString("ALTER TABLE %1 ENGINE=MyISAM").arg(table));

        // The target before the run: rows inside the copied ranges and outside them.
        addEvent(target(), "2007-02-28", "07:00:00", "old before the range");
        addEvent(target(), "2008-01-10", "07:00:00", "old in the range");
        addEvent(target(), "2008-01-10", "07:00:00", "old soe", "SOE");
        addSample(target(), "TAG20070305", "2007-03-05 06:00:00", 99, 9.5);
        addSample(target(), "TAG20080305", "2008-03-05 06:00:00", 99, 9.5);
        before = targetRows();

        // The source: two events and an SOE of the range, two samples of each year.
        addEvent(source(), "2008-01-02", "01:00:00", "a");
        addEvent(source(), "2008-01-03", "02:00:00", "b");
        addEvent(source(), "2008-01-04", "03:00:00", "new soe", "SOE");
        for (int year : {2007, 2008}) {
            addSample(source(), "Tag0305", QString("%1-03-05 01:00:00").arg(year), 1, 1.5);
            addSample(source(), "Tag0305", QString("%1-03-05 02:00:00").arg(year), 2, 2.5);
        }
        // What a complete copy of all of it gives.
        copied.events = QStringList{"2007-02-28 00:00:00|07:00:00|old before the range",
                                    "2008-01-02 00:00:00|01:00:00|a", "2008-01-03 00:00:00|02:00:00|b"};
        copied.soe = QStringList{"2008-01-04 00:00:00|03:00:00|new soe"};
        copied.tag2007 = QStringList{"2007-03-05 01:00:00|1|1.5", "2007-03-05 02:00:00|2|2.5"};
        copied.tag2008 = QStringList{"2008-03-05 01:00:00|1|1.5", "2008-03-05 02:00:00|2|2.5"};
    }

    void addEvent(db::Connection& c, const QString& date, const QString& time, const QString& contents,
                  const QString& table = "Event")
    {
        const QString sql = table == "Event"
            ? "INSERT INTO Event(AType,ADate,ATime,MiniSecond,Contents,RunSystem,Operator,UserNote) "
              "VALUES(3,%1,%2,120,'%3','SCADA','op','')"
            : "INSERT INTO SOE(ADate,ATime,MiniSecond,StationName,SwitchName,LineName,SOEType,SOEReason,Status,"
              "nValue,Operator) VALUES(%1,%2,8,'%3','','','','','',1,'')";
        c.execute(sql.arg(FormatDateLiteral(kindOf(c), date), FormatDateLiteral(kindOf(c), time), contents));
    }
    void addSample(db::Connection& c, const QString& table, const QString& at, int tag, double value)
    {
        insertSample(c, kindOf(c), table, at, tag, value);
    }

    // The rows as the target holds them now.
    TargetRows targetRows()
    {
        auto moment = [](db::ResultSet& rs, int column) {
            const auto value = rs.dateTime(column);
            return value ? value->toString("yyyy-MM-dd hh:mm:ss") : "NULL:" + rs.string(column);
        };
        auto events = [&](const QString& table, const QString& text) {
            QStringList rows;
            db::ResultSet rs =
                target().query(QString("SELECT ADate,ATime,%1 FROM %2 ORDER BY ADate,ATime,%1").arg(text, table));
            while (rs.next())
                rows << moment(rs, 0) + "|" + moment(rs, 1).mid(11) + "|" + rs.string(2);
            return rows;
        };
        auto samples = [&](const QString& table) {
            QStringList rows;
            db::ResultSet rs = target().query("SELECT ATime,TagID,nValue FROM " + table + " ORDER BY ATime,TagID");
            while (rs.next())
                rows << moment(rs, 0) + "|" + rs.string(1) + "|" + QString::number(rs.number(2).value);
            return rows;
        };
        return {events("Event", "Contents"), events("SOE", "StationName"), samples("TAG20070305"),
                samples("TAG20080305")};
    }

    // The target holds the copied rows of the tables said to be copied and its
    // own rows of the others; every fault here comes before or during 2008's
    // samples, so those are always as they were.
    void expectTarget(bool eventsCopied, bool soeCopied, bool tag2007Copied)
    {
        const TargetRows now = targetRows();
        EXPECT_EQ(now.events, eventsCopied ? copied.events : before.events);
        EXPECT_EQ(now.soe, soeCopied ? copied.soe : before.soe);
        EXPECT_EQ(now.tag2007, tag2007Copied ? copied.tag2007 : before.tag2007);
        EXPECT_EQ(now.tag2008, before.tag2008);
    }

    TargetRows before;
    TargetRows copied;
};

// A source table the copy must not read to the end, as seen at its start
// (missing) or in the middle (a row that cannot be read, a row whose reading
// fails). Only a SQLite source stores what a date column cannot hold.
class CopySourceFaultTest : public CopyFaultTest {};

TEST_P(CopySourceFaultTest, ASourceThatFailsLeavesTheTargetAsItWas)
{
    // The bad row is the third of its unit, after two written ones.
    const QString overflow = "abs(-9223372036854775808)"; // SQLite's integer overflow, raised while stepping
    struct Case {
        const char* name;
        bool telemetry;
        bool beforeTheFirstRow; // the fault shows before anything could be written
        QStringList sql;        // on the SQLite source
        QString message;
    };
    const std::vector<Case> cases = {
        {"event table dropped", false, true, {"DROP TABLE Event"}, "处理Event表出错:"},
        {"unreadable date", false, false,
            {"INSERT INTO Event VALUES(3,'2008-01-32 00:00:00','1899-12-30 04:00:00',0,'c','','','')"},
            "处理Event表出错:Event表第3行的ADate无法识别:“2008-01-32 00:00:00”"},
        {"unreadable time", false, false,
            {"INSERT INTO Event VALUES(3,'2008-01-05 00:00:00','1899-12-30 25:61:00',0,'c','','','')"},
            "处理Event表出错:Event表第3行的ATime无法识别:“1899-12-30 25:61:00”"},
        {"unreadable first row", false, true,
            {"DELETE FROM Event", "INSERT INTO Event VALUES(3,'2008-01-05 00:00:00','8 Uhr',0,'c','','','')"},
            "处理Event表出错:Event表第1行的ATime无法识别:“8 Uhr”"},
        {"event rows failing mid-read", false, false,
            {"INSERT INTO Event VALUES(3,'2008-01-05 00:00:00','1899-12-30 04:00:00',0,'boom','','','')",
                "ALTER TABLE Event RENAME TO EventRows",
                "CREATE VIEW Event AS SELECT AType,ADate,ATime,CASE WHEN Contents='boom' THEN " + overflow
                    + " ELSE MiniSecond END AS MiniSecond,Contents,RunSystem,Operator,UserNote FROM EventRows"},
            "处理Event表出错:"},
        {"calendar-day table dropped", true, true, {"DROP TABLE Tag0305"}, "查询数据出错,出错信息:"},
        {"unreadable sample time", true, false, {"INSERT INTO Tag0305 VALUES('2008-03-05 24:00:00',3,1,3.5,0)"},
            "查询数据出错,出错信息:Tag0305表第3行的ATime无法识别:“2008-03-05 24:00:00”"},
        {"samples failing mid-read", true, false,
            {"INSERT INTO Tag0305 VALUES('2008-03-05 03:00:00',3,1,3.5,0)", "ALTER TABLE Tag0305 RENAME TO TagRows",
                // The fault in an integer column: nValue keeps the REAL type it is
                // declared with, which a computed column would not have.
                "CREATE VIEW Tag0305 AS SELECT ATime,CASE WHEN TagID=3 THEN " + overflow
                    + " ELSE TagID END AS TagID,DataType,nValue,nValueChange FROM TagRows"},
            "查询数据出错,出错信息:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        for (const QString& sql : c.sql)
            source().execute(sql);

        RecordingReport report;
        EXPECT_TRUE(copy(c.telemetry ? QStringList{"Tag0305"} : QStringList{"SOE", "Event"}, report, kFirstDay, kLastDay));
        EXPECT_TRUE(saidExactly(report.messageTexts(), {c.message}));
        // After a failed event table the run goes on with SOE.
        EXPECT_EQ(report.statuses({kEventRow, kSoeRow, kTag0305Row}),
            (c.telemetry ? QStringList{kNone, kNone, kStatusFailed} : QStringList{kStatusFailed, kStatusDone, kNone}));
        // A fault in 2008's rows comes after 2007 was copied; one before the first row leaves 2007 as it was.
        // So on a target without transactions too: it reads a unit whole before its delete.
        expectTarget(false, !c.telemetry, c.telemetry && !c.beforeTheFirstRow);
        TearDown();
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, CopySourceFaultTest,
                         ::testing::Values(Sides{DatabaseKind::SQLite, true}, Sides{DatabaseKind::PostgreSQL, true},
                                           Sides{DatabaseKind::MySql, true}, Sides{DatabaseKind::MySql, true, true}),
                         sidesName);

// Copies into the test database of every kind.
class CopyIntoTest : public CopyFaultTest {};

// "停止" (Ctrl+C for tessera-copy) at each point of a run: the table being
// copied is undone, no table after it is touched.
TEST_P(CopyIntoTest, AStopUndoesTheCurrentTableAndTouchesNoOther)
{
    // The run asks: before Event (1), before its delete (2), after its rows
    // (3, 4); before SOE (5), its delete (6), its row (7); before Tag0305 (8),
    // the delete of 2007 (9), its rows (10, 11), the delete of 2008 (12), its
    // rows (13, 14).
    struct Case {
        const char* name;
        int stopAt;
        bool eventsCopied, soeCopied, tag2007Copied;
        QStringList statuses; // of Event, SOE and Tag0305
    };
    const std::vector<Case> cases = {
        {"before the first table", 1, false, false, false, {kNone, kNone, kNone}},
        {"before the first delete", 2, false, false, false, {kStatusFailed, kNone, kNone}},
        {"between rows", 3, false, false, false, {kStatusFailed, kNone, kNone}},
        {"after the last row", 4, false, false, false, {kStatusFailed, kNone, kNone}},
        {"before the second table", 5, true, false, false, {kStatusDone, kNone, kNone}},
        {"between the years of a day", 12, true, true, true, {kStatusDone, kStatusDone, kStatusFailed}},
        {"between the rows of a year", 13, true, true, true, {kStatusDone, kStatusDone, kStatusFailed}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        RecordingReport report;
        report.stopAfterChecks = c.stopAt - 1;
        EXPECT_FALSE(copy({"Tag0305", "SOE", "Event"}, report, kFirstDay, kLastDay));
        EXPECT_EQ(report.checks, c.stopAt);
        EXPECT_EQ(report.messageTexts(), QStringList());
        EXPECT_EQ(report.statuses({kEventRow, kSoeRow, kTag0305Row}), c.statuses);
        expectTarget(c.eventsCopied, c.soeCopied, c.tag2007Copied);
        TearDown();
    }
}

// A stop while tables are copied at once: each table being copied is undone
// or, where its last unit had committed, done; none is left half-written.
TEST_P(CopyIntoTest, AStopInAParallelRunLeavesEveryTableDoneOrAsItWas)
{
    for (int stopAt : {1, 2, 3, 5, 8}) {
        SCOPED_TRACE(stopAt);
        SetUp();
        jobs = 2;
        RecordingReport report;
        report.stopAfterChecks = stopAt - 1;
        const bool completed = copy({"Tag0305", "SOE", "Event"}, report, kFirstDay, kLastDay);
        EXPECT_EQ(completed, report.checks < stopAt); // stopped exactly when asked to
        EXPECT_EQ(report.messageTexts(), QStringList());
        const TargetRows now = targetRows();
        const bool eventsDone = report.status(kEventRow) == kStatusDone;
        const bool soeDone = report.status(kSoeRow) == kStatusDone;
        const bool tagDone = report.status(kTag0305Row) == kStatusDone;
        EXPECT_EQ(now.events, eventsDone ? copied.events : before.events);
        EXPECT_EQ(now.soe, soeDone ? copied.soe : before.soe);
        EXPECT_EQ(now.tag2008, tagDone ? copied.tag2008 : before.tag2008);
        // 2007's unit may have committed before the stop came.
        EXPECT_TRUE(now.tag2007 == copied.tag2007 || (!tagDone && now.tag2007 == before.tag2007));
        EXPECT_EQ(completed, eventsDone && soeDone && tagDone);
        TearDown();
    }
}

TEST_P(CopyIntoTest, DaysEndAtTheNextMidnightNotAtTheirLastWholeSecond)
{
    // A target kind that keeps fractions of a second gets a sample in the
    // last second of the day (MariaDB only with a column declared so).
    if (targetKind() == DatabaseKind::MySql)
        target().execute("ALTER TABLE TAG20080305 MODIFY ATime DATETIME(3)");
    target().execute("INSERT INTO TAG20080305 VALUES('2008-03-05 23:59:59.5',98,1,9.5,0)");
    // Late on the last day of the event range, and the first instant after it.
    addEvent(target(), "2008-03-31 06:00:00", "06:00:00", "old late on the last day");
    addEvent(target(), "2008-04-01", "06:00:00", "old after the range");
    // The SQLite source keeps its instants as text, fractions as written.
    source().execute("INSERT INTO Event VALUES(3,'2008-03-31 08:00:00','1899-12-30 08:00:00',0,'late','','','')");
    source().execute("INSERT INTO Event VALUES(3,'2008-04-01 00:00:00','1899-12-30 08:00:00',0,'next month','','','')");
    source().execute("DELETE FROM Tag0305 WHERE ATime LIKE '2008%'");
    for (const char* sample : {"'2008-03-05 00:00:00',3,1,3", "'2008-03-05 23:59:59.5',1,1,1",
                               "'2008-03-05 23:59:59.000',2,1,2", "'2008-03-06 00:00:00',4,1,4"})
        source().execute(QString("INSERT INTO Tag0305 VALUES(%1,0)").arg(sample));

    RecordingReport report;
    EXPECT_TRUE(copy({"Tag0305", "Event"}, report, kFirstDay, kLastDay));
    EXPECT_EQ(report.messageTexts(), QStringList());
    const TargetRows now = targetRows();
    EXPECT_EQ(now.events, copied.events + QStringList({"2008-03-31 00:00:00|08:00:00|late",
                                                       "2008-04-01 00:00:00|06:00:00|old after the range"}));
    EXPECT_EQ(now.tag2008, (QStringList{"2008-03-05 00:00:00|3|3", "2008-03-05 23:59:59|1|1",
                                        "2008-03-05 23:59:59|2|2"}));
    EXPECT_EQ(report.cell(kTag0305Row, CopyColumn::Count), "5"); // two of 2007, three of 2008
}

TEST_P(CopyIntoTest, DatesAreWallClockValuesAlsoWhereLocalMidnightDoesNotExist)
{
    // Clocks there skip the midnight of 4 November 2018; Qt makes such a
    // local time invalid, or moves it on by the gap.
    const auto rereadZone = qScopeGuard([] { tzset(); }); // runs after the zone below is restored
    const ScopedEnv zone("TZ", "America/Sao_Paulo");
    tzset();
    const QDateTime localMidnight(QDate(2018, 11, 4), QTime(0, 0));
    ASSERT_TRUE(!localMidnight.isValid() || localMidnight.time() != QTime(0, 0)) << "the zone has no such gap";
    source().execute("INSERT INTO Event VALUES(3,'2018-11-04 00:00:00','1899-12-30 00:30:00',0,'gap day','','','')");
    source().execute("INSERT INTO SOE VALUES('2018-11-04 00:00:00','1899-12-30 00:00:00',1,'gap soe','','','','',"
                     "'',1,'')");

    RecordingReport report;
    EXPECT_TRUE(copy({"SOE", "Event"}, report, QDate(2018, 11, 4), QDate(2018, 11, 4)));
    EXPECT_EQ(report.messageTexts(), QStringList());
    const TargetRows now = targetRows();
    EXPECT_EQ(now.events, before.events + QStringList("2018-11-04 00:00:00|00:30:00|gap day"));
    EXPECT_EQ(now.soe, before.soe + QStringList("2018-11-04 00:00:00|00:00:00|gap soe"));
}

INSTANTIATE_TEST_SUITE_P(Targets, CopyIntoTest, kIntoEveryKind, sidesName);

// A server session killed in the middle of a run, on either side.
class CopyLostConnectionTest : public CopyFaultTest {};

TEST_P(CopyLostConnectionTest, ALostConnectionEndsTheRunWithOneMessageAndUndoesTheTable)
{
    const bool targetSide = GetParam().testDatabaseIsTarget;
    // The checks as in the stop test: 1 before Event, 2 before its delete, 3
    // after its first row, 13 after the first sample of 2008.
    struct Case {
        const char* name;
        int killAt;
        int rows; // source events in all, so that a streaming source is still sending
        bool eventsCopied, soeCopied, tag2007Copied;
        QStringList statuses; // of Event, SOE, Tag0305 and Tag0304
        // A source has read all of a small unit before its delete, so it
        // notices a loss there only at its next unit.
        bool targetOnly;
        // Mid-read needs a source that sends rows as they are read: PostgreSQL
        // with declare/fetch; the MariaDB driver here (3.1.15) reads the
        // whole result at its open.
        bool streamingSource;
    };
    const QStringList eventFailed{kStatusFailed, kNone, kNone, kNone};
    const std::vector<Case> cases = {
        {"before a table", 1, 2, false, false, false, eventFailed, false, false},
        {"before the delete", 2, 2, false, false, false, eventFailed, true, false},
        // More rows than the copy reads ahead of its writer, so the source is still sending.
        {"between event rows", 3, 20000, false, false, false, eventFailed, false, true},
        {"between samples", 13, 2, true, true, true, {kStatusDone, kStatusDone, kStatusFailed, kNone}, true, false},
    };
    for (const Case& c : cases) {
        if (!targetSide && (c.targetOnly || (c.streamingSource && sourceKind() != DatabaseKind::PostgreSQL)))
            continue;
        SCOPED_TRACE(c.name);
        SetUp();
        if (c.rows > 2)
            source().execute(QString("WITH RECURSIVE n(i) AS (SELECT 3 UNION ALL SELECT i+1 FROM n WHERE i<%1) "
                                     "INSERT INTO Event SELECT 3,%2,%3,i,'many','','','' FROM n")
                                 .arg(c.rows)
                                 .arg(FormatDateLiteral(sourceKind(), "2008-01-05"),
                                      FormatDateLiteral(sourceKind(), "05:00:00")));
        RecordingReport report;
        QString victim;
        report.onCheck = [&](int check) {
            if (check == c.killAt)
                endServerSession(GetParam().kind, victim);
        };
        // A source that sends its rows as they are read, not all at its open.
        const QString streaming = sourceKind() == DatabaseKind::PostgreSQL ? ";UseDeclareFetch=1;Fetch=100" : "";
        EXPECT_FALSE(copy({"Tag0304", "Tag0305", "SOE", "Event"}, report, kFirstDay, kLastDay,
                          [&](CopyRun& run) {
                              victim = serverSessionId(targetSide ? run.Target() : run.Source(), GetParam().kind);
                          },
                          streaming));

        EXPECT_TRUE(saidExactly(report.messageTexts(),
            {QString("与数据源%1的连接已断开,复制中止!原因:").arg(testDatabase(GetParam().kind).dsn)}));
        // Nothing after the table that lost its connection.
        EXPECT_EQ(report.statuses({kEventRow, kSoeRow, kTag0305Row, kTag0304Row}), c.statuses);
        expectTarget(c.eventsCopied, c.soeCopied, c.tag2007Copied);
        TearDown();
    }
}

// The server going away while tables are copied at once: one message for
// the run, however many lanes lost their connections.
TEST_P(CopyLostConnectionTest, AServerOutageDuringAParallelRunIsToldOnce)
{
    if (!GetParam().testDatabaseIsTarget)
        GTEST_SKIP() << "one direction shows it";
    jobs = 2;
    // Enough rows in both event tables that both lanes are writing when it happens.
    for (const char* table : {"Event", "SOE"})
        source().execute(QString("INSERT INTO %1 WITH RECURSIVE n(i) AS (SELECT 3 UNION ALL SELECT i+1 FROM n WHERE "
                                 "i<40000) SELECT %2 FROM n")
                             .arg(table, QString(table) == "Event"
                                             ? "3,'2008-01-05 00:00:00','1899-12-30 05:00:00',i,'many','','',''"
                                             : "'2008-01-05 00:00:00','1899-12-30 05:00:00',i,'many','','','','','',1,''"));
    const bool pg = GetParam().kind == DatabaseKind::PostgreSQL;
    const QString spared = serverSessionId(server, GetParam().kind);
    RecordingReport report;
    report.onCheck = [&](int check) {
        if (check != 2)
            return;
        // Every session of the database but the test's own and the killer's.
        db::Connection killer = db::Connection::open(testDatabase(GetParam().kind).connectString());
        const QString others = QString(pg ? "SELECT pid FROM pg_stat_activity WHERE datname=current_database() AND "
                                            "pid NOT IN (pg_backend_pid(),%1)"
                                          : "SELECT ID FROM information_schema.PROCESSLIST WHERE DB=DATABASE() AND "
                                            "ID NOT IN (CONNECTION_ID(),%1)")
                                   .arg(spared);
        for (const QString& victim : rowsOf(killer, others))
            endServerSession(GetParam().kind, victim);
    };
    EXPECT_FALSE(copy({"Tag0304", "Tag0305", "SOE", "Event"}, report, kFirstDay, kLastDay));
    EXPECT_TRUE(saidExactly(report.messageTexts(),
        {QString("与数据源%1的连接已断开,复制中止!原因:").arg(testDatabase(GetParam().kind).dsn)}));
}

INSTANTIATE_TEST_SUITE_P(Servers, CopyLostConnectionTest,
                         ::testing::Values(Sides{DatabaseKind::PostgreSQL, true}, Sides{DatabaseKind::MySql, true},
                                           Sides{DatabaseKind::PostgreSQL, false}, Sides{DatabaseKind::MySql, false}),
                         sidesName);

// A source server that stops answering without closing its connection (a
// cable pulled, packets dropped), seen through a proxy that stops
// forwarding: the run ends as a lost connection after the stall limit (here
// twice a one-second query time-out), or at once when stopped while it waits;
// the table is undone either way.
class CopyStallTest : public CopyFaultTest {};

TEST_P(CopyStallTest, ASourceThatStopsAnsweringEndsTheRunAndTheTableIsUndone)
{
    struct Case {
        const char* name;
        int freezeAt; // the check of the stop test's numbering: 1 before Event, 3 after its first row
        bool stop;    // the user stops while the run waits
    };
    std::vector<Case> cases = {{"before the query", 1, false}, {"stopped while waiting", 1, true}};
    // Only a source that sends its rows as they are read can stop in the middle.
    if (sourceKind() == DatabaseKind::PostgreSQL)
        cases.push_back({"in the middle of the rows", 3, false});
    const TestDatabase& server = testDatabase(GetParam().kind);
    const bool pg = sourceKind() == DatabaseKind::PostgreSQL;
    const QString prefix = pg ? "TESSERA_TEST_PG" : "TESSERA_TEST_MARIADB";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        // More rows than the copy reads ahead, so that a streaming source is still sending.
        source().execute(QString("INSERT INTO Event WITH RECURSIVE n(i) AS (SELECT 3 UNION ALL SELECT i+1 FROM n "
                                 "WHERE i<%3) SELECT 3,%1,%2,i,'many','','','' FROM n")
                             .arg(FormatDateLiteral(sourceKind(), "2008-01-05"), FormatDateLiteral(sourceKind(), "05:00:00"))
                             .arg(pg ? 20000 : 900));
        {
            FreezingProxy proxy(quint16(qEnvironmentVariableIntValue(qPrintable(prefix + "_PORT"))));
            const QString viaProxy = QString("Driver=%1;%2=127.0.0.1;Port=%3;Database=%4;UID=%5;PWD=%6;%7")
                                         .arg(pg ? "PostgreSQL Unicode" : "MariaDB Unicode", pg ? "Servername" : "Server")
                                         .arg(proxy.port())
                                         .arg(qEnvironmentVariable(qPrintable(prefix + "_DATABASE")), server.user,
                                              server.password, driverOptionsFor(sourceKind(), ConnectionRole::CopySource));
            RecordingReport report;
            report.onCheck = [&](int check) {
                if (check == c.freezeAt) {
                    proxy.freeze();
                    report.stopWhenWaiting = c.stop;
                }
            };
            CopySettings settings;
            CopyRun run(settings, QDateTime(kFirstDay, QTime()), QDateTime(kLastDay, QTime()), report);
            run.Attach(db::Connection::open(connectString(true)), targetKind(),
                       db::Connection::open(viaProxy, db::ConnectOptions{30, 1}), sourceKind());
            QElapsedTimer clock;
            clock.start();
            EXPECT_FALSE(run.CopyTables({"SOE", "Event"}));
            EXPECT_LT(clock.elapsed(), c.stop ? 1500 : 15000);
            EXPECT_TRUE(saidExactly(report.messageTexts(),
                                    c.stop ? QStringList() : QStringList{"与数据源(旧版本)的连接已断开,复制中止!原因:"}));
            EXPECT_EQ(report.statuses({kEventRow, kSoeRow}), (QStringList{kStatusFailed, kNone}));
            expectTarget(false, false, false);
        } // the proxy closes the frozen connections: the server ends their sessions
        TearDown();
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, CopyStallTest,
                         ::testing::Values(Sides{DatabaseKind::PostgreSQL, false}, Sides{DatabaseKind::MySql, false}),
                         sidesName);

// A target table without transactions (MariaDB's MyISAM): what is written
// stays, so every row is written once, and a refused row is not replayed.
class CopyMyIsamTest : public CopyFaultTest {};

TEST_P(CopyMyIsamTest, ARefusedRowLeavesEveryOtherRowWrittenOnce)
{
    target().execute("ALTER TABLE Event ADD CONSTRAINT refuse_bad CHECK (Contents <> 'bad')");
    target().execute("ALTER TABLE TAG20080305 ADD CONSTRAINT refuse_13 CHECK (TagID <> 13)");
    addEvent(source(), "2008-01-05", "04:00:00", "bad");
    addEvent(source(), "2008-01-06", "05:00:00", "c");
    addSample(source(), "Tag0305", "2008-03-05 03:00:00", 13, 13.5);
    addSample(source(), "Tag0305", "2008-03-05 04:00:00", 4, 4.5);

    RecordingReport report;
    EXPECT_TRUE(copy({"Tag0305", "Event"}, report, kFirstDay, kLastDay));
    EXPECT_TRUE(saidExactly(report.messageTexts(), {"不能处理Event据表!", "插入数据出错,出错信息:"}));
    EXPECT_EQ(report.statuses({kEventRow, kTag0305Row}), QStringList(2, kStatusFailed));

    const TargetRows now = targetRows();
    // The event table ends at the refused row; the day goes on after it.
    EXPECT_EQ(now.events, copied.events);
    EXPECT_EQ(now.tag2007, copied.tag2007);
    EXPECT_EQ(now.tag2008, copied.tag2008 + QStringList("2008-03-05 04:00:00|4|4.5"));
}

// A stop at any point of a run: every table is complete or as it was, never
// partly written, though nothing can roll back.
TEST_P(CopyMyIsamTest, AStopLeavesEveryTableCompleteOrAsItWas)
{
    // Before a table, while its rows are read, before its delete, after it.
    for (int stopAt : {1, 2, 4, 5, 7, 8, 10, 12}) {
        SCOPED_TRACE(stopAt);
        SetUp();
        RecordingReport report;
        report.stopAfterChecks = stopAt - 1;
        copy({"Tag0305", "SOE", "Event"}, report, kFirstDay, kLastDay);
        const TargetRows now = targetRows();
        EXPECT_TRUE(now.events == copied.events || now.events == before.events) << now.events.join(';').toStdString();
        EXPECT_TRUE(now.soe == copied.soe || now.soe == before.soe);
        EXPECT_TRUE(now.tag2007 == copied.tag2007 || now.tag2007 == before.tag2007);
        EXPECT_TRUE(now.tag2008 == copied.tag2008 || now.tag2008 == before.tag2008);
        TearDown();
    }
}

// What fails outside the databases (here: the temporary file a large unit
// is read into) ends the run with a message, in a lane too, never the
// program, and leaves the table as it was.
TEST_P(CopyMyIsamTest, AFailureOutsideTheDatabasesEndsTheRunWithAMessage)
{
    source().execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<25000) "
                     "INSERT INTO Event SELECT 3,'2008-01-05 00:00:00','1899-12-30 05:00:00',i,'many','','','' FROM n");
    const ScopedEnv noTemporaryFolder("TMPDIR", dir.filePath("no/such/folder").toLocal8Bit());
    for (int tablesAtOnce : {1, 2}) {
        SCOPED_TRACE(tablesAtOnce);
        jobs = tablesAtOnce;
        RecordingReport report;
        EXPECT_FALSE(copy({"SOE", "Event"}, report, kFirstDay, kLastDay));
        EXPECT_TRUE(saidExactly(report.messageTexts(), {"复制Event时出错,复制中止!原因:"}));
        EXPECT_EQ(report.status(kEventRow), kStatusFailed);
        EXPECT_EQ(targetRows().events, before.events);
    }
}

INSTANTIATE_TEST_SUITE_P(MariaDB, CopyMyIsamTest, ::testing::Values(Sides{DatabaseKind::MySql, true, true}),
                         sidesName);

// Reals as the source stores them, not as its driver displays them.
class CopyValueTest : public CopyFaultTest {};

TEST_P(CopyValueTest, ValuesAndMomentsOfAServerArriveBitForBit)
{
    // Each needs more digits than a REAL's usual display of six or seven.
    const std::vector<std::pair<float, double>> values = {
        {16777218.0f, 1234567.891234}, {123456.79f, -98765.432109}, {-7654321.5f, 0.000001}};
    source().execute("DELETE FROM Tag0305");
    for (size_t i = 0; i < values.size(); ++i)
        source().execute(QString("INSERT INTO Tag0305 VALUES(%1,%2,1,%3,%4)")
                             .arg(FormatDateLiteral(sourceKind(), QString("2008-03-05 0%1:00:00").arg(i)))
                             .arg(i + 1)
                             .arg(double(values[i].first), 0, 'g', 9)
                             .arg(values[i].second, 0, 'g', 17));

    RecordingReport report;
    EXPECT_TRUE(copy({"Tag0305", "Event"}, report, kFirstDay, kLastDay));
    EXPECT_EQ(report.messageTexts(), QStringList());
    // The server's timestamps, read as such, are the same moments in the target.
    EXPECT_EQ(targetRows().events, copied.events);
    db::ResultSet rs = target().query(
        "SELECT nValue,nValueChange,TagID,DataType,ATime FROM TAG20080305 WHERE TagID<>99 ORDER BY TagID");
    rs.readFloatsAsNumbers();
    int tag = 0;
    for (const auto& [value, change] : values) {
        ASSERT_TRUE(rs.next());
        EXPECT_EQ(std::bit_cast<quint32>(float(rs.number(0).value)), std::bit_cast<quint32>(value)) << value;
        EXPECT_EQ(rs.number(1).value, change);
        EXPECT_EQ(rs.string(2), QString::number(++tag)); // integers read as numbers arrive as they are
        EXPECT_EQ(rs.string(3), "1");
        EXPECT_EQ(rs.dateTime(4), QDateTime(QDate(2008, 3, 5), QTime(tag - 1, 0), Qt::UTC));
    }
    EXPECT_FALSE(rs.next());
}

// The numeric column types of the field's archives (Oracle NUMBER, SQL Server
// decimal and money among them): every value arrives as the nearest double of
// what the source holds, never as 0; a text that is no number fails its day.
TEST_P(CopyValueTest, FieldColumnTypesArriveWithTheirValues)
{
    struct Case {
        QString type; // of nValue and nValueChange
        QStringList values;
        bool onlyOn = false; // the type of one kind only: `kindOnly`
        DatabaseKind kindOnly = DatabaseKind::SQLite;
    };
    const std::vector<Case> cases = {
        {"DECIMAL(12,3)", {"1279.125", "-0.001", "99999.999", "1279.123"}},
        // At most 15 significant digits: the SQLite driver reads no more of a real.
        {"NUMERIC(18,6)", {"0.1", "123456789.123456"}},
        {"INTEGER", {"42", "-7"}},
        {"BIGINT", {"123456789012345"}},
        {"SMALLINT", {"12"}},
        {sourceKind() == DatabaseKind::PostgreSQL ? "DOUBLE PRECISION" : "FLOAT(53)", {"0.1", "1234.56789"}},
        {"money", {"1279.13", "-3.5"}, true, DatabaseKind::PostgreSQL},
    };
    const QString timeType = sourceKind() == DatabaseKind::PostgreSQL ? "TIMESTAMP" : "DATETIME";
    for (const Case& c : cases) {
        if (c.onlyOn && c.kindOnly != sourceKind())
            continue;
        SCOPED_TRACE(c.type.toStdString());
        remake(source(), "Tag0305",
            QString("CREATE TABLE Tag0305 (ATime %1, TagID INTEGER, DataType INTEGER, nValue %2, nValueChange %2)")
                .arg(timeType, c.type));
        for (int i = 0; i < c.values.size(); ++i)
            source().execute(QString("INSERT INTO Tag0305 VALUES(%1,%2,1,%3,%3)")
                                 .arg(FormatDateLiteral(sourceKind(), QString("2008-03-05 0%1:00:00").arg(i)))
                                 .arg(i + 1)
                                 .arg(c.values[i]));
        RecordingReport report;
        EXPECT_TRUE(copy({"Tag0305"}, report, kFirstDay, kLastDay));
        EXPECT_EQ(report.messageTexts(), QStringList());
        db::ResultSet rs = target().query("SELECT nValue,nValueChange FROM TAG20080305 WHERE TagID<>99 ORDER BY TagID");
        rs.readFloatsAsNumbers();
        for (const QString& value : c.values) {
            ASSERT_TRUE(rs.next());
            EXPECT_EQ(rs.number(0).value, value.toDouble()) << value.toStdString();
            EXPECT_EQ(rs.number(1).value, value.toDouble()) << value.toStdString();
        }
        EXPECT_FALSE(rs.next());
    }
    if (sourceKind() == DatabaseKind::SQLite) {
        // SQLite keeps what a column's type cannot hold as text.
        source().execute("INSERT INTO Tag0305 VALUES('2008-03-05 09:00:00',9,1,1,'n/a')");
        RecordingReport report;
        EXPECT_TRUE(copy({"Tag0305"}, report, kFirstDay, kLastDay));
        EXPECT_TRUE(saidExactly(report.messageTexts(), {"查询数据出错,出错信息:Tag0305表第3行的nValueChange无法识别:“n/a”"}));
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, CopyValueTest,
                         ::testing::Values(Sides{DatabaseKind::PostgreSQL, false}, Sides{DatabaseKind::MySql, false},
                                           Sides{DatabaseKind::SQLite, false}),
                         sidesName);

} // namespace
