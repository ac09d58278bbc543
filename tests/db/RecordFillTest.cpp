#include "DatabaseTest.h"
#include "FillRecorder.h"

#include "records/RecordList.h"
#include "schema/Schema.h"
#include "telemetry/TelemetryList.h"

using namespace tessera;
using namespace tessera::test;
using namespace Qt::StringLiterals;

namespace {

const QDate kToday(2008, 1, 31);

class RecordFillTest : public DatabaseTest {
protected:
    QString literal(const QString& text) const { return FormatDateLiteral(kind(), text); }
    // The names of a table's columns as this database reports them.
    QStringList reported(SchemaTable table) const
    {
        QStringList names = tableLayout(table).columnNames();
        if (kind() == DatabaseKind::PostgreSQL)
            for (QString& name : names)
                name = name.toLower();
        return names;
    }
    FillRecorder read(ViewMode mode)
    {
        FillRecorder sink;
        records::readTodaysRecords(connection(), kind(), mode, kToday, sink);
        return sink;
    }
};

// One row of each kind with known values, between yesterday's and tomorrow's:
// only today's arrives, every cell as the list shows it, after the columns
// named as the database reports them. The time of day is stored on
// 1899-12-30 and shown as hh:mm:ss; reals are shown as the driver writes them
// (12.5 or 12.500000), so they compare as numbers.
TEST_P(RecordFillTest, RecordKindsDeliverTodaysRowsInTheirColumns)
{
    createSchema();
    struct Case {
        ViewMode mode;
        SchemaTable table;
        const char* insert; // %1 the date, %2 the time literal
        QStringList cells;
    };
    const Case cases[] = {
        {ViewMode::OperationEvents, SchemaTable::Event,
         "Event(AType,ADate,ATime,MiniSecond,Contents,RunSystem,Operator,UserNote) "
         "VALUES(3,%1,%2,250,'遥控执行: 城北变电站','SCADA主站','张工','')",
         {"3", "2008-01-31", "08:15:30", "250", "遥控执行: 城北变电站", "SCADA主站", "张工", ""}},
        {ViewMode::LimitAlarms, SchemaTable::LimitAlarm,
         "LimitAlarm(ADate,ATime,MiniSecond,StationName,SwitchName,LineName,PointName,AlarmName,AlarmStatus,"
         "AlarmValue,AlarmLimit,Operator) VALUES(%1,%2,250,'城北变电站','1号主变','1号主变','A相电流','越上限','告警',"
         "12.5,12,'李工')",
         {"2008-01-31", "08:15:30", "250", "城北变电站", "1号主变", "1号主变", "A相电流", "越上限", "告警", "12.5", "12",
          "李工"}},
        {ViewMode::SignalChanges, SchemaTable::RSChange,
         "RSChange(ADate,ATime,MiniSecond,StationName,SwitchName,LineName,SignalName,SignalStatus,nValue,Operator) "
         "VALUES(%1,%2,250,'城南变电站','10kV城关线','10kV城关线','开关位置','合',1,'SCADA')",
         {"2008-01-31", "08:15:30", "250", "城南变电站", "10kV城关线", "10kV城关线", "开关位置", "合", "1", "SCADA"}},
        {ViewMode::SoeEvents, SchemaTable::SOE,
         "SOE(ADate,ATime,MiniSecond,StationName,SwitchName,LineName,SOEType,SOEReason,Status,nValue,Operator) "
         "VALUES(%1,%2,250,'江东变电站','10kV工业线','10kV工业线','保护','过流I段','动作',1,'SCADA')",
         {"2008-01-31", "08:15:30", "250", "江东变电站", "10kV工业线", "10kV工业线", "保护", "过流I段", "动作", "1",
          "SCADA"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(tableLayout(c.table).name.toStdString());
        const QString insert = u"INSERT INTO "_s + QString::fromUtf8(c.insert);
        for (const char* day : {"2008-01-30", "2008-01-31", "2008-02-01"})
            connection().execute(insert.arg(literal(QLatin1String(day)), literal(u"08:15:30"_s)));
        FillRecorder sink = read(c.mode);
        EXPECT_EQ(sink.columnNames, reported(c.table));
        ASSERT_EQ(sink.rows.size(), 1u);
        for (QString& cell : sink.rows[0]) {
            bool number = false;
            const double value = cell.toDouble(&number);
            if (number && cell.contains(u'.'))
                cell = QString::number(value);
        }
        EXPECT_EQ(sink.rows[0], c.cells);
    }
    EXPECT_FALSE(read(ViewMode::StartPage).columnsSeen) << "the start page reads nothing";
}

// A column the SCADA added after the ones the list knows is named, but its
// cells stay empty.
TEST_P(RecordFillTest, ColumnsBeyondTheKindsLastAreNamedButLeftEmpty)
{
    createSchema();
    connection().execute(u"ALTER TABLE RSChange ADD COLUMN Extra VARCHAR(16)"_s);
    connection().execute(u"INSERT INTO RSChange(ADate,ATime,MiniSecond,StationName,SwitchName,LineName,SignalName,"
                         "SignalStatus,nValue,Operator,Extra) VALUES(%1,%2,7,'城南变电站','','','保护动作','分',0,"
                         "'SCADA','unused')"_s.arg(literal(u"2008-01-31"_s), literal(u"23:59:59"_s)));

    const FillRecorder sink = read(ViewMode::SignalChanges);
    ASSERT_EQ(sink.columnNames.size(), 11);
    EXPECT_EQ(sink.columnNames.last().toLower(), u"extra"_s);
    ASSERT_EQ(sink.rows.size(), 1u);
    EXPECT_EQ(sink.rows[0].value(1), u"23:59:59"_s);
    EXPECT_EQ(sink.rows[0].value(9), u"SCADA"_s);
    EXPECT_EQ(sink.rows[0].value(10), QString());
}

INSTANTIATE_TEST_SUITE_P(Kinds, RecordFillTest, allDatabaseKinds(), kindName);

// The time stamp of a telemetry sample as the list shows it, for the kinds
// whose servers are not at hand here: SQL Server's loses its blanks, then its
// fraction; the others' blanks go.
TEST(TelemetryTimeCell, SqlServerLosesItsFractionOthersShowTheTextAsRead)
{
    const QString shown = u"2008-01-31 00:05:00"_s;
    for (const QString& read : {shown + u".000"_s, shown + u".000   "_s})
        EXPECT_EQ(telemetry::telemetryTimeCell(DatabaseKind::SqlServer, read), shown) << read.toStdString();
    for (DatabaseKind other : {DatabaseKind::Access, DatabaseKind::Oracle, DatabaseKind::SQLite})
        for (const QString& read : {shown, shown + u"  "_s})
            EXPECT_EQ(telemetry::telemetryTimeCell(other, read), shown) << int(other) << read.toStdString();
}

} // namespace
