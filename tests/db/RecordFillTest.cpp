#include "DatabaseTest.h"

#include "DemoContent.h"
#include "SchemaDdl.h"

#include "db/DbError.h"
#include "schema/Schema.h"
#include "records/RecordList.h"
#include "telemetry/TelemetryList.h"
#include "view/FillSink.h"

#include <QRegularExpression>

using namespace tessera;
using namespace tessera::test;

namespace {

// Keeps what a fill delivers, in the order delivered.
struct RecordingSink : FillSink {
    void columns(const QStringList& names) override
    {
        EXPECT_FALSE(columnsSeen) << "columns delivered twice";
        EXPECT_TRUE(rows.empty()) << "columns after rows";
        columnsSeen = true;
        columnNames = names;
    }
    void row(const QStringList& cells) override
    {
        EXPECT_TRUE(columnsSeen) << "a row before the columns";
        rows.push_back(cells);
    }

    bool columnsSeen = false;
    QStringList columnNames;
    std::vector<QStringList> rows;
};

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
    RecordingSink read(ViewMode mode)
    {
        RecordingSink sink;
        records::readTodaysRecords(connection(), kind(), mode, kToday, sink);
        return sink;
    }
    // The row whose cell `column` reads `text`; fails the test when there is none.
    static QStringList rowWith(const RecordingSink& sink, int column, const QString& text)
    {
        for (const QStringList& cells : sink.rows)
            if (cells.value(column) == text)
                return cells;
        ADD_FAILURE() << "no row with " << text.toStdString() << " in cell " << column;
        return {};
    }
};

// Yesterday's and tomorrow's rows surround today's; only today's arrive, with
// their date and time cells in the kind's positions.
TEST_P(RecordFillTest, RecordKindsDeliverTodaysRowsOnly)
{
    createSchema();
    for (int offset : {-1, 0, 1})
        demo::writeEventsOfDay(connection(), kind(), kToday.addDays(offset));

    struct Expectation {
        ViewMode mode;
        SchemaTable table;
        int rows; // the demo's rows of one day
        int dateCell;
        int timeCell;
        int cellCount;
    };
    const Expectation expectations[] = {
        {ViewMode::OperationEvents, SchemaTable::Event, 12, 1, 2, 8},
        {ViewMode::LimitAlarms, SchemaTable::LimitAlarm, 10, 0, 1, 12},
        {ViewMode::SignalChanges, SchemaTable::RSChange, 10, 0, 1, 10},
        {ViewMode::SoeEvents, SchemaTable::SOE, 8, 0, 1, 11},
    };
    const QRegularExpression timeOfDay(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"));
    for (const Expectation& e : expectations) {
        SCOPED_TRACE(tableLayout(e.table).name.toStdString());
        const RecordingSink sink = read(e.mode);
        EXPECT_EQ(sink.columnNames, reported(e.table));
        ASSERT_EQ(int(sink.rows.size()), e.rows);
        for (const QStringList& cells : sink.rows) {
            EXPECT_EQ(cells.size(), e.cellCount) << cells.join(QLatin1Char('|')).toStdString();
            EXPECT_EQ(cells.value(e.dateCell), QStringLiteral("2008-01-31"));
            EXPECT_TRUE(timeOfDay.match(cells.value(e.timeCell)).hasMatch()) << cells.value(e.timeCell).toStdString();
        }
    }
    EXPECT_FALSE(read(ViewMode::StartPage).columnsSeen) << "the start page reads nothing";
}

// One row of each kind with known values: every cell as the list shows it.
// The time of day is stored on 1899-12-30 and shown as hh:mm:ss.
TEST_P(RecordFillTest, RecordKindCellsFollowTheKindsColumns)
{
    createSchema();
    const QString day = literal(QStringLiteral("2008-01-31"));
    const QString time = literal(QStringLiteral("08:15:30"));
    connection().execute(QStringLiteral("INSERT INTO Event(AType,ADate,ATime,MiniSecond,Contents,RunSystem,Operator,"
                                        "UserNote) VALUES(3,%1,%2,250,'遥控执行: 城北变电站','SCADA主站','张工','')")
                             .arg(day, time));
    connection().execute(QStringLiteral("INSERT INTO LimitAlarm(ADate,ATime,MiniSecond,StationName,SwitchName,LineName,"
                                        "PointName,AlarmName,AlarmStatus,AlarmValue,AlarmLimit,Operator) "
                                        "VALUES(%1,%2,250,'城北变电站','1号主变','1号主变','A相电流','越上限','告警',"
                                        "12.5,12,'李工')")
                             .arg(day, time));
    connection().execute(QStringLiteral("INSERT INTO RSChange(ADate,ATime,MiniSecond,StationName,SwitchName,LineName,"
                                        "SignalName,SignalStatus,nValue,Operator) "
                                        "VALUES(%1,%2,250,'城南变电站','10kV城关线','10kV城关线','开关位置','合',1,"
                                        "'SCADA')")
                             .arg(day, time));
    connection().execute(QStringLiteral("INSERT INTO SOE(ADate,ATime,MiniSecond,StationName,SwitchName,LineName,"
                                        "SOEType,SOEReason,Status,nValue,Operator) "
                                        "VALUES(%1,%2,250,'江东变电站','10kV工业线','10kV工业线','保护','过流I段',"
                                        "'动作',1,'SCADA')")
                             .arg(day, time));

    RecordingSink events = read(ViewMode::OperationEvents);
    ASSERT_EQ(events.rows.size(), 1u);
    EXPECT_EQ(events.rows[0], (QStringList{"3", "2008-01-31", "08:15:30", "250", "遥控执行: 城北变电站", "SCADA主站",
                                           "张工", ""}));

    RecordingSink alarms = read(ViewMode::LimitAlarms);
    ASSERT_EQ(alarms.rows.size(), 1u);
    const QStringList alarm = alarms.rows[0];
    EXPECT_EQ(alarm.mid(0, 9), (QStringList{"2008-01-31", "08:15:30", "250", "城北变电站", "1号主变", "1号主变",
                                            "A相电流", "越上限", "告警"}));
    EXPECT_DOUBLE_EQ(alarm.value(9).toDouble(), 12.5);
    EXPECT_DOUBLE_EQ(alarm.value(10).toDouble(), 12.0);
    EXPECT_EQ(alarm.value(11), QStringLiteral("李工"));

    RecordingSink changes = read(ViewMode::SignalChanges);
    ASSERT_EQ(changes.rows.size(), 1u);
    EXPECT_EQ(changes.rows[0], (QStringList{"2008-01-31", "08:15:30", "250", "城南变电站", "10kV城关线", "10kV城关线",
                                            "开关位置", "合", "1", "SCADA"}));

    RecordingSink soe = read(ViewMode::SoeEvents);
    ASSERT_EQ(soe.rows.size(), 1u);
    EXPECT_EQ(soe.rows[0], (QStringList{"2008-01-31", "08:15:30", "250", "江东变电站", "10kV工业线", "10kV工业线",
                                        "保护", "过流I段", "动作", "1", "SCADA"}));
}

// A column the SCADA added after the ones the list knows is named, but its
// cells stay empty.
TEST_P(RecordFillTest, ColumnsBeyondTheKindsLastAreNamedButLeftEmpty)
{
    createSchema();
    connection().execute(QStringLiteral("ALTER TABLE RSChange ADD COLUMN Extra VARCHAR(16)"));
    connection().execute(QStringLiteral("INSERT INTO RSChange(ADate,ATime,MiniSecond,StationName,SwitchName,LineName,"
                                        "SignalName,SignalStatus,nValue,Operator,Extra) "
                                        "VALUES(%1,%2,7,'城南变电站','','','保护动作','分',0,'SCADA','unused')")
                             .arg(literal(QStringLiteral("2008-01-31")), literal(QStringLiteral("23:59:59"))));

    const RecordingSink sink = read(ViewMode::SignalChanges);
    ASSERT_EQ(sink.columnNames.size(), 11);
    EXPECT_EQ(sink.columnNames.last().toLower(), QStringLiteral("extra"));
    ASSERT_EQ(sink.rows.size(), 1u);
    EXPECT_EQ(sink.rows[0].value(1), QStringLiteral("23:59:59"));
    EXPECT_EQ(sink.rows[0].value(9), QStringLiteral("SCADA"));
    EXPECT_EQ(sink.rows[0].value(10), QString());
}

// Today's table, one tag's samples, newest first; the third cell names the
// kind instead of the DataType.
TEST_P(RecordFillTest, TelemetryDeliversOneTagsSamplesNewestFirst)
{
    const QString table = TelemetryTableName(kToday);
    createTelemetryTable(table);
    struct Sample {
        const char* at;
        int tag;
        const char* value;
    };
    // Inserted out of order, with a neighbouring tag in between.
    const Sample samples[] = {
        {"2008-01-31 00:05:00", 7, "12.5"}, {"2008-01-31 23:55:00", 7, "14.25"}, {"2008-01-31 00:05:00", 8, "99"},
        {"2008-01-31 12:00:00", 7, "-3.5"}, {"2008-01-31 12:00:00", 17, "1"},
    };
    for (const Sample& s : samples)
        connection().execute(QStringLiteral("INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) "
                                            "VALUES(%2,%3,6,%4,0.5)")
                                 .arg(table, literal(QString::fromLatin1(s.at)))
                                 .arg(s.tag)
                                 .arg(QString::fromLatin1(s.value)));

    RecordingSink sink;
    telemetry::readTodaysSamples(connection(), kind(), 7, kToday, sink);
    EXPECT_EQ(sink.columnNames, reported(SchemaTable::Telemetry));
    ASSERT_EQ(sink.rows.size(), 3u);
    const QStringList times{sink.rows[0].value(0), sink.rows[1].value(0), sink.rows[2].value(0)};
    EXPECT_EQ(times, (QStringList{"2008-01-31 23:55:00", "2008-01-31 12:00:00", "2008-01-31 00:05:00"}));
    const double values[] = {14.25, -3.5, 12.5};
    for (int i = 0; i < 3; ++i) {
        const QStringList& cells = sink.rows[size_t(i)];
        ASSERT_EQ(cells.size(), 5);
        EXPECT_EQ(cells[1], QStringLiteral("7"));
        EXPECT_EQ(cells[2], QStringLiteral("遥测"));
        EXPECT_DOUBLE_EQ(cells[3].toDouble(), values[i]);
        EXPECT_DOUBLE_EQ(cells[4].toDouble(), 0.5);
    }

    RecordingSink none;
    telemetry::readTodaysSamples(connection(), kind(), -2, kToday, none);
    EXPECT_TRUE(none.columnsSeen) << "an empty result still names its columns";
    EXPECT_TRUE(none.rows.empty());
}

// Failures surface as the database layer's exception, after what was read.
TEST_P(RecordFillTest, MissingOrShortTablesThrowTheDatabaseError)
{
    dropTable(TelemetryTableName(kToday));
    RecordingSink telemetry;
    EXPECT_THROW(telemetry::readTodaysSamples(connection(), kind(), 7, kToday, telemetry), db::DbError);
    EXPECT_FALSE(telemetry.columnsSeen);

    dropTable(QStringLiteral("LimitAlarm"));
    RecordingSink alarms;
    EXPECT_THROW(records::readTodaysRecords(connection(), kind(), ViewMode::LimitAlarms, kToday, alarms), db::DbError);
    EXPECT_FALSE(alarms.columnsSeen);

    // A table narrower than the fill's cells: the columns arrive, the first
    // row fails.
    createTable(TelemetryTableName(kToday), QStringLiteral("ATime %1, TagID INTEGER, DataType INTEGER")
                                                .arg(kind() == DatabaseKind::PostgreSQL ? QStringLiteral("TIMESTAMP")
                                                                                        : QStringLiteral("DATETIME")));
    connection().execute(QStringLiteral("INSERT INTO %1(ATime,TagID,DataType) VALUES(%2,7,1)")
                             .arg(TelemetryTableName(kToday), literal(QStringLiteral("2008-01-31 10:00:00"))));
    RecordingSink narrow;
    EXPECT_THROW(telemetry::readTodaysSamples(connection(), kind(), 7, kToday, narrow), db::DbError);
    EXPECT_EQ(narrow.columnNames.size(), 3);
    EXPECT_TRUE(narrow.rows.empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, RecordFillTest, allDatabaseKinds(), kindName);

// The time stamp of a telemetry sample as the list shows it, for the kinds
// whose servers are not at hand here.
TEST(TelemetryTimeCell, SqlServerLosesItsFractionOthersShowTheTextAsRead)
{
    EXPECT_EQ(telemetry::telemetryTimeCell(DatabaseKind::SqlServer, QStringLiteral("2008-01-31 00:05:00.000")),
              QStringLiteral("2008-01-31 00:05:00"));
    EXPECT_EQ(telemetry::telemetryTimeCell(DatabaseKind::SqlServer, QStringLiteral("2008-01-31 00:05:00.000   ")),
              QStringLiteral("2008-01-31 00:05:00"))
        << "blanks go first, then the fraction";
    for (DatabaseKind other : {DatabaseKind::Access, DatabaseKind::Oracle, DatabaseKind::SQLite}) {
        EXPECT_EQ(telemetry::telemetryTimeCell(other, QStringLiteral("2008-01-31 00:05:00")),
                  QStringLiteral("2008-01-31 00:05:00"));
        EXPECT_EQ(telemetry::telemetryTimeCell(other, QStringLiteral("2008-01-31 00:05:00  ")),
                  QStringLiteral("2008-01-31 00:05:00"));
    }
}

} // namespace
