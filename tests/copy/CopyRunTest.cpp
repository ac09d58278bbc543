#include "CopyTestSupport.h"

#include "copy/CopyTables.h"
#include "schema/Schema.h"

#include <QRegularExpression>

using namespace tessera;
using namespace tessera::copy;
using namespace tessera::test;

namespace {

// The older SQLite database as the source, the test database of each kind as
// the target.
class CopyRunTest : public CopySidesTest {
protected:
    void makeScene() override
    {
        file.execute(ddl::createTelemetryTableSql(DatabaseKind::SQLite, "Tag0305", ddl::Generation::Older));
        // The older generation's nValue of this one is double precision.
        file.execute(ddl::createTelemetryTableSql(DatabaseKind::SQLite, "Tag0306", ddl::Generation::Newer));
        for (SchemaTable t : {SchemaTable::Event, SchemaTable::LimitAlarm, SchemaTable::RSChange, SchemaTable::SOE,
                 SchemaTable::Fault, SchemaTable::SDaySummary, SchemaTable::RSSummary})
            remakeTable(server, t);
    }

    void createTelemetryTarget(const QString& name, const QString& check = {})
    {
        QString sql = ddl::createTelemetryTableSql(targetKind(), name, ddl::Generation::Newer);
        if (!check.isEmpty())
            sql.replace(QRegularExpression("\\)$"), ", CHECK (" + check + "))");
        remake(server, name, sql);
    }
    std::vector<int> tickedRows(QDate start, QDate end)
    {
        const auto ticked = tablesTickedForRange(true, QDateTime(start, QTime()), QDateTime(end, QTime()));
        std::vector<int> rows;
        for (int row = 0; row < kCopyTableRows; ++row)
            if ((*ticked)[size_t(row)])
                rows.push_back(row);
        return rows;
    }
    void sourceEvent(const QString& date, const QString& time, const QString& contents)
    {
        file.execute(QString("INSERT INTO Event VALUES(3,'%1 00:00:00','1899-12-30 %2',120,'%3',' SCADA','O''Brien',"
                             "NULL)")
                         .arg(date, time, contents));
    }
    void targetEvent(const QString& date, const QString& contents)
    {
        server.execute(
            QString("INSERT INTO Event(AType,ADate,ATime,MiniSecond,Contents) VALUES(1,%1,%2,0,'%3')")
                .arg(FormatDateLiteral(targetKind(), date), FormatDateLiteral(targetKind(), "07:00:00"), contents));
    }
};

TEST_P(CopyRunTest, CopiesTheEventAndSummaryTablesOfTheRangeWithTheirConversions)
{
    // In the range, at both of its ends, and outside it.
    sourceEvent("2008-01-05", "08:15:30", "  leading kept out, trailing in  ");
    sourceEvent("2008-01-31", "23:59:59", "last day");
    sourceEvent("2008-01-01", "00:00:00", "first day");
    sourceEvent("2008-02-01", "12:00:00", "outside");
    file.execute("INSERT INTO LimitAlarm VALUES('2008-01-05 00:00:00','1899-12-30 09:00:00',5,' 城北变电站','1号主变',"
                 "'L1','A相电流','越上限','告警',12.345,10.0,'  值班员')");
    file.execute("INSERT INTO RSChange VALUES('2008-01-06 00:00:00','1899-12-30 10:00:00',7,'城北变电站','1号主变',"
                 "'L1','开关位置','合',1,'SCADA')");
    file.execute("INSERT INTO SOE VALUES('2008-01-07 00:00:00','1899-12-30 11:00:00',8,'城北变电站','1号主变',"
                 "'L1','保护','过流','动作',1,'SCADA')");
    file.execute("INSERT INTO Fault VALUES('2008-01-08 00:00:00','1899-12-30 12:00:00',9,'城北变电站','1号主变',"
                 "'L1','跳闸',1,'过流保护','相间','SCADA','自动','1.25km','  100A','10kV','2000A','9kV')");
    file.execute("INSERT INTO SDaySummary VALUES('2008-01-09 00:00:00','城北变电站','1号主变','L1',0.1,2.5,3,"
                 "1,1,1,0.95,1,2,1.5,0.5,0.7,0.6,0)");
    file.execute("INSERT INTO RSSummary VALUES('2008-01-10 00:00:00','城北变电站','1号主变','开关位置',3.5,7,2)");
    // The target's rows of the range go; older ones stay.
    targetEvent("2008-01-10", "imported before");
    targetEvent("2007-12-31", "last year");

    const QStringList tables = copyTableNames().mid(kCalendarDayRows);
    RecordingReport report;
    EXPECT_TRUE(copy(tables, report, QDate(2008, 1, 1), QDate(2008, 1, 31)));
    EXPECT_EQ(report.messageTexts(), QStringList());
    EXPECT_EQ(report.endedRows, (std::vector<int>{378, 377, 376, 375, 374, 373, 372}));
    EXPECT_EQ(report.statuses({372, 373, 374, 375, 376, 377, 378}), QStringList(7, kStatusDone));
    EXPECT_EQ(report.lastProgress, std::make_pair(7, 7));

    EXPECT_EQ(rowsOf(server,
                  "SELECT ADate,ATime,MiniSecond,Contents,RunSystem,Operator,UserNote,AType FROM Event "
                  "ORDER BY ADate,ATime"),
        (QStringList{"2007-12-31 00:00:00|1899-12-30 07:00:00|0|last year||||1",
            "2008-01-01 00:00:00|1899-12-30 00:00:00|120|first day|SCADA|O'Brien||3",
            "2008-01-05 00:00:00|1899-12-30 08:15:30|120|leading kept out, trailing in  |SCADA|O'Brien||3",
            "2008-01-31 00:00:00|1899-12-30 23:59:59|120|last day|SCADA|O'Brien||3"}));

    EXPECT_EQ(rowsOf(server, "SELECT StationName,Operator FROM LimitAlarm"), QStringList{"城北变电站|  值班员"});
    EXPECT_EQ(rowsOf(server, "SELECT FaultDist,PreFaultI,nValue FROM Fault"), QStringList{"1.25km|100A|1"});
    EXPECT_EQ(rowsOf(server, "SELECT SignalName,nValue,MiniSecond FROM RSChange"), QStringList{"开关位置|1|7"});
    EXPECT_EQ(rowsOf(server, "SELECT SOEReason,Status FROM SOE"), QStringList{"过流|动作"});
    EXPECT_EQ(rowsOf(server, "SELECT OffTime,OnCount FROM RSSummary"), QStringList{"7|2"});
    // One row in each of these tables: their reals and the alarm's time of day in one row.
    db::ResultSet row = server.query("SELECT AlarmValue,AlarmLimit,PeakKwh,RFactor,OnTime,LimitAlarm.ATime "
                                     "FROM LimitAlarm,SDaySummary,RSSummary");
    ASSERT_TRUE(row.next());
    EXPECT_FLOAT_EQ(float(row.number(0).value), 12.35f);
    EXPECT_FLOAT_EQ(float(row.number(1).value), 10.0f);
    EXPECT_FLOAT_EQ(float(row.number(2).value), 0.1f);
    EXPECT_FLOAT_EQ(float(row.number(3).value), 0.95f);
    EXPECT_DOUBLE_EQ(row.number(4).value, 3.5);
    EXPECT_EQ(row.dateTime(5)->time(), QTime(9, 0));
}

TEST_P(CopyRunTest, EventTableFailuresKeepTheirMeaning)
{
    // An insert the target refuses ends that table, and its range is as it was.
    const TableLayout& event = tableLayout(SchemaTable::Event);
    remake(server, "Event",
        ddl::createTableSql(targetKind(), event, "Event")
            .replace("Contents VARCHAR(255)", "Contents VARCHAR(255) CHECK (Contents <> 'bad')"));
    targetEvent("2008-01-10", "imported before");
    const QStringList contents{"a", "b", "bad", "c"};
    for (int i = 0; i < contents.size(); ++i)
        sourceEvent(QString("2008-01-0%1").arg(i + 2), "01:00:00", contents[i]);
    // Missing target tables: the delete fails, and that table with it.
    remake(server, "Fault");
    remake(server, "SDaySummary");
    // A source table that cannot be read.
    file.execute("DROP TABLE RSChange");

    // Tables copied at once into a server say the same, in the same order.
    for (int tablesAtOnce : {1, 4}) {
        SCOPED_TRACE(tablesAtOnce);
        jobs = tablesAtOnce;
        RecordingReport report;
        EXPECT_TRUE(copy(copyTableNames().mid(kCalendarDayRows), report, QDate(2008, 1, 1), QDate(2008, 1, 31)));
        EXPECT_EQ(rowsOf(server, "SELECT Contents FROM Event ORDER BY ADate"), QStringList{"imported before"});
        // Event, SDaySummary (it starts as failed), RSSummary, RSChange, LimitAlarm, Fault, SOE.
        EXPECT_EQ(report.statuses({378, 377, 376, 375, 374, 373, 372}),
            (QStringList{kStatusFailed, kStatusFailed, kStatusDone, kStatusFailed, kStatusDone, kStatusFailed, kStatusDone}));
        EXPECT_TRUE(saidExactly(report.messageTexts(),
            {"不能处理Event据表!", "删除重复导入的SDaySummary数据失败!",
                "处理RSChange表出错:", "删除重复导入的Fault数据失败!"}));
    }
}

TEST_P(CopyRunTest, CopiesCalendarDayTablesYearByYear)
{
    auto sample = [&](const QString& table, const QString& at, int tag, double value, double change) {
        file.execute(QString("INSERT INTO %1 VALUES('%2',%3,1,%4,%5)")
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
    remake(server, "Tag20060305");
    remake(server, "Tag20070305");
    server.execute(
        "INSERT INTO Tag20080305 VALUES(" + FormatDateLiteral(targetKind(), "2008-03-05 01:00:00") + ",11,1,99,0)");

    RecordingReport report;
    // The day in each year of the range: 2006, 2007 and 2008.
    EXPECT_TRUE(copy({"Tag0230", "Tag0305", "Tag0306", "Tag0307"}, report, QDate(2006, 3, 1), QDate(2008, 3, 31)));

    EXPECT_EQ(report.endedRows, (std::vector<int>{calendarDayRow(3, 7), calendarDayRow(3, 6), 66, 60}));
    // No TAG20080230 anywhere: nothing to do.
    EXPECT_EQ(report.statuses({66, 60, calendarDayRow(3, 7)}), (QStringList{kStatusDone, kStatusDone, kStatusFailed}));
    EXPECT_EQ(report.cell(66, CopyColumn::Count), "3");
    EXPECT_EQ(report.cell(60, CopyColumn::Count), "0");
    EXPECT_TRUE(saidExactly(report.messageTexts(), {"查询数据出错,出错信息:"}));
    const QRegularExpression timeText("^ \\d{4}-\\d{1,2}-\\d{1,2} \\d\\d:\\d\\d:\\d\\d$");
    EXPECT_TRUE(timeText.match(report.cell(66, CopyColumn::Started)).hasMatch());
    EXPECT_TRUE(timeText.match(report.cell(66, CopyColumn::Ended)).hasMatch());
    // Each table starts when the one before it ended.
    EXPECT_EQ(report.cell(66, CopyColumn::Started), report.cell(calendarDayRow(3, 6), CopyColumn::Ended));

    EXPECT_EQ(rowsOf(server, "SELECT ATime,TagID,nValue,nValueChange FROM Tag20080305 ORDER BY ATime"),
        (QStringList{
            "2008-03-05 00:05:00|11|1.5|0.25", "2008-03-05 14:20:00|12|2.5|0.5", "2008-03-05 23:59:59|13|3.5|0.75"}));

    // Doubles arrive as they are (the target's double precision column keeps them).
    db::ResultSet reals = server.query("SELECT nValue,nValueChange FROM Tag20080306 ORDER BY TagID");
    for (const auto& [value, change] : {std::pair{1234.56789, 1234.56789}, std::pair{0.1, 0.1}}) {
        ASSERT_TRUE(reals.next());
        EXPECT_DOUBLE_EQ(reals.number(0).value, value);
        EXPECT_DOUBLE_EQ(reals.number(1).value, change);
    }
}

TEST_P(CopyRunTest, AFailingSampleIsReportedAndTheTableGoesOn)
{
    for (int tag : {12, 13, 14})
        file.execute(QString("INSERT INTO Tag0305 VALUES('2008-03-05 0%1:00:00',%2,1,1,0)").arg(tag - 10).arg(tag));
    createTelemetryTarget("Tag20080305", "TagID <> 13");

    RecordingReport report;
    EXPECT_TRUE(copy({"Tag0305"}, report, QDate(2008, 1, 1), QDate(2008, 12, 31)));
    EXPECT_EQ(report.status(66), kStatusFailed);
    EXPECT_EQ(report.cell(66, CopyColumn::Count), "3");
    EXPECT_TRUE(saidExactly(report.messageTexts(), {"插入数据出错,出错信息:"}));
    EXPECT_EQ(rowsOf(server, "SELECT TagID FROM Tag20080305 ORDER BY TagID"), (QStringList{"12", "14"}));
}

// No day of the target outside the range is touched, in any year: a range
// across New Year, a leap day, a chosen table none of whose days is in it.
TEST_P(CopyRunTest, OnlyTheDaysOfTheRangeAreReplacedInAnyYear)
{
    const QStringList days{"1229", "1230", "1231", "0101", "0102", "0103", "0228", "0229", "0301"};
    struct Case {
        const char* name;
        QDate start, end;
        QStringList tables; // empty: as the range box ticks them
        QStringList replaced; // target tables whose day is copied
        QStringList outOfRange; // chosen calendar-day tables said to be outside the range
    };
    const std::vector<Case> cases = {
        {"across New Year", QDate(2024, 12, 30), QDate(2025, 1, 2), {},
            {"Tag20241230", "Tag20241231", "Tag20250101", "Tag20250102"}, {"Tag1229", "Tag0103", "Tag0229"}},
        {"a leap day", QDate(2024, 2, 28), QDate(2024, 3, 1), {"Tag0228", "Tag0229", "Tag0301", "Tag1230"},
            {"Tag20240228", "Tag20240229", "Tag20240301"}, {"Tag1230"}},
        {"a day outside its range", QDate(2025, 1, 1), QDate(2025, 1, 2), {"Tag1230", "Tag0101"}, {"Tag20250101"},
            {"Tag1230"}},
    };
    QStringList targets;
    for (const QString& day : days) {
        file.execute(ddl::createTelemetryTableSql(DatabaseKind::SQLite, "Tag" + day, ddl::Generation::Older));
        for (int year : {2023, 2024, 2025}) {
            file.execute(QString("INSERT INTO Tag%1 VALUES('%2-%3-%4 12:00:00',1,1,%2,0)")
                             .arg(day).arg(year).arg(day.left(2), day.right(2)));
            if (day != "0229" || year == 2024) { // no other 29 February in the target
                targets << QString("Tag%1%2").arg(year).arg(day);
                createTelemetryTarget(targets.last());
            }
        }
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const QString& table : targets) {
            server.execute("DELETE FROM " + table);
            const QString at = QString("%1-%2-%3 06:00:00").arg(table.mid(3, 4), table.mid(7, 2), table.mid(9, 2));
            server.execute(QString("INSERT INTO %1 VALUES(%2,1,1,-1,0)").arg(table, FormatDateLiteral(targetKind(), at)));
        }
        QStringList tables = c.tables;
        if (tables.isEmpty())
            for (int row : tickedRows(c.start, c.end))
                tables << copyTableNames().at(row);
        RecordingReport report;
        EXPECT_TRUE(copy(tables, report, c.start, c.end));
        EXPECT_EQ(report.messageTexts(), QStringList());
        for (const QString& table : targets) {
            const QStringList values = rowsOf(server, "SELECT nValue FROM " + table);
            const double expected = c.replaced.contains(table) ? table.mid(3, 4).toDouble() : -1;
            EXPECT_EQ(values.size(), 1) << table.toStdString();
            EXPECT_EQ(values.value(0).toDouble(), expected) << table.toStdString();
        }
        for (const QString& table : c.outOfRange)
            EXPECT_EQ(report.status(copyTableRow(table)), kStatusOutOfRange) << table.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, CopyRunTest, kIntoEveryKind, sidesName);

} // namespace
