#include "CopyTestSupport.h"
#include "DatabaseTest.h"

#include "copy/CopyRun.h"
#include "copy/CopyTables.h"
#include "schema/Schema.h"

#include <QRegularExpression>

using namespace tessera;
using namespace tessera::copy;
using namespace tessera::test;

namespace {

// An older SQLite database as the source, the test database of each kind as
// the target: SQLite into SQLite, PostgreSQL and MariaDB.
class CopyRunTest : public DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        sourcePath = dir.filePath("older.db");
        source = makeOlderDatabase(sourcePath, {"Tag0305"});
        // The older generation's nValue of this one is double precision.
        source.execute(ddl::createTelemetryTableSql(DatabaseKind::SQLite, "Tag0306", ddl::Generation::Newer));
    }

    void createTargetTable(SchemaTable table, const QString& patchFrom = {}, const QString& patchTo = {})
    {
        const TableLayout& layout = tableLayout(table);
        dropTable(layout.name);
        QString sql = ddl::createTableSql(kind(), layout, layout.name);
        if (!patchFrom.isEmpty())
            sql.replace(patchFrom, patchTo);
        connection().execute(sql);
    }
    void createEventTargets()
    {
        for (SchemaTable t : {SchemaTable::Event, SchemaTable::LimitAlarm, SchemaTable::RSChange, SchemaTable::SOE,
                              SchemaTable::Fault, SchemaTable::SDaySummary, SchemaTable::RSSummary})
            createTargetTable(t);
    }
    void createTelemetryTarget(const QString& name, const QString& check = {})
    {
        dropTable(name);
        QString sql = ddl::createTelemetryTableSql(kind(), name, ddl::Generation::Newer);
        if (!check.isEmpty())
            sql.replace(QRegularExpression("\\)$"), ", CHECK (" + check + "))");
        connection().execute(sql);
    }

    // A run from start to end of the given dates on fresh connections.
    bool copy(const QStringList& tables, const QDate& start, const QDate& end, RecordingReport& report)
    {
        CopySettings settings;
        CopyRun run(settings, QDateTime(start, QTime(10, 30)), QDateTime(end, QTime(10, 30)), report);
        run.attach(openConnection(), kind(), db::Connection::open(sqliteConnectString(sourcePath)),
                   DatabaseKind::SQLite);
        return run.copyTables(tables);
    }

    void event(const QString& date, const QString& time, const QString& contents, const QString& op = "O''Brien")
    {
        source.execute(QStringLiteral("INSERT INTO Event VALUES(3,'%1 00:00:00','1899-12-30 %2',120,'%3',"
                                      "' SCADA','%4',NULL)")
                           .arg(date, time, contents, op));
    }

    // Event rows of the target as "date|time|ms|texts".
    QStringList targetEvents()
    {
        QStringList rows;
        db::ResultSet rs = connection().query(
            "SELECT ADate,ATime,MiniSecond,Contents,RunSystem,Operator,UserNote,AType FROM Event "
            "ORDER BY ADate,ATime");
        while (rs.next())
            rows << QStringList{rs.dateTime(0)->date().toString(Qt::ISODate),
                                rs.dateTime(1)->time().toString("hh:mm:ss"), rs.string(2), rs.string(3),
                                rs.string(4), rs.string(5), rs.string(6), rs.string(7)}
                        .join('|');
        return rows;
    }

    QTemporaryDir dir;
    QString sourcePath;
    db::Connection source;
};

TEST_P(CopyRunTest, CopiesTheEventAndSummaryTablesOfTheRangeWithTheirConversions)
{
    createEventTargets();
    const QString lit = "'%1'";
    // In the range, at both of its ends, and outside it.
    event("2008-01-05", "08:15:30", "  leading kept out, trailing in  ");
    event("2008-01-31", "23:59:59", "last day");
    event("2008-01-01", "00:00:00", "first day");
    event("2008-02-01", "12:00:00", "outside");
    source.execute("INSERT INTO LimitAlarm VALUES('2008-01-05 00:00:00','1899-12-30 09:00:00',5,' 城北变电站','1号主变',"
                   "'L1','A相电流','越上限','告警',12.345,10.0,'  值班员')");
    source.execute("INSERT INTO RSChange VALUES('2008-01-06 00:00:00','1899-12-30 10:00:00',7,'城北变电站','1号主变',"
                   "'L1','开关位置','合',1,'SCADA')");
    source.execute("INSERT INTO SOE VALUES('2008-01-07 00:00:00','1899-12-30 11:00:00',8,'城北变电站','1号主变',"
                   "'L1','保护','过流','动作',1,'SCADA')");
    source.execute("INSERT INTO Fault VALUES('2008-01-08 00:00:00','1899-12-30 12:00:00',9,'城北变电站','1号主变',"
                   "'L1','跳闸',1,'过流保护','相间','SCADA','自动','1.25km','  100A','10kV','2000A','9kV')");
    source.execute("INSERT INTO SDaySummary VALUES('2008-01-09 00:00:00','城北变电站','1号主变','L1',0.1,2.5,3,"
                   "1,1,1,0.95,1,2,1.5,0.5,0.7,0.6,0)");
    source.execute("INSERT INTO RSSummary VALUES('2008-01-10 00:00:00','城北变电站','1号主变','开关位置',3.5,7,2)");
    // The target's rows of the range go; older ones stay.
    connection().execute("INSERT INTO Event(AType,ADate,ATime,MiniSecond,Contents) VALUES(1," +
                         FormatDateLiteral(kind(), "2008-01-10") + "," + FormatDateLiteral(kind(), "07:00:00") +
                         ",0,'imported before')");
    connection().execute("INSERT INTO Event(AType,ADate,ATime,MiniSecond,Contents) VALUES(1," +
                         FormatDateLiteral(kind(), "2007-12-31") + "," + FormatDateLiteral(kind(), "07:00:00") +
                         ",0,'last year')");

    const QStringList tables = copyTableNames().mid(372);
    RecordingReport report;
    EXPECT_TRUE(copy(tables, QDate(2008, 1, 1), QDate(2008, 1, 31), report));
    EXPECT_TRUE(report.messages.empty()) << report.messageTexts().join('\n').toStdString();
    EXPECT_EQ(report.endedRows, (std::vector<int>{378, 377, 376, 375, 374, 373, 372}));
    for (int row = 372; row < 379; ++row)
        EXPECT_EQ(report.status(row), kStatusDone) << copyTableNames()[row].toStdString();
    EXPECT_EQ(report.progressCalls.back(), std::make_pair(7, 7));

    const QStringList events = targetEvents();
    EXPECT_EQ(events, (QStringList{"2007-12-31|07:00:00|0|last year||||1",
                                   "2008-01-01|00:00:00|120|first day|SCADA|O'Brien||3",
                                   "2008-01-05|08:15:30|120|leading kept out, trailing in  |SCADA|O'Brien||3",
                                   "2008-01-31|23:59:59|120|last day|SCADA|O'Brien||3"}));

    db::ResultSet alarm =
        connection().query("SELECT StationName,AlarmValue,AlarmLimit,Operator,ATime FROM LimitAlarm");
    ASSERT_TRUE(alarm.next());
    EXPECT_EQ(alarm.string(0), "城北变电站");
    EXPECT_FLOAT_EQ(float(alarm.number(1).value), 12.35f);
    EXPECT_FLOAT_EQ(float(alarm.number(2).value), 10.0f);
    EXPECT_EQ(alarm.string(3), "  值班员");
    EXPECT_EQ(alarm.dateTime(4)->time(), QTime(9, 0));
    alarm.close();

    EXPECT_EQ(rowsOf(connection(), "SELECT FaultDist,PreFaultI,nValue FROM Fault"), QStringList{"1.25km|100A|1"});
    EXPECT_EQ(rowsOf(connection(), "SELECT SignalName,nValue,MiniSecond FROM RSChange"),
              QStringList{"开关位置|1|7"});
    EXPECT_EQ(rowsOf(connection(), "SELECT SOEReason,Status FROM SOE"), QStringList{"过流|动作"});
    db::ResultSet summary = connection().query("SELECT PeakKwh,RFactor,OffTime FROM SDaySummary");
    ASSERT_TRUE(summary.next());
    EXPECT_FLOAT_EQ(float(summary.number(0).value), 0.1f);
    EXPECT_FLOAT_EQ(float(summary.number(1).value), 0.95f);
    summary.close();
    db::ResultSet signal = connection().query("SELECT OnTime,OffTime,OnCount FROM RSSummary");
    ASSERT_TRUE(signal.next());
    EXPECT_DOUBLE_EQ(signal.number(0).value, 3.5);
    EXPECT_EQ(signal.string(1) + "|" + signal.string(2), "7|2");
    signal.close();

    // Once more: the same target, no duplicates.
    RecordingReport again;
    EXPECT_TRUE(copy(tables, QDate(2008, 1, 1), QDate(2008, 1, 31), again));
    EXPECT_EQ(targetEvents(), events);
    EXPECT_EQ(countRows("LimitAlarm") + countRows("RSChange") + countRows("SOE") + countRows("Fault") +
                  countRows("SDaySummary") + countRows("RSSummary"),
              6);
}

TEST_P(CopyRunTest, EventTableFailuresKeepTheirMeaning)
{
    createEventTargets();
    // An insert the target refuses ends that table, and its range is as it was.
    createTargetTable(SchemaTable::Event, "Contents VARCHAR(255)", "Contents VARCHAR(255) CHECK (Contents <> 'bad')");
    connection().execute("INSERT INTO Event(AType,ADate,ATime,MiniSecond,Contents) VALUES(1," +
                         FormatDateLiteral(kind(), "2008-01-10") + "," + FormatDateLiteral(kind(), "07:00:00") +
                         ",0,'imported before')");
    event("2008-01-02", "01:00:00", "a");
    event("2008-01-03", "01:00:00", "b");
    event("2008-01-04", "01:00:00", "bad");
    event("2008-01-05", "01:00:00", "c");
    // Missing target tables: the delete fails. Fault sets no status before it.
    dropTable("Fault");
    dropTable("SDaySummary");
    // A source table that cannot be read.
    source.execute("DROP TABLE RSChange");

    RecordingReport report;
    EXPECT_TRUE(copy(copyTableNames().mid(372), QDate(2008, 1, 1), QDate(2008, 1, 31), report));
    EXPECT_EQ(rowsOf(connection(), "SELECT Contents FROM Event ORDER BY ADate"), QStringList{"imported before"});
    EXPECT_EQ(report.status(378), kStatusFailed);
    EXPECT_EQ(report.status(377), kStatusFailed); // SDaySummary starts as failed
    EXPECT_EQ(report.status(376), kStatusDone);
    EXPECT_EQ(report.status(375), kStatusFailed);
    EXPECT_EQ(report.status(374), kStatusDone);
    EXPECT_EQ(report.status(373), QString());
    EXPECT_EQ(report.status(372), kStatusDone);
    const QStringList texts = report.messageTexts();
    ASSERT_EQ(texts.size(), 4) << texts.join('\n').toStdString();
    EXPECT_EQ(texts[0], "不能处理Event据表!");
    EXPECT_EQ(texts[1], "删除重复导入的SDaySummary数据失败!");
    EXPECT_TRUE(texts[2].startsWith("处理RSChange表出错:")) << texts[2].toStdString();
    EXPECT_GT(texts[2].size(), QString("处理RSChange表出错:").size());
    EXPECT_EQ(texts[3], "删除重复导入的Fault数据失败!");
}

TEST_P(CopyRunTest, CopiesCalendarDayTablesYearByYear)
{
    auto sample = [&](const QString& table, const QString& at, int tag, double value, double change) {
        source.execute(QStringLiteral("INSERT INTO %1 VALUES('%2',%3,1,%4,%5)")
                           .arg(table, at)
                           .arg(tag)
                           .arg(value, 0, 'g', 17)
                           .arg(change, 0, 'g', 17));
    };
    for (int year : {2006, 2007, 2008}) {
        sample("Tag0305", QString("%1-03-05 00:05:00").arg(year), 11, 1.5, 0.25);
        sample("Tag0305", QString("%1-03-05 14:20:00.000").arg(year), 12, 2.5, 0.5);
        sample("Tag0305", QString("%1-03-05 23:59:59").arg(year), 13, 3.5, 0.75);
    }
    sample("Tag0305", "2008-03-06 00:00:00", 14, 9, 9); // another day in the same table: not read
    sample("Tag0306", "2008-03-06 06:00:00", 21, 1234.56789, 1234.56789);
    sample("Tag0306", "2008-03-06 07:00:00", 22, 0.1, 0.1);

    createTelemetryTarget("Tag20080305");
    createTelemetryTarget("Tag20080306");
    createTelemetryTarget("Tag20080307"); // the source has no Tag0307
    dropTable("Tag20060305");
    dropTable("Tag20070305");
    connection().execute("INSERT INTO Tag20080305 VALUES(" + FormatDateLiteral(kind(), "2008-03-05 01:00:00") +
                         ",11,1,99,0)");

    RecordingReport report;
    // Only the years count, not the months of the range.
    EXPECT_TRUE(copy({"Tag0230", "Tag0305", "Tag0306", "Tag0307"}, QDate(2006, 7, 1), QDate(2008, 2, 1), report));

    EXPECT_EQ(report.endedRows, (std::vector<int>{calendarDayRow(3, 7), calendarDayRow(3, 6), 66, 60}));
    EXPECT_EQ(report.status(66), kStatusDone);
    EXPECT_EQ(report.cell(66, CopyColumn::Count), "3");
    EXPECT_EQ(report.status(60), kStatusDone); // no TAG20080230 anywhere: nothing to do
    EXPECT_EQ(report.cell(60, CopyColumn::Count), "0");
    EXPECT_EQ(report.status(calendarDayRow(3, 7)), kStatusFailed);
    ASSERT_EQ(report.messageTexts().size(), 1);
    EXPECT_TRUE(report.messageTexts()[0].startsWith("查询数据出错,出错信息:"));
    const QRegularExpression timeText("^ \\d{4}-\\d{1,2}-\\d{1,2} \\d\\d:\\d\\d:\\d\\d$");
    EXPECT_TRUE(timeText.match(report.cell(66, CopyColumn::Started)).hasMatch());
    EXPECT_TRUE(timeText.match(report.cell(66, CopyColumn::Ended)).hasMatch());
    // Each table starts when the one before it ended.
    EXPECT_EQ(report.cell(66, CopyColumn::Started), report.cell(calendarDayRow(3, 6), CopyColumn::Ended));

    QStringList samples;
    db::ResultSet rs = connection().query("SELECT ATime,TagID,nValue,nValueChange FROM Tag20080305 ORDER BY ATime");
    while (rs.next())
        samples << rs.dateTime(0)->toString("yyyy-MM-dd hh:mm:ss") + "|" + rs.string(1) + "|" +
                       QString::number(rs.number(2).value) + "|" + QString::number(rs.number(3).value);
    rs.close();
    EXPECT_EQ(samples, (QStringList{"2008-03-05 00:05:00|11|1.5|0.25", "2008-03-05 14:20:00|12|2.5|0.5",
                                    "2008-03-05 23:59:59|13|3.5|0.75"}));

    // A double nValue passes through single precision; nValueChange keeps six decimals.
    db::ResultSet reals = connection().query("SELECT nValue,nValueChange FROM Tag20080306 ORDER BY TagID");
    ASSERT_TRUE(reals.next());
    EXPECT_DOUBLE_EQ(reals.number(0).value, 1234.567871);
    EXPECT_DOUBLE_EQ(reals.number(1).value, 1234.56789);
    ASSERT_TRUE(reals.next());
    EXPECT_DOUBLE_EQ(reals.number(0).value, 0.1);
    EXPECT_DOUBLE_EQ(reals.number(1).value, 0.1);
}

TEST_P(CopyRunTest, AFailingSampleIsReportedAndTheTableGoesOn)
{
    for (int tag : {12, 13, 14})
        source.execute(QString("INSERT INTO Tag0305 VALUES('2008-03-05 0%1:00:00',%2,1,1,0)").arg(tag - 10).arg(tag));
    createTelemetryTarget("Tag20080305", "TagID <> 13");

    RecordingReport report;
    EXPECT_TRUE(copy({"Tag0305"}, QDate(2008, 1, 1), QDate(2008, 12, 31), report));
    EXPECT_EQ(report.status(66), kStatusFailed);
    EXPECT_EQ(report.cell(66, CopyColumn::Count), "3");
    ASSERT_EQ(report.messageTexts().size(), 1);
    EXPECT_TRUE(report.messageTexts()[0].startsWith("插入数据出错,出错信息:"));
    EXPECT_EQ(rowsOf(connection(), "SELECT TagID FROM Tag20080305 ORDER BY TagID"), (QStringList{"12", "14"}));
}

TEST_P(CopyRunTest, RunsEveryTableInOrderAndEndsTheProgressAtTheLastOne)
{
    createEventTargets();
    RecordingReport report;
    EXPECT_TRUE(copy(copyTableNames(), QDate(2090, 1, 1), QDate(2090, 12, 31), report));
    ASSERT_EQ(report.endedRows.size(), 379u);
    EXPECT_EQ(report.endedRows.front(), 378);
    EXPECT_EQ(report.endedRows.back(), 0);
    EXPECT_TRUE(std::is_sorted(report.endedRows.rbegin(), report.endedRows.rend()));
    EXPECT_EQ(report.progressCalls.back(), std::make_pair(379, 379));
    for (int row = 0; row < 379; ++row)
        ASSERT_EQ(report.status(row), kStatusDone) << row;
    EXPECT_TRUE(report.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, CopyRunTest, allDatabaseKinds(), kindName);

// The aborts need a target that fails where databases rarely do: SQLite
// alone lets a trigger refuse a delete.
class CopyAbortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        source = makeOlderDatabase(dir.filePath("older.db"), {"Tag0305"});
        source.execute("INSERT INTO Tag0305 VALUES('2008-03-05 01:00:00',1,1,1,0)");
        target = db::Connection::open(sqliteConnectString(dir.filePath("newer.db")));
        target.execute(ddl::createTelemetryTableSql(DatabaseKind::SQLite, "Tag20080305", ddl::Generation::Newer));
    }
    bool copy(DatabaseKind claimedTargetKind, RecordingReport& report)
    {
        CopySettings settings;
        CopyRun run(settings, QDateTime(QDate(2008, 1, 1), QTime(9, 0)), QDateTime(QDate(2008, 12, 1), QTime(9, 0)),
                    report);
        run.attach(db::Connection::open(sqliteConnectString(dir.filePath("newer.db"))), claimedTargetKind,
                   db::Connection::open(sqliteConnectString(dir.filePath("older.db"))), DatabaseKind::SQLite);
        return run.copyTables({"Tag0101", "Tag0305"});
    }

    QTemporaryDir dir;
    db::Connection source;
    db::Connection target;
};

TEST_F(CopyAbortTest, AProbeErrorEndsTheWholeRun)
{
    RecordingReport report;
    // The PostgreSQL probe asks information_schema, which SQLite lacks.
    EXPECT_FALSE(copy(DatabaseKind::PostgreSQL, report));
    ASSERT_EQ(report.messageTexts().size(), 1);
    EXPECT_TRUE(report.messageTexts()[0].startsWith("查询是否存在新表(TAG20080305)时失败!原因:"));
    EXPECT_EQ(report.status(66), kStatusStarted);
    EXPECT_TRUE(report.cell(66, CopyColumn::Ended).isEmpty());
    EXPECT_EQ(report.status(0), QString()); // never reached
    EXPECT_EQ(report.progressCalls.back(), std::make_pair(0, 2));
}

TEST_F(CopyAbortTest, ADeleteErrorEndsTheWholeRun)
{
    target.execute("INSERT INTO Tag20080305 VALUES('2008-03-05 02:00:00',1,1,1,0)");
    target.execute("CREATE TRIGGER keep BEFORE DELETE ON Tag20080305 BEGIN SELECT RAISE(ABORT, 'kept'); END");
    RecordingReport report;
    EXPECT_FALSE(copy(DatabaseKind::SQLite, report));
    EXPECT_EQ(report.messageTexts(), QStringList{"删除重复导入的数据失败!"});
    EXPECT_EQ(report.status(66), kStatusStarted);
    EXPECT_EQ(report.status(0), QString());
}

} // namespace
