#include "DatabaseTest.h"

#include "DemoContent.h"

#include "db/ResultSet.h"
#include "records/EventKind.h"


using namespace tessera;
using namespace tessera::records;
using namespace tessera::test;

namespace {

const QDate kDay1(2024, 3, 1);
const QDate kDay2(2024, 3, 2);

// The event statements and the catalogue cascade on real databases.
class EventStatementsTest : public DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        createSchema();
    }

    const EventKind& kindOf(ViewMode mode) { return *eventKind(mode); }

    void insert(ViewMode mode, const Record& record)
    {
        connection().execute(insertSql(kindOf(mode), kind(), record));
    }

    std::vector<Record> read(ViewMode mode, const QString& sql)
    {
        std::vector<Record> rows;
        readQuery(connection(), kindOf(mode), sql, [&rows](const Record& r) { rows.push_back(r); });
        return rows;
    }

    std::vector<Record> query(ViewMode mode, const QueryChoice& choice)
    {
        return read(mode, querySql(kindOf(mode), kind(), choice));
    }

    std::vector<Record> all(ViewMode mode)
    {
        return query(mode, {QDate(2000, 1, 1), QDate(2100, 1, 1)});
    }

    static QStringList column(const std::vector<Record>& rows, int c)
    {
        QStringList values;
        for (const Record& r : rows)
            values << r.value(c);
        return values;
    }

    static QStringList sorted(QStringList list)
    {
        list.sort();
        return list;
    }

    static Record signalChange(const QDate& d, const QString& time, const QString& station, const QString& sw,
                               const QString& signal)
    {
        return {dateText(d), time, QStringLiteral("5"), station, sw, QStringLiteral("L1"), signal,
                QStringLiteral("合"), QStringLiteral("1"), QStringLiteral("SCADA")};
    }
};

TEST_P(EventStatementsTest, QueryLevelsNarrowAndOrderSignalChanges)
{
    const QString a = QStringLiteral("城北变电站");
    const QString b = QStringLiteral("城南变电站");
    const QString sw1 = QStringLiteral("1号主变");
    const QString sw2 = QStringLiteral("10kV城关线");
    insert(ViewMode::SignalChanges, signalChange(kDay1, QStringLiteral("08:00:00"), a, sw1, QStringLiteral("开关位置")));
    insert(ViewMode::SignalChanges, signalChange(kDay2, QStringLiteral("07:00:00"), a, sw1, QStringLiteral("保护动作")));
    insert(ViewMode::SignalChanges, signalChange(kDay2, QStringLiteral("09:30:00"), a, sw1, QStringLiteral("开关位置")));
    insert(ViewMode::SignalChanges, signalChange(kDay2, QStringLiteral("10:00:00"), a, sw2, QStringLiteral("开关位置")));
    insert(ViewMode::SignalChanges, signalChange(kDay2, QStringLiteral("11:00:00"), b, sw1, QStringLiteral("开关位置")));
    insert(ViewMode::SignalChanges,
           signalChange(kDay2.addDays(1), QStringLiteral("11:00:00"), a, sw1, QStringLiteral("开关位置")));

    // All stations: newest first, bounded by the two dates inclusive.
    auto rows = query(ViewMode::SignalChanges, {kDay1, kDay2});
    EXPECT_EQ(column(rows, 1), (QStringList{"11:00:00", "10:00:00", "09:30:00", "07:00:00", "08:00:00"}));
    EXPECT_EQ(rows[0].value(0), QStringLiteral("2024-03-02"));
    EXPECT_EQ(rows[0].value(8), QStringLiteral("1"));

    rows = query(ViewMode::SignalChanges, {kDay1, kDay2, a});
    EXPECT_EQ(column(rows, 1), (QStringList{"10:00:00", "09:30:00", "07:00:00", "08:00:00"}));

    // Station and switch: oldest first.
    rows = query(ViewMode::SignalChanges, {kDay1, kDay2, a, sw1});
    EXPECT_EQ(column(rows, 1), (QStringList{"08:00:00", "07:00:00", "09:30:00"}));

    rows = query(ViewMode::SignalChanges, {kDay1, kDay2, a, sw1, QStringLiteral("开关位置")});
    EXPECT_EQ(column(rows, 1), (QStringList{"09:30:00", "08:00:00"}));

    // One day, equal bounds.
    rows = query(ViewMode::SignalChanges, {kDay1, kDay1});
    EXPECT_EQ(rows.size(), 1u);
}

TEST_P(EventStatementsTest, QueryLevelsOfTheOtherKinds)
{
    const QString a = QStringLiteral("城北变电站");
    const QString sw = QStringLiteral("1号主变");
    for (int ms : {3, 1, 2})
        insert(ViewMode::OperationEvents,
               {QString::number(ms), dateText(kDay1), QStringLiteral("08:00:00"), QString::number(ms),
                QStringLiteral("c"), QStringLiteral("r"), QStringLiteral("o"), QString()});
    insert(ViewMode::OperationEvents, {QStringLiteral("9"), dateText(kDay2), QStringLiteral("01:00:00"),
                                       QStringLiteral("0"), QStringLiteral("c"), QStringLiteral("r"),
                                       QStringLiteral("o"), QStringLiteral("note")});
    // Operation events: date, time and millisecond, newest first.
    auto rows = query(ViewMode::OperationEvents, {kDay1, kDay2});
    EXPECT_EQ(column(rows, 3), (QStringList{"0", "3", "2", "1"}));
    EXPECT_EQ(rows[0].value(1), QStringLiteral("2024-03-02"));
    EXPECT_EQ(rows[0].value(2), QStringLiteral("01:00:00"));
    EXPECT_EQ(rows[0].value(7), QStringLiteral("note"));

    auto alarm = [&](const QString& station, const QString& s, const QString& point, const QString& time) {
        insert(ViewMode::LimitAlarms, {dateText(kDay1), time, QStringLiteral("0"), station, s, QStringLiteral("L"),
                                       point, QStringLiteral("越上限"), QStringLiteral("告警"),
                                       QStringLiteral("12.500000"), QStringLiteral("10.000000"),
                                       QStringLiteral("张工")});
    };
    alarm(a, sw, QStringLiteral("A相电流"), QStringLiteral("01:00:00"));
    alarm(a, sw, QStringLiteral("有功功率"), QStringLiteral("02:00:00"));
    alarm(a, QStringLiteral("10kV城关线"), QStringLiteral("A相电流"), QStringLiteral("03:00:00"));
    alarm(QStringLiteral("城南变电站"), sw, QStringLiteral("A相电流"), QStringLiteral("04:00:00"));
    // Limit alarms come in database order: compare as sets.
    EXPECT_EQ(sorted(column(query(ViewMode::LimitAlarms, {kDay1, kDay1}), 1)),
              (QStringList{"01:00:00", "02:00:00", "03:00:00", "04:00:00"}));
    EXPECT_EQ(sorted(column(query(ViewMode::LimitAlarms, {kDay1, kDay1, a}), 1)),
              (QStringList{"01:00:00", "02:00:00", "03:00:00"}));
    EXPECT_EQ(sorted(column(query(ViewMode::LimitAlarms, {kDay1, kDay1, a, sw}), 1)),
              (QStringList{"01:00:00", "02:00:00"}));
    rows = query(ViewMode::LimitAlarms, {kDay1, kDay1, a, sw, QStringLiteral("有功功率")});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_DOUBLE_EQ(rows[0].value(9).toDouble(), 12.5) << "a quoted real lands in the real column";

    for (const char* time : {"01:00:00", "03:00:00", "02:00:00"})
        insert(ViewMode::SoeEvents, {dateText(kDay1), QString::fromLatin1(time), QStringLiteral("0"), a, sw,
                                     QStringLiteral("L"), QStringLiteral("保护"), QStringLiteral("过流I段"),
                                     QStringLiteral("动作"), QStringLiteral("1"), QStringLiteral("SCADA")});
    // SOE: the SELECT sorts newest first; a tag choice does not narrow further.
    EXPECT_EQ(column(query(ViewMode::SoeEvents, {kDay1, kDay1, a, sw, QStringLiteral("x")}), 1),
              (QStringList{"03:00:00", "02:00:00", "01:00:00"}));
    EXPECT_TRUE(query(ViewMode::SoeEvents, {kDay1, kDay1, a, QStringLiteral("10kV城关线")}).empty());
}

TEST_P(EventStatementsTest, QuotesAreStoredLiterallyAndKeysStillMatch)
{
    const QString injection = QStringLiteral("'); DELETE FROM Event; --");
    const Record event{QStringLiteral("1"), dateText(kDay1), QStringLiteral("08:00:00"), QStringLiteral("7"),
                       injection, QStringLiteral("O'Brien"), QStringLiteral("o'p"), QStringLiteral("it's")};
    insert(ViewMode::OperationEvents, event);
    insert(ViewMode::OperationEvents, event);
    EXPECT_EQ(countRows(QStringLiteral("Event")), 2);
    auto rows = all(ViewMode::OperationEvents);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].value(4), injection);
    EXPECT_EQ(rows[0].value(5), QStringLiteral("O'Brien"));

    // A key text with a quote, read back from the list, still addresses its record.
    const QString station = QStringLiteral("O'Neil站");
    const Record soe{dateText(kDay1), QStringLiteral("08:00:00"), QStringLiteral("1"), station, QStringLiteral("s'w"),
                     QStringLiteral("L'1"), QStringLiteral("t"), QStringLiteral("r'n"), QStringLiteral("s"),
                     QStringLiteral("0"), QStringLiteral("op")};
    insert(ViewMode::SoeEvents, soe);
    EXPECT_EQ(query(ViewMode::SoeEvents, {kDay1, kDay1, station, QStringLiteral("s'w")}).size(), 1u);
    Record changed = soe;
    changed[8] = QStringLiteral("x'y");
    EXPECT_TRUE(updateRecord(connection(), kindOf(ViewMode::SoeEvents), kind(), changed));
    EXPECT_EQ(all(ViewMode::SoeEvents).at(0).value(8), QStringLiteral("x'y"));
    connection().execute(deleteSql(kindOf(ViewMode::SoeEvents), kind(), changed));
    EXPECT_EQ(countRows(QStringLiteral("SOE")), 0);
    EXPECT_EQ(countRows(QStringLiteral("Event")), 2);
}

TEST_P(EventStatementsTest, UpdateRewritesOnlyTheRecordsWithThatKey)
{
    const EventKind& events = kindOf(ViewMode::OperationEvents);
    Record a{QStringLiteral("1"), dateText(kDay1), QStringLiteral("08:00:00"), QStringLiteral("7"),
             QStringLiteral("a"), QStringLiteral("r"), QStringLiteral("o"), QString()};
    Record b = a;
    b[4] = QStringLiteral("b"); // same key, other content
    Record other = a;
    other[3] = QStringLiteral("8");
    insert(ViewMode::OperationEvents, a);
    insert(ViewMode::OperationEvents, b);
    insert(ViewMode::OperationEvents, other);

    Record edited = a;
    edited[0] = QStringLiteral("42");
    edited[4] = QStringLiteral("new");
    edited[7] = QStringLiteral("n");
    EXPECT_TRUE(updateRecord(connection(), events, kind(), edited));
    const auto rows = all(ViewMode::OperationEvents);
    EXPECT_EQ(sorted(column(rows, 4)), (QStringList{"a", "new", "new"}));
    for (const Record& r : rows)
        EXPECT_EQ(r.value(0), r.value(3) == QLatin1String("7") ? QStringLiteral("42") : QStringLiteral("1"));

    // The same values again: no row changes, but the record is there.
    EXPECT_TRUE(updateRecord(connection(), events, kind(), edited));

    // A record deleted meanwhile: the update is a failure.
    connection().execute(deleteSql(events, kind(), a));
    EXPECT_FALSE(updateRecord(connection(), events, kind(), edited));
    EXPECT_EQ(countRows(QStringLiteral("Event")), 1);
}

TEST_P(EventStatementsTest, SoeModifyMovesTheDeleteKey)
{
    const EventKind& soe = kindOf(ViewMode::SoeEvents);
    const Record row{dateText(kDay1), QStringLiteral("08:00:00"), QStringLiteral("1"), QStringLiteral("站"),
                     QStringLiteral("回路"), QStringLiteral("L1"), QStringLiteral("保护"), QStringLiteral("过流I段"),
                     QStringLiteral("动作"), QStringLiteral("1"), QStringLiteral("SCADA")};
    insert(ViewMode::SoeEvents, row);
    Record edited = row;
    edited[5] = QStringLiteral("L2");
    edited[7] = QStringLiteral("重合闸");
    ASSERT_TRUE(updateRecord(connection(), soe, kind(), edited));
    // The old line name and reason no longer address it; the new ones do.
    connection().execute(deleteSql(soe, kind(), row));
    EXPECT_EQ(countRows(QStringLiteral("SOE")), 1);
    // List cells with trailing blanks lose them before the delete.
    Record shown = edited;
    shown[3] += QStringLiteral("  ");
    shown[5] += QLatin1Char(' ');
    connection().execute(deleteSql(soe, kind(), shown));
    EXPECT_EQ(countRows(QStringLiteral("SOE")), 0);
}

TEST_P(EventStatementsTest, LimitAlarmKeysDifferBetweenUpdateAndDelete)
{
    const EventKind& alarms = kindOf(ViewMode::LimitAlarms);
    const Record row{dateText(kDay1), QStringLiteral("08:00:00"), QStringLiteral("1"), QStringLiteral("站"),
                     QStringLiteral("回路"), QStringLiteral("L1"), QStringLiteral("A相电流"), QStringLiteral("越上限"),
                     QStringLiteral("告警"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("op")};
    insert(ViewMode::LimitAlarms, row);
    Record edited = row;
    edited[5] = QStringLiteral("other line"); // part of the update key: no such record
    edited[8] = QStringLiteral("复归");
    EXPECT_FALSE(updateRecord(connection(), alarms, kind(), edited));
    // The delete key leaves the line name out and takes the alarm name as shown.
    Record shown = edited;
    shown[7] = QStringLiteral("越上限 ");
    connection().execute(deleteSql(alarms, kind(), shown));
    if (kind() != DatabaseKind::MySql) { // MariaDB compares without trailing blanks
        EXPECT_EQ(countRows(QStringLiteral("LimitAlarm")), 1);
    }
    shown[7] = QStringLiteral("越上限");
    connection().execute(deleteSql(alarms, kind(), shown));
    EXPECT_EQ(countRows(QStringLiteral("LimitAlarm")), 0);
}

TEST_P(EventStatementsTest, CatalogueCascadeFiltersByTagType)
{
    demo::writeCatalogue(connection(), kind());
    const QString station = QStringLiteral("城北变电站");
    EXPECT_EQ(sorted(catalogueValues(connection(), stationsSql())),
              (QStringList{"城北变电站", "城南变电站", "实时数据库", "江东变电站"}));
    // The station-wide measurements have an empty switch; signals hang only under switches.
    EXPECT_EQ(sorted(catalogueValues(connection(), switchesSql(station, QStringLiteral("遥测")))),
              (QStringList{"", "10kV城关线", "10kV工业线", "1号主变"}));
    EXPECT_EQ(sorted(catalogueValues(connection(), switchesSql(station, QStringLiteral("遥信"), "SwitchName"))),
              (QStringList{"10kV城关线", "10kV工业线", "1号主变"}));
    EXPECT_EQ(sorted(catalogueValues(connection(), tagsSql(station, QStringLiteral("1号主变"), QStringLiteral("遥测")))),
              (QStringList{"A相电流", "无功功率", "有功功率"}));
    EXPECT_EQ(sorted(catalogueValues(connection(), tagsSql(station, QStringLiteral("1号主变"), QStringLiteral("遥信")))),
              (QStringList{"保护动作", "开关位置"}));
    EXPECT_TRUE(catalogueValues(connection(), switchesSql(QStringLiteral("O'Brien"), QStringLiteral("遥测"))).empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, EventStatementsTest, allDatabaseKinds(), kindName);

} // namespace
