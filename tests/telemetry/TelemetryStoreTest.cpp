#include "DatabaseTest.h"
#include "RefusingTriggers.h"

#include "DemoContent.h"
#include "SchemaDdl.h"

#include "text/DecimalText.h"
#include "db/DbError.h"
#include "db/ResultSet.h"
#include "telemetry/TelemetryStore.h"
#include "telemetry/TelemetryList.h"
#include "view/FillSink.h"
#include "view/TagCatalogue.h"

#include <functional>
#include <map>

using namespace tessera;
using namespace tessera::telemetry;
using namespace tessera::test;

namespace {

struct Row {
    QString at; // yyyy-mm-dd hh:mm:ss
    int tag = 0;
    int dataType = 0;
    QString value;  // two decimals
    QString change; // two decimals

    bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Row& r)
{
    return out << r.at.toStdString() << " tag " << r.tag << " type " << r.dataType << " " << r.value.toStdString()
               << "/" << r.change.toStdString();
}

QString fixed2(double v)
{
    return QString::asprintf("%0.2f", v);
}

// Answers the batch setting's questions as told and remembers them.
struct ScriptedQuestions : BatchQuestions {
    bool continueAfterDelete = true;
    bool continueAfterSample = true;
    QStringList deleteQuestions;
    QStringList sampleQuestions;

    bool continueAfterDeleteFailure(const QString& sql) override
    {
        deleteQuestions << sql;
        return continueAfterDelete;
    }
    bool continueAfterSampleFailure(const QString& timeText, bool undone) override
    {
        sampleQuestions << timeText;
        undoneOnStop = undone;
        if (onSampleQuestion)
            onSampleQuestion();
        return continueAfterSample;
    }
    bool undoneOnStop = false;
    std::function<void()> onSampleQuestion;
};

struct ListRows : FillSink {
    void columns(const QStringList&) override {}
    void row(const QStringList& cells) override { rows << cells; }
    QList<QStringList> rows;
};

const QDate kMay1(2008, 5, 1);
const QDate kApr30(2008, 4, 30);

struct TableShape {
    bool keyed = false;             // a key on (ATime, TagID): a second sample at an instant fails
    bool fractionalSeconds = false; // ATime holds fractions of a second (MariaDB needs DATETIME(3))
    bool nonTransactional = false;  // MariaDB: a MyISAM table, which cannot roll back
};

using BatchResult = BatchOutcome::Result;
using ReplaceResult = ReplaceOutcome::Result;

class TelemetryStoreTest : public DatabaseTest {
protected:
    void telemetryTable(const QDate& day, TableShape shape = {})
    {
        const QString name = tableOfDay(day);
        dropTable(name);
        QString sql = ddl::createTelemetryTableSql(kind(), name, ddl::Generation::Newer);
        if (shape.keyed)
            sql.insert(sql.lastIndexOf(QLatin1Char(')')), QStringLiteral(", PRIMARY KEY(ATime, TagID)"));
        if (shape.fractionalSeconds && kind() == DatabaseKind::MySql)
            sql.replace(QStringLiteral("ATime DATETIME"), QStringLiteral("ATime DATETIME(3)"));
        if (shape.nonTransactional && kind() == DatabaseKind::MySql)
            sql += QStringLiteral(" ENGINE=MyISAM");
        connection().execute(sql);
    }
    void refuseRows(const QString& table, const QString& event, const QString& condition)
    {
        test::refuseRows(connection(), kind(), table, event, condition);
    }
    bool refuseAtCommit(const QString& table) { return test::refuseAtCommit(connection(), connection(), kind(), table); }
    void catalogueTables()
    {
        for (const QString& table : ddl::schemaTableNames())
            dropTable(table);
        for (const QString& sql : ddl::createSchemaSql(kind()))
            connection().execute(sql);
        demo::writeCatalogue(connection(), kind());
    }
    // A sample at a time of day as typed, fractions of a second allowed ("23:59:59.500").
    void putExact(const QDate& day, const QString& time, int tag, double value)
    {
        connection().execute(QStringLiteral("INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) VALUES('%2 %3',%4,1,%5,0)")
                                 .arg(tableOfDay(day), day.toString(Qt::ISODate), time)
                                 .arg(tag)
                                 .arg(value, 0, 'f', 2));
    }
    void put(const QDate& day, const QString& time, int tag, double value, double change = 0, int dataType = 1)
    {
        connection().execute(QStringLiteral("INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) VALUES(%2,%3,%4,%5,%6)")
                                 .arg(tableOfDay(day), FormatDateLiteral(kind(), day.toString(Qt::ISODate) + u' ' + time))
                                 .arg(tag)
                                 .arg(dataType)
                                 .arg(value, 0, 'f', 2)
                                 .arg(change, 0, 'f', 2));
    }
    // Every row of a day (of one tag, or all), by time and tag.
    std::vector<Row> rows(const QDate& day, int tag = 0) { return rowsOn(connection(), day, tag); }
    static std::vector<Row> rowsOn(db::Connection& connection, const QDate& day, int tag = 0)
    {
        QString sql = QStringLiteral("SELECT ATime,TagID,DataType,nValue,nValueChange FROM %1").arg(tableOfDay(day));
        if (tag)
            sql += QStringLiteral(" WHERE TagID=%1").arg(tag);
        sql += QStringLiteral(" ORDER BY ATime, TagID, nValue");
        std::vector<Row> out;
        auto rs = connection.query(sql);
        while (rs.next())
            out.push_back({rs.string(0).left(19), decimalInteger(rs.string(1)), decimalInteger(rs.string(2)),
                           fixed2(decimalReal(rs.string(3))), fixed2(decimalReal(rs.string(4)))});
        return out;
    }
    BatchOutcome batch(const BatchRequest& request, ScriptedQuestions& questions, quint32 seed = 7)
    {
        return batchOn(connection(), request, questions, seed);
    }
    BatchOutcome batchOn(db::Connection& c, const BatchRequest& request, ScriptedQuestions& questions, quint32 seed = 7)
    {
        RandomSource random(seed);
        return runBatchSetting(c, kind(), request, questions, random);
    }
    ReplaceOutcome replace(const ReplaceRequest& request, const TelemetryScope& scope, QString connectString = {})
    {
        return replaceOn(connection(), request, scope, connectString);
    }
    ReplaceOutcome replaceOn(db::Connection& c, const ReplaceRequest& request, const TelemetryScope& scope,
                             QString connectString = {})
    {
        if (connectString.isEmpty())
            connectString = database().connectString();
        RandomSource random(11);
        return runReplacement(c, kind(), connectString, request, scope, m_catalogue, random);
    }
    void loadCatalogue() { m_catalogue = LoadCatalogue(connection()).root; }

    static TelemetryScope tag(int id)
    {
        TelemetryScope s;
        s.tagId = id;
        return s;
    }

    CatalogueNode m_catalogue;
};

// ---- Batch setting --------------------------------------------------------------------

TEST_P(TelemetryStoreTest, BatchRisingRampOfAWholeDayWithItsDayEndRow)
{
    telemetryTable(kMay1);
    put(kMay1, QStringLiteral("12:00:00"), 17, 55);       // in the range: replaced
    put(kMay1, QStringLiteral("23:59:59"), 17, 99);       // the day's last second: replaced by the day-end row
    put(kMay1, QStringLiteral("12:00:00"), 18, 44);       // another tag: untouched
    ScriptedQuestions questions;
    BatchRequest r {kMay1, QTime(0, 0), QTime(23, 59, 59), 600, 143, 0, BatchMethod::Increase, 17};
    const BatchOutcome outcome = batch(r, questions);
    EXPECT_EQ(outcome.result, BatchResult::Done);
    EXPECT_EQ(outcome.written, 144);
    EXPECT_EQ(outcome.failed, 0);

    const auto written = rows(kMay1, 17);
    ASSERT_EQ(written.size(), 145u);
    EXPECT_EQ(written[0], (Row {QStringLiteral("2008-05-01 00:00:00"), 17, 6, QStringLiteral("0.00"), QStringLiteral("1.00")}));
    EXPECT_EQ(written[1], (Row {QStringLiteral("2008-05-01 00:10:00"), 17, 6, QStringLiteral("1.00"), QStringLiteral("1.00")}));
    EXPECT_EQ(written[72], (Row {QStringLiteral("2008-05-01 12:00:00"), 17, 6, QStringLiteral("72.00"), QStringLiteral("1.00")}));
    EXPECT_EQ(written[143], (Row {QStringLiteral("2008-05-01 23:50:00"), 17, 6, QStringLiteral("143.00"), QStringLiteral("1.00")}));
    EXPECT_EQ(written[144], (Row {QStringLiteral("2008-05-01 23:59:59"), 17, 6, QStringLiteral("143.00"), QStringLiteral("0.00")}));
    EXPECT_EQ(rows(kMay1, 18).size(), 1u);
}

TEST_P(TelemetryStoreTest, BatchFallingRampShortRangesAndTheEndSecond)
{
    telemetryTable(kMay1);
    put(kMay1, QStringLiteral("07:59:59"), 17, 1);
    put(kMay1, QStringLiteral("08:05:00"), 17, 2);
    put(kMay1, QStringLiteral("08:25:00"), 17, 3); // the end's own second: replaced
    put(kMay1, QStringLiteral("08:25:01"), 17, 4); // after it: stays
    ScriptedQuestions questions;
    // Not a whole number of intervals: 08:00, 08:10, 08:20 only, no day-end row.
    batch({kMay1, QTime(8, 0), QTime(8, 25), 600, 30, 10, BatchMethod::Decrease, 17}, questions);
    EXPECT_EQ(rows(kMay1, 17),
              (std::vector<Row> {
                  {QStringLiteral("2008-05-01 07:59:59"), 17, 1, QStringLiteral("1.00"), QStringLiteral("0.00")},
                  {QStringLiteral("2008-05-01 08:00:00"), 17, 6, QStringLiteral("30.00"), QStringLiteral("-10.00")},
                  {QStringLiteral("2008-05-01 08:10:00"), 17, 6, QStringLiteral("20.00"), QStringLiteral("-10.00")},
                  {QStringLiteral("2008-05-01 08:20:00"), 17, 6, QStringLiteral("10.00"), QStringLiteral("-10.00")},
                  {QStringLiteral("2008-05-01 08:25:01"), 17, 1, QStringLiteral("4.00"), QStringLiteral("0.00")},
              }));

    // Shorter than one interval: one sample at the start, minimum rising,
    // maximum falling, change 0; minimum equal to maximum: change 0 throughout.
    for (auto [method, expected] : {std::pair {BatchMethod::Increase, QStringLiteral("10.00")},
                                    std::pair {BatchMethod::Decrease, QStringLiteral("30.00")}}) {
        telemetryTable(kMay1);
        batch({kMay1, QTime(9, 0), QTime(9, 5), 600, 30, 10, method, 17}, questions);
        EXPECT_EQ(rows(kMay1, 17), (std::vector<Row> {{QStringLiteral("2008-05-01 09:00:00"), 17, 6, expected,
                                                        QStringLiteral("0.00")}}));
    }
    telemetryTable(kMay1);
    batch({kMay1, QTime(9, 0), QTime(10, 0), 1200, 5, 5, BatchMethod::Increase, 17}, questions);
    for (const Row& row : rows(kMay1, 17))
        EXPECT_EQ(row.value + u'/' + row.change, QStringLiteral("5.00/0.00")) << row;
    EXPECT_TRUE(questions.deleteQuestions.isEmpty());
    EXPECT_TRUE(questions.sampleQuestions.isEmpty());
}

// The previous value of a midnight start is the latest sample of the day
// before, across a month and a year end; otherwise the sample one interval
// before the start.
TEST_P(TelemetryStoreTest, RandomSeriesStartsFromThePreviousValue)
{
    struct Case {
        QDate day;
        QDate before;
    };
    for (const Case& c : {Case {QDate(2008, 1, 1), QDate(2007, 12, 31)}, Case {QDate(2008, 3, 1), QDate(2008, 2, 29)}}) {
        SCOPED_TRACE(c.day.toString(Qt::ISODate).toStdString());
        telemetryTable(c.before);
        telemetryTable(c.day);
        put(c.before, QStringLiteral("10:00:00"), 17, 5);
        put(c.before, QStringLiteral("23:55:00"), 17, 7.5);
        put(c.before, QStringLiteral("23:59:00"), 18, 99);
        ScriptedQuestions questions;
        batch({c.day, QTime(0, 0), QTime(1, 0), 600, 100, 20, BatchMethod::Random, 17}, questions);
        const auto written = rows(c.day, 17);
        ASSERT_EQ(written.size(), 7u);
        double previous = 7.5;
        for (const Row& row : written) {
            const double value = row.value.toDouble();
            EXPECT_GE(value, 20);
            EXPECT_LE(value, 100);
            EXPECT_NEAR(row.change.toDouble(), value - previous, 0.011) << row;
            previous = value;
        }
    }

    // One interval before a later start; without such a sample the first
    // change is the first value.
    telemetryTable(kMay1);
    put(kMay1, QStringLiteral("07:50:00"), 17, 4);
    ScriptedQuestions questions;
    batch({kMay1, QTime(8, 0), QTime(8, 0), 600, 10, 0, BatchMethod::Random, 17}, questions);
    auto first = rows(kMay1, 17).at(1);
    EXPECT_NEAR(first.change.toDouble(), first.value.toDouble() - 4, 0.011) << first;
    batch({kMay1, QTime(9, 0), QTime(9, 0), 300, 10, 1, BatchMethod::Random, 17}, questions);
    first = rows(kMay1, 17).at(2);
    EXPECT_EQ(first.at, QStringLiteral("2008-05-01 09:00:00"));
    EXPECT_EQ(first.change, first.value);

    // No table for the day before: the range is filled from 0 all the same.
    dropTable(tableOfDay(kApr30));
    telemetryTable(kMay1);
    batch({kMay1, QTime(0, 0), QTime(0, 30), 600, 10, 1, BatchMethod::Random, 17}, questions);
    const auto filled = rows(kMay1, 17);
    ASSERT_EQ(filled.size(), 4u);
    EXPECT_EQ(filled[0].change, filled[0].value);
}

TEST_P(TelemetryStoreTest, BatchOnAMissingTableAsksAtTheDeleteAndWritesNothing)
{
    // The delete's question shows the statement; Cancel ends, OK goes on to
    // an insert that cannot be prepared.
    dropTable(tableOfDay(kMay1));
    ScriptedQuestions questions;
    questions.continueAfterDelete = false;
    const BatchRequest r {kMay1, QTime(8, 0), QTime(9, 0), 600, 30, 10, BatchMethod::Increase, 17};
    BatchOutcome outcome = batch(r, questions);
    EXPECT_EQ(outcome.result, BatchResult::Cancelled);
    ASSERT_EQ(questions.deleteQuestions.size(), 1);
    EXPECT_EQ(questions.deleteQuestions[0], batchDeleteSql(kind(), r));
    EXPECT_TRUE(questions.deleteQuestions[0].startsWith(QStringLiteral("DELETE FROM Tag20080501 WHERE ATime>=")));
    questions.continueAfterDelete = true;
    outcome = batch(r, questions);
    EXPECT_NE(outcome.result, BatchResult::Cancelled);
    EXPECT_EQ(outcome.written, 0);
    // Drivers that prepare on the server refuse the insert at once; others fail each sample.
    EXPECT_TRUE(outcome.result == BatchResult::InsertRefused || outcome.failed == 7) << outcome.failed;
}

// ---- Replacement ---------------------------------------------------------------------------

TEST_P(TelemetryStoreTest, ReplacementCopiesTheRangeOfOneTagByWholeDays)
{
    telemetryTable(kApr30);
    telemetryTable(kMay1);
    for (const char* t : {"07:55:00", "08:00:00", "08:30:00", "09:00:00", "09:05:00"})
        put(kApr30, QString::fromLatin1(t), 17, 10 + QString::fromLatin1(t).mid(3, 2).toInt(), 0.5, 1);
    put(kApr30, QStringLiteral("08:30:00"), 18, 77);
    put(kMay1, QStringLiteral("07:55:00"), 17, 1);
    put(kMay1, QStringLiteral("08:00:00"), 17, 2);
    put(kMay1, QStringLiteral("08:45:00"), 17, 3);
    put(kMay1, QStringLiteral("09:30:00"), 17, 4);
    put(kMay1, QStringLiteral("08:30:00"), 18, 5);

    const ReplaceRequest r {kApr30, kMay1, QTime(8, 0), QTime(9, 0), false, 0, 0};
    EXPECT_EQ(dayOffset(r), 1);
    EXPECT_EQ(replace(r, tag(17)).result, ReplaceOutcome::Result::Done);
    EXPECT_EQ(rows(kMay1, 17),
              (std::vector<Row> {
                  {QStringLiteral("2008-05-01 07:55:00"), 17, 1, QStringLiteral("1.00"), QStringLiteral("0.00")},
                  {QStringLiteral("2008-05-01 08:00:00"), 17, 1, QStringLiteral("10.00"), QStringLiteral("0.50")},
                  {QStringLiteral("2008-05-01 08:30:00"), 17, 1, QStringLiteral("40.00"), QStringLiteral("0.50")},
                  {QStringLiteral("2008-05-01 09:00:00"), 17, 1, QStringLiteral("10.00"), QStringLiteral("0.50")},
                  {QStringLiteral("2008-05-01 09:30:00"), 17, 1, QStringLiteral("4.00"), QStringLiteral("0.00")},
              }));
    EXPECT_EQ(rows(kMay1, 18).at(0).value, QStringLiteral("5.00"));

    // Backwards: the target day before the source day.
    const ReplaceRequest back {kMay1, kApr30, QTime(9, 30), QTime(9, 30), false, 0, 0};
    EXPECT_EQ(dayOffset(back), -1);
    EXPECT_EQ(replace(back, tag(17)).result, ReplaceOutcome::Result::Done);
    const auto moved = rows(kApr30, 17);
    ASSERT_EQ(moved.size(), 6u);
    EXPECT_EQ(moved[5], (Row {QStringLiteral("2008-04-30 09:30:00"), 17, 1, QStringLiteral("4.00"), QStringLiteral("0.00")}));
}

TEST_P(TelemetryStoreTest, ReplacementWithCorrectionWritesHandSetRows)
{
    telemetryTable(kApr30);
    telemetryTable(kMay1);
    put(kApr30, QStringLiteral("08:00:00"), 17, 12.34, -1.23, 1);
    put(kApr30, QStringLiteral("08:10:00"), 17, 20, 7.66, 3);
    put(kMay1, QStringLiteral("08:05:00"), 17, 99);

    ReplaceRequest r {kApr30, kMay1, QTime(8, 0), QTime(9, 0), true, 1, 1};
    ReplaceOutcome outcome = replace(r, tag(17));
    EXPECT_EQ(outcome.result, ReplaceOutcome::Result::Done);
    EXPECT_EQ(outcome.copied, 2);
    // Coefficient 1: the source values to two decimals, DataType 6, times on the target day.
    const auto once = rows(kMay1, 17);
    ASSERT_EQ(once.size(), 2u);
    EXPECT_EQ(once[0].at, QStringLiteral("2008-05-01 08:00:00"));
    EXPECT_EQ(once[0].dataType, 6);
    EXPECT_EQ(once[0].value + u'/' + once[0].change, QStringLiteral("12.34/-1.23"));
    EXPECT_EQ(once[1], (Row {QStringLiteral("2008-05-01 08:10:00"), 17, 6, QStringLiteral("20.00"), QStringLiteral("7.66")}));

    r.minimumCoefficient = r.maximumCoefficient = 0;
    EXPECT_EQ(replace(r, tag(17)).result, ReplaceOutcome::Result::Done);
    for (const Row& row : rows(kMay1, 17))
        EXPECT_EQ(row.value + u'/' + row.change, QStringLiteral("0.00/0.00")) << row;

    // Coefficients between 2 and 3: every value lies in the scaled range.
    r.minimumCoefficient = 2;
    r.maximumCoefficient = 3;
    replace(r, tag(17));
    const auto scaled = rows(kMay1, 17);
    ASSERT_EQ(scaled.size(), 2u);
    EXPECT_GE(scaled[1].value.toDouble(), 40 - 0.005);
    EXPECT_LE(scaled[1].value.toDouble(), 60 + 0.005);

}

// Tag, switch, station and all telemetry: the rows of the scope in the range
// become the source day's; everything else keeps its values.
TEST_P(TelemetryStoreTest, ReplacementScopes)
{
    catalogueTables();
    loadCatalogue();
    telemetryTable(kApr30);
    telemetryTable(kMay1);
    demo::writeSamplesOfDay(connection(), tableOfDay(kApr30), kApr30);
    demo::writeSamplesOfDay(connection(), tableOfDay(kMay1), kMay1);
    const auto before = rows(kMay1);
    const auto source = rows(kApr30);

    struct Case {
        TelemetryScope scope;
        std::function<bool(const demo::Tag&)> inScope;
    };
    const QString station = QStringLiteral("城南变电站");
    const QString feeder = QStringLiteral("10kV城关线");
    TelemetryScope sw;
    sw.kind = TelemetryScope::Kind::Switch;
    sw.station = station;
    sw.switchName = feeder;
    TelemetryScope st;
    st.kind = TelemetryScope::Kind::Station;
    st.station = station;
    TelemetryScope all;
    all.kind = TelemetryScope::Kind::AllTelemetry;
    const std::vector<Case> cases = {
        {tag(8), [](const demo::Tag& t) { return t.id == 8; }},
        {sw, [&](const demo::Tag& t) { return t.station == station && t.switchName == feeder; }},
        {st, [&](const demo::Tag& t) { return t.station == station && t.type == kTagTypeTelemetry; }},
        {all, [](const demo::Tag& t) { return t.type == kTagTypeTelemetry; }},
    };
    std::map<int, const demo::Tag*> tags;
    for (const demo::Tag& t : demo::catalogue())
        tags[t.id] = &t;
    const ReplaceRequest r {kApr30, kMay1, QTime(8, 0), QTime(8, 30), false, 0, 0};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.scope.kind));
        // Start each case from the day as written.
        connection().execute(QStringLiteral("DELETE FROM %1").arg(tableOfDay(kMay1)));
        demo::writeSamplesOfDay(connection(), tableOfDay(kMay1), kMay1);
        ASSERT_EQ(replace(r, c.scope).result, ReplaceOutcome::Result::Done);

        std::vector<Row> expected;
        for (const Row& row : before) {
            const QString time = row.at.mid(11);
            const bool inRange = time >= QStringLiteral("08:00:00") && time <= QStringLiteral("08:30:00");
            if (!(inRange && c.inScope(*tags.at(row.tag))))
                expected.push_back(row);
        }
        for (const Row& row : source) {
            const QString time = row.at.mid(11);
            const bool inRange = time >= QStringLiteral("08:00:00") && time <= QStringLiteral("08:30:00");
            if (inRange && c.inScope(*tags.at(row.tag))) {
                Row copied = row;
                copied.at = QStringLiteral("2008-05-01 ") + time;
                expected.push_back(copied);
            }
        }
        std::sort(expected.begin(), expected.end(), [](const Row& a, const Row& b) {
            return std::tie(a.at, a.tag, a.value) < std::tie(b.at, b.tag, b.value);
        });
        const auto after = rows(kMay1);
        ASSERT_EQ(after.size(), expected.size());
        EXPECT_TRUE(after == expected);
        EXPECT_NE(after, before);
    }
}

TEST_P(TelemetryStoreTest, ReplacementLeavesTheTargetAloneWhenItCannotStart)
{
    catalogueTables();
    loadCatalogue();
    telemetryTable(kApr30);
    telemetryTable(kMay1);
    put(kApr30, QStringLiteral("08:00:00"), 17, 1);
    put(kMay1, QStringLiteral("08:00:00"), 17, 2);
    const ReplaceRequest r {kApr30, kMay1, QTime(0, 0), QTime(23, 59, 59), false, 0, 0};

    EXPECT_EQ(replace(r, tag(17), QStringLiteral("DSN=TesseraNoSuchSource;UID=x;PWD=y")).result,
              ReplaceOutcome::Result::SecondConnectionFailed);
    EXPECT_EQ(rows(kMay1, 17).at(0).value, QStringLiteral("2.00"));

    // A switch whose tags the catalogue does not know: the delete fails, nothing is copied.
    TelemetryScope unknown;
    unknown.kind = TelemetryScope::Kind::Switch;
    unknown.station = QStringLiteral("城南变电站");
    unknown.switchName = QStringLiteral("无此回路");
    EXPECT_EQ(replace(r, unknown).result, ReplaceOutcome::Result::DeleteFailed);
    EXPECT_EQ(rows(kMay1).size(), 1u);

    // No target table: the delete fails and nothing else happens.
    dropTable(tableOfDay(kMay1));
    EXPECT_EQ(replace(r, tag(17)).result, ReplaceOutcome::Result::DeleteFailed);
    EXPECT_EQ(rows(kApr30).size(), 1u);
}

// ---- Zeroing, query, single value, delete ------------------------------------------------------

TEST_P(TelemetryStoreTest, ZeroingScopesKeepSamplesOutsideTheRange)
{
    catalogueTables();
    loadCatalogue();
    telemetryTable(kMay1);
    demo::writeSamplesOfDay(connection(), tableOfDay(kMay1), kMay1);
    const RangeOfDay range {kMay1, QTime(8, 0), QTime(9, 0)};
    const QString station = QStringLiteral("江东变电站");
    TelemetryScope st;
    st.kind = TelemetryScope::Kind::Station;
    st.station = station;
    zeroTelemetry(connection(), kind(), range, st, m_catalogue);

    int zeroed = 0;
    for (const Row& row : rows(kMay1)) {
        const demo::Tag* t = nullptr;
        for (const demo::Tag& c : demo::catalogue())
            if (c.id == row.tag)
                t = &c;
        ASSERT_NE(t, nullptr);
        const QString time = row.at.mid(11);
        const bool in = t->station == station && t->type == kTagTypeTelemetry && time >= QStringLiteral("08:00:00")
            && time <= QStringLiteral("09:00:00");
        if (in) {
            EXPECT_EQ(row.value + u'/' + row.change, QStringLiteral("0.00/0.00")) << row;
            ++zeroed;
        } else if (row.value == QStringLiteral("0.00")) {
            ADD_FAILURE() << "zeroed outside the scope: " << row;
        }
    }
    EXPECT_EQ(zeroed, 13 * 11); // 11 telemetry tags of the station, 08:00 to 09:00 inclusive

    // A switch: its pulse counter is zeroed with it.
    TelemetryScope sw;
    sw.kind = TelemetryScope::Kind::Switch;
    sw.station = QStringLiteral("城北变电站");
    sw.switchName = QStringLiteral("1号主变");
    zeroTelemetry(connection(), kind(), {kMay1, QTime(0, 0), QTime(0, 0)}, sw, m_catalogue);
    int zeroedAtMidnight = 0;
    for (const Row& row : rows(kMay1))
        if (row.at.endsWith(QStringLiteral("00:00:00")) && row.value == QStringLiteral("0.00"))
            ++zeroedAtMidnight;
    EXPECT_EQ(zeroedAtMidnight, 4); // three telemetry tags and the pulse counter

    sw.switchName = QStringLiteral("无此回路");
    EXPECT_THROW(zeroTelemetry(connection(), kind(), range, sw, m_catalogue), db::DbError);
    dropTable(tableOfDay(kMay1));
    EXPECT_THROW(zeroTelemetry(connection(), kind(), range, tag(1), m_catalogue), db::DbError);
}

TEST_P(TelemetryStoreTest, QuerySingleValueAndDeleteByTheRowsOwnDay)
{
    telemetryTable(kApr30);
    telemetryTable(kMay1);
    put(kMay1, QStringLiteral("08:00:00"), 17, 1, 0, 6);
    put(kMay1, QStringLiteral("08:30:00"), 17, 2, 0, 1); // not hand-set: not listed
    put(kMay1, QStringLiteral("09:00:00"), 17, 3, 0, 6);
    put(kMay1, QStringLiteral("09:00:01"), 17, 4, 0, 6);
    ListRows list;
    queryTelemetry(connection(), kind(), {kMay1, QTime(8, 0), QTime(9, 0), 17}, list);
    ASSERT_EQ(list.rows.size(), 2);
    EXPECT_EQ(list.rows[0].mid(0, 3), (QStringList {QStringLiteral("2008-05-01 09:00:00"), QStringLiteral("17"),
                                                    QStringLiteral("遥测")}));
    EXPECT_EQ(list.rows[1][0], QStringLiteral("2008-05-01 08:00:00"));
    ListRows none;
    queryTelemetry(connection(), kind(), {kMay1, QTime(9, 0), QTime(8, 0), 17}, none);
    EXPECT_TRUE(none.rows.isEmpty());
    EXPECT_THROW(queryTelemetry(connection(), kind(), {QDate(2008, 5, 2), QTime(0, 0), QTime(1, 0), 17}, none),
                 db::DbError);

    SingleValue add {kApr30, QTime(23, 0), 1.239f, -0.5f, 17, true};
    EXPECT_TRUE(writeSingleValue(connection(), kind(), add));
    EXPECT_EQ(rows(kApr30, 17),
              (std::vector<Row> {{QStringLiteral("2008-04-30 23:00:00"), 17, 6, QStringLiteral("1.24"), QStringLiteral("-0.50")}}));
    SingleValue modify = add;
    modify.add = false;
    modify.value = 8;
    EXPECT_TRUE(writeSingleValue(connection(), kind(), modify));
    EXPECT_TRUE(writeSingleValue(connection(), kind(), modify)) << "the same values again still find the sample";
    EXPECT_EQ(rows(kApr30, 17).at(0).value, QStringLiteral("8.00"));
    modify.time = QTime(22, 0);
    EXPECT_FALSE(writeSingleValue(connection(), kind(), modify)) << "no sample at that instant";

    // The delete takes the day's table from the row's own time text.
    deleteSample(connection(), kind(), QStringLiteral("2008-04-30 23:00:00"), 17);
    deleteSample(connection(), kind(), QStringLiteral("2008-05-01 08:00:00"), 17);
    EXPECT_TRUE(rows(kApr30).empty());
    EXPECT_EQ(rows(kMay1, 17).size(), 3u);
    EXPECT_THROW(deleteSample(connection(), kind(), QStringLiteral("2008-05-02 08:00:00"), 17), db::DbError);
}

// ---- Units under failure -------------------------------------------------------------------------

// Every instant a batch writes is deleted first, the day-end row's too: a
// rerun leaves the rows of the first run, also where (ATime, TagID) is a key.
TEST_P(TelemetryStoreTest, BatchRerunsLeaveTheSameRows)
{
    struct Case {
        const char* what;
        QTime start;
        QTime end;
        int interval;
        size_t rows;
    };
    const Case cases[] = {
        {"a whole day with its day-end row", QTime(0, 0), QTime(23, 59, 59), 3600, 25},
        {"the end on the grid", QTime(8, 0), QTime(8, 20), 600, 3},
        {"a day-end row after the end", QTime(0, 0), QTime(23, 0), 3600, 25},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        telemetryTable(kMay1, {.keyed = true});
        put(kMay1, QStringLiteral("08:00:00"), 18, 5);
        put(kMay1, QStringLiteral("23:59:59"), 18, 6);
        ScriptedQuestions questions;
        const BatchRequest r {kMay1, c.start, c.end, c.interval, 48, 0, BatchMethod::Increase, 17};
        EXPECT_EQ(batch(r, questions).result, BatchResult::Done);
        const auto once = rows(kMay1);
        const BatchOutcome again = batch(r, questions);
        EXPECT_EQ(again.result, BatchResult::Done);
        EXPECT_EQ(again.failed, 0);
        EXPECT_EQ(rows(kMay1, 17).size(), c.rows);
        EXPECT_EQ(rows(kMay1), once);
        EXPECT_EQ(rows(kMay1, 18).size(), 2u);
        EXPECT_TRUE(questions.sampleQuestions.isEmpty());
    }
}

// A batch setting is one unit: stopped at a refused sample, or with its
// day-end row refused, it leaves the table as it was; told to go on, it
// commits every sample but the refused one.
TEST_P(TelemetryStoreTest, BatchSettingIsOneUnit)
{
    struct Case {
        const char* what;
        QString refused; // trigger condition
        bool goOn;
        BatchResult result;
        qint64 failed;
        bool unchanged;
    };
    const Case cases[] = {
        {"stopped at a refused sample", QStringLiteral("NEW.nValue=2"), false, BatchResult::Stopped, 1, true},
        {"going on past a refused sample", QStringLiteral("NEW.nValue=2"), true, BatchResult::Done, 1, false},
        {"the day-end row refused", QStringLiteral("NEW.nValueChange=0"), true, BatchResult::DayEndFailed, 0, true},
    };
    // 24 hourly samples 0 to 23, then the day-end row 23/0.
    const BatchRequest r {kMay1, QTime(0, 0), QTime(23, 59, 59), 3600, 23, 0, BatchMethod::Increase, 17};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        telemetryTable(kMay1);
        put(kMay1, QStringLiteral("06:00:00"), 17, 50, 1);
        put(kMay1, QStringLiteral("23:59:59"), 17, 51, 1);
        put(kMay1, QStringLiteral("12:00:00"), 18, 52, 1);
        refuseRows(tableOfDay(kMay1), QStringLiteral("INSERT"), c.refused);
        const auto before = rows(kMay1);
        ScriptedQuestions questions;
        questions.continueAfterSample = c.goOn;
        const BatchOutcome outcome = batch(r, questions);
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(outcome.failed, c.failed);
        if (c.failed) {
            EXPECT_EQ(questions.sampleQuestions, QStringList {QStringLiteral("2008-05-01 02:00:00")});
            EXPECT_TRUE(questions.undoneOnStop);
        }
        if (c.unchanged) {
            EXPECT_EQ(outcome.written, 0);
            EXPECT_EQ(rows(kMay1), before);
            continue;
        }
        EXPECT_EQ(outcome.written, 23);
        std::vector<Row> expected;
        for (int hour = 0; hour < 24; ++hour)
            if (hour != 2)
                expected.push_back({QStringLiteral("2008-05-01 %1:00:00").arg(hour, 2, 10, QLatin1Char('0')), 17, 6,
                                    fixed2(hour), QStringLiteral("1.00")});
        expected.push_back({QStringLiteral("2008-05-01 23:59:59"), 17, 6, QStringLiteral("23.00"), QStringLiteral("0.00")});
        EXPECT_EQ(rows(kMay1, 17), expected);
        EXPECT_EQ(rows(kMay1, 18), (std::vector<Row> {before[1]}));
    }
}

// A commit the database refuses writes nothing, and the outcome says so
// instead of counting failed samples.
TEST_P(TelemetryStoreTest, ARefusedCommitLeavesTheTargetAsItWas)
{
    telemetryTable(kApr30);
    telemetryTable(kMay1);
    put(kApr30, QStringLiteral("08:00:00"), 17, 1);
    put(kApr30, QStringLiteral("08:30:00"), 17, 2);
    put(kMay1, QStringLiteral("08:00:00"), 17, 5);
    put(kMay1, QStringLiteral("08:10:00"), 17, 6);
    if (!refuseAtCommit(tableOfDay(kMay1)))
        GTEST_SKIP() << "MariaDB checks nothing at commit";
    const auto before = rows(kMay1);

    ScriptedQuestions questions;
    const BatchOutcome batched = batch({kMay1, QTime(8, 0), QTime(9, 0), 600, 6, 0, BatchMethod::Increase, 17}, questions);
    EXPECT_EQ(batched.result, BatchResult::CommitFailed);
    EXPECT_EQ(batched.written, 0);
    EXPECT_EQ(batched.failed, 0);
    EXPECT_EQ(rows(kMay1), before);

    for (bool correct : {false, true}) {
        SCOPED_TRACE(correct ? "with correction" : "without correction");
        const ReplaceOutcome replaced = replace({kApr30, kMay1, QTime(8, 0), QTime(9, 0), correct, 1, 1}, tag(17));
        EXPECT_EQ(replaced.result, ReplaceResult::CommitFailed);
        EXPECT_EQ(replaced.copied, 0);
        EXPECT_EQ(rows(kMay1), before);
    }
}

// A replacement completes or leaves the target day as it was: a source day
// without a table and a refused copy change nothing; with correction a
// refused row is skipped and counted while the others are written.
TEST_P(TelemetryStoreTest, ReplacementIsOneUnit)
{
    struct Case {
        const char* what;
        bool correct;
        bool noSourceTable;
        QString refused; // trigger condition on the target
        ReplaceResult result;
        qint64 skipped;
    };
    const Case cases[] = {
        {"no source table", false, true, {}, ReplaceResult::CopyFailed, 0},
        {"no source table, with correction", true, true, {}, ReplaceResult::ReadFailed, 0},
        {"a copied row refused", false, false, QStringLiteral("NEW.nValue=12"), ReplaceResult::CopyFailed, 0},
        {"a corrected row refused", true, false, QStringLiteral("NEW.nValue=12"), ReplaceResult::Done, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        telemetryTable(kApr30);
        telemetryTable(kMay1);
        put(kApr30, QStringLiteral("08:00:00"), 17, 11);
        put(kApr30, QStringLiteral("08:30:00"), 17, 12);
        put(kApr30, QStringLiteral("09:00:00"), 17, 13);
        put(kMay1, QStringLiteral("07:59:59"), 17, 1);
        put(kMay1, QStringLiteral("08:15:00"), 17, 2);
        put(kMay1, QStringLiteral("09:00:00"), 17, 3);
        put(kMay1, QStringLiteral("08:15:00"), 18, 4);
        if (c.noSourceTable)
            dropTable(tableOfDay(kApr30));
        if (!c.refused.isEmpty())
            refuseRows(tableOfDay(kMay1), QStringLiteral("INSERT"), c.refused);
        const auto before = rows(kMay1);

        const ReplaceOutcome outcome = replace({kApr30, kMay1, QTime(8, 0), QTime(9, 0), c.correct, 1, 1}, tag(17));
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(outcome.skipped, c.skipped);
        if (c.result != ReplaceResult::Done) {
            EXPECT_EQ(rows(kMay1), before);
            continue;
        }
        EXPECT_EQ(outcome.copied, 2);
        EXPECT_EQ(rows(kMay1),
                  (std::vector<Row> {
                      {QStringLiteral("2008-05-01 07:59:59"), 17, 1, QStringLiteral("1.00"), QStringLiteral("0.00")},
                      {QStringLiteral("2008-05-01 08:00:00"), 17, 6, QStringLiteral("11.00"), QStringLiteral("0.00")},
                      {QStringLiteral("2008-05-01 08:15:00"), 18, 1, QStringLiteral("4.00"), QStringLiteral("0.00")},
                      {QStringLiteral("2008-05-01 09:00:00"), 17, 6, QStringLiteral("13.00"), QStringLiteral("0.00")},
                  }));
    }
}

// Zeroing is one unit: a refused row leaves every sample as it was.
TEST_P(TelemetryStoreTest, ZeroingIsOneUnit)
{
    catalogueTables();
    loadCatalogue();
    telemetryTable(kMay1);
    demo::writeSamplesOfDay(connection(), tableOfDay(kMay1), kMay1);
    refuseRows(tableOfDay(kMay1), QStringLiteral("UPDATE"), QStringLiteral("NEW.TagID=47"));
    const auto before = rows(kMay1);
    TelemetryScope st;
    st.kind = TelemetryScope::Kind::Station;
    st.station = QStringLiteral("江东变电站");
    EXPECT_THROW(zeroTelemetry(connection(), kind(), {kMay1, QTime(8, 0), QTime(9, 0)}, st, m_catalogue), db::DbError);
    EXPECT_EQ(rows(kMay1), before);
}

// An end time covers its whole second: samples stored with a fraction of a
// second in that second (the day's last, 23:59:59.500) are zeroed, deleted
// and copied with the range.
TEST_P(TelemetryStoreTest, TheEndTimeCoversItsWholeSecond)
{
    struct Case {
        const char* what;
        std::function<void()> run;
        QStringList expected; // tag 17 of the target day: "hh:mm:ss value"
    };
    const QTime dayEnd(23, 59, 59);
    ScriptedQuestions questions;
    const Case cases[] = {
        {"zeroing up to 23:59:59",
         [&] { zeroTelemetry(connection(), kind(), {kMay1, QTime(0, 0), dayEnd}, tag(17), m_catalogue); },
         {QStringLiteral("12:00:00 0.00"), QStringLiteral("12:00:01 0.00"), QStringLiteral("23:59:59 0.00")}},
        {"zeroing up to 12:00:00",
         [&] { zeroTelemetry(connection(), kind(), {kMay1, QTime(11, 0), QTime(12, 0)}, tag(17), m_catalogue); },
         {QStringLiteral("12:00:00 0.00"), QStringLiteral("12:00:01 9.00"), QStringLiteral("23:59:59 7.00")}},
        {"batch setting up to 23:59:59",
         [&] { batch({kMay1, QTime(12, 0), dayEnd, 43200, 1, 1, BatchMethod::Increase, 17}, questions); },
         {QStringLiteral("12:00:00 1.00")}},
        {"replacement up to 23:59:59",
         [&] { replace({kApr30, kMay1, QTime(12, 0, 1), dayEnd, false, 0, 0}, tag(17)); },
         {QStringLiteral("12:00:00 8.00"), QStringLiteral("23:59:59 21.00")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        telemetryTable(kApr30, {.fractionalSeconds = true});
        telemetryTable(kMay1, {.fractionalSeconds = true});
        putExact(kApr30, QStringLiteral("23:59:59.500"), 17, 21);
        putExact(kMay1, QStringLiteral("12:00:00.500"), 17, 8);
        putExact(kMay1, QStringLiteral("12:00:01"), 17, 9);
        putExact(kMay1, QStringLiteral("23:59:59.500"), 17, 7);
        c.run();
        QStringList left;
        for (const Row& row : rows(kMay1, 17))
            left << row.at.mid(11) + u' ' + row.value;
        EXPECT_EQ(left, c.expected);
    }
}

// A connection that dies in the middle of a unit ends it with one outcome,
// not one failure per row; the server has rolled the unit back.
TEST_P(TelemetryStoreTest, ALostConnectionEndsTheUnitOnce)
{
    if (kind() == DatabaseKind::SQLite)
        GTEST_SKIP() << "SQLite has no server connection to lose";
    telemetryTable(kApr30);
    telemetryTable(kMay1);
    put(kApr30, QStringLiteral("08:00:00"), 17, 1);
    put(kMay1, QStringLiteral("06:00:00"), 17, 50);
    put(kMay1, QStringLiteral("08:00:00"), 17, 51);
    refuseRows(tableOfDay(kMay1), QStringLiteral("INSERT"), QStringLiteral("NEW.nValue=2"));
    const auto before = rows(kMay1);

    db::Connection victim = openConnection();
    ScriptedQuestions questions;
    questions.onSampleQuestion = [&] { ASSERT_TRUE(killServerSession(victim)); };
    const BatchOutcome batched =
        batchOn(victim, {kMay1, QTime(0, 0), QTime(23, 59, 59), 3600, 23, 0, BatchMethod::Increase, 17}, questions);
    EXPECT_EQ(batched.result, BatchResult::ConnectionLost);
    EXPECT_EQ(questions.sampleQuestions.size(), 1);
    EXPECT_EQ(rows(kMay1), before);

    // The question at the failed delete is not asked of a dead connection.
    db::Connection gone = openConnection();
    ASSERT_TRUE(killServerSession(gone));
    const BatchOutcome unasked =
        batchOn(gone, {kMay1, QTime(8, 0), QTime(9, 0), 600, 6, 0, BatchMethod::Increase, 17}, questions);
    EXPECT_EQ(unasked.result, BatchResult::ConnectionLost);
    EXPECT_TRUE(questions.deleteQuestions.isEmpty());

    for (bool correct : {false, true}) {
        SCOPED_TRACE(correct ? "with correction" : "without correction");
        db::Connection dead = openConnection();
        ASSERT_TRUE(killServerSession(dead));
        EXPECT_EQ(replaceOn(dead, {kApr30, kMay1, QTime(8, 0), QTime(9, 0), correct, 1, 1}, tag(17)).result,
                  ReplaceResult::ConnectionLost);
        EXPECT_EQ(rows(kMay1), before);
    }
}

// A table that cannot roll back (MariaDB MyISAM): the source is proven
// readable before the delete, and every row is written once, never replayed.
TEST_P(TelemetryStoreTest, TablesThatCannotRollBackGetEveryRowOnce)
{
    if (kind() != DatabaseKind::MySql)
        GTEST_SKIP() << "only MariaDB has tables without transactions here";
    const auto target = [&] {
        telemetryTable(kApr30);
        telemetryTable(kMay1, {.nonTransactional = true});
        put(kApr30, QStringLiteral("08:00:00"), 17, 11);
        put(kApr30, QStringLiteral("08:30:00"), 17, 12);
        put(kApr30, QStringLiteral("09:00:00"), 17, 13);
        put(kMay1, QStringLiteral("08:15:00"), 17, 2);
        put(kMay1, QStringLiteral("10:00:00"), 17, 3);
    };

    for (bool correct : {false, true}) {
        SCOPED_TRACE(correct ? "no source table, with correction" : "no source table");
        target();
        dropTable(tableOfDay(kApr30));
        const auto before = rows(kMay1);
        EXPECT_NE(replace({kApr30, kMay1, QTime(8, 0), QTime(9, 0), correct, 1, 1}, tag(17)).result,
                  ReplaceResult::Done);
        EXPECT_EQ(rows(kMay1), before);
    }

    // With correction, a refused row is skipped; the others are there once.
    target();
    refuseRows(tableOfDay(kMay1), QStringLiteral("INSERT"), QStringLiteral("NEW.nValue=12"));
    const ReplaceOutcome replaced = replace({kApr30, kMay1, QTime(8, 0), QTime(9, 0), true, 1, 1}, tag(17));
    EXPECT_EQ(replaced.result, ReplaceResult::Done);
    EXPECT_EQ(replaced.skipped, 1);
    EXPECT_EQ(rows(kMay1, 17),
              (std::vector<Row> {
                  {QStringLiteral("2008-05-01 08:00:00"), 17, 6, QStringLiteral("11.00"), QStringLiteral("0.00")},
                  {QStringLiteral("2008-05-01 09:00:00"), 17, 6, QStringLiteral("13.00"), QStringLiteral("0.00")},
                  {QStringLiteral("2008-05-01 10:00:00"), 17, 1, QStringLiteral("3.00"), QStringLiteral("0.00")},
              }));

    // A batch stopped at a refused sample keeps what it wrote before it, once;
    // the question says so.
    target();
    refuseRows(tableOfDay(kMay1), QStringLiteral("INSERT"), QStringLiteral("NEW.nValue=2"));
    ScriptedQuestions questions;
    questions.continueAfterSample = false;
    const BatchOutcome stopped =
        batch({kMay1, QTime(8, 0), QTime(9, 0), 600, 6, 0, BatchMethod::Increase, 17}, questions);
    EXPECT_EQ(stopped.result, BatchResult::Stopped);
    EXPECT_EQ(stopped.written, 2);
    EXPECT_FALSE(questions.undoneOnStop);
    EXPECT_EQ(rows(kMay1, 17),
              (std::vector<Row> {
                  {QStringLiteral("2008-05-01 08:00:00"), 17, 6, QStringLiteral("0.00"), QStringLiteral("1.00")},
                  {QStringLiteral("2008-05-01 08:10:00"), 17, 6, QStringLiteral("1.00"), QStringLiteral("1.00")},
                  {QStringLiteral("2008-05-01 10:00:00"), 17, 1, QStringLiteral("3.00"), QStringLiteral("0.00")},
              }));
}

INSTANTIATE_TEST_SUITE_P(Kinds, TelemetryStoreTest, allDatabaseKinds(), kindName);

// ---- Without a database -------------------------------------------------------------------------

TEST(TelemetryTexts, RandomBetweenReachesBothBounds)
{
    // Find seeds whose first draw is 0 and 32767.
    std::optional<quint32> low, high;
    for (quint32 seed = 0; seed < 2000000 && !(low && high); ++seed) {
        const int r = RandomSource(seed).next();
        if (r == 0 && !low)
            low = seed;
        if (r == RandomSource::kMax && !high)
            high = seed;
    }
    ASSERT_TRUE(low && high);
    RandomSource a(*low), b(*high);
    EXPECT_EQ(RandomBetween(a, 143.0f, 7.0f), 7.0f);
    EXPECT_EQ(RandomBetween(b, 143.0f, 7.0f), 143.0f);
    RandomSource same1(42), same2(42), other(43);
    std::vector<int> s1, s2, s3;
    for (int i = 0; i < 20; ++i) {
        s1.push_back(same1.next());
        s2.push_back(same2.next());
        s3.push_back(other.next());
        EXPECT_GE(s1.back(), 0);
        EXPECT_LE(s1.back(), RandomSource::kMax);
    }
    EXPECT_EQ(s1, s2);
    EXPECT_NE(s1, s3);
}

TEST(TelemetryTexts, TimeTextsAndTagLists)
{
    EXPECT_EQ(FormatTimeText(QDateTime(QDate(2008, 5, 1), QTime(0, 10), Qt::UTC)), QStringLiteral("2008-05-01 00:10:00"));
    EXPECT_EQ(tableOfDay(QDate(2008, 1, 31)), QStringLiteral("Tag20080131"));

    CatalogueBuilder builder;
    builder.add({QStringLiteral("甲站"), QStringLiteral("1号线"), QStringLiteral("电流"), QStringLiteral("5")});
    builder.add({QStringLiteral("甲站"), QStringLiteral("1号线"), QStringLiteral("电压"), QStringLiteral("9")});
    builder.add({QStringLiteral("甲站"), QString(), QStringLiteral("频率"), QStringLiteral("12")});
    builder.add({QStringLiteral("乙站"), QStringLiteral("1号线"), QStringLiteral("电流"), QStringLiteral("30")});
    const CatalogueNode root = builder.take();
    EXPECT_EQ(TagIdList(root, QStringLiteral("甲站"), QStringLiteral("1号线")), QStringLiteral("TagID=5 OR TagID=9"));
    EXPECT_EQ(TagIdList(root, QStringLiteral("乙站"), QStringLiteral("1号线")), QStringLiteral("TagID=30"));
    // An unnamed switch is shown, and found, under its station's name.
    EXPECT_EQ(TagIdList(root, QStringLiteral("甲站"), QStringLiteral("甲站")), QStringLiteral("TagID=12"));
    EXPECT_EQ(TagIdList(root, QStringLiteral("丙站"), QStringLiteral("1号线")), QString());
    EXPECT_EQ(TagIdList(root, QStringLiteral("甲站"), QStringLiteral("2号线")), QString());

    TelemetryScope sw;
    sw.kind = TelemetryScope::Kind::Switch;
    sw.station = QStringLiteral("甲站");
    sw.switchName = QStringLiteral("1号线");
    EXPECT_EQ(scopeCondition(sw, QStringLiteral("A"), QStringLiteral("B"), root),
              QStringLiteral("ATime>=A AND ATime<B AND (TagID=5 OR TagID=9)"));
    TelemetryScope st;
    st.kind = TelemetryScope::Kind::Station;
    st.station = QStringLiteral("O'Neil");
    EXPECT_EQ(scopeCondition(st, QStringLiteral("A"), QStringLiteral("B"), root),
              QStringLiteral("ATime>=A AND ATime<B AND TagID IN(SELECT TagID FROM EqpTagInfo WHERE "
                             "StationName='O''Neil' AND TagType='遥测')"));
}

// The three selection rules over every kind of tree item.
TEST(TelemetryTexts, SelectionRules)
{
    auto item = [](int data, std::optional<int> parent, bool parentIsTop = false) {
        TreeItemInfo i;
        i.exists = true;
        i.data = data;
        i.text = QStringLiteral("item");
        i.hasParent = parent.has_value();
        i.parentData = parent.value_or(0);
        i.parentText = QStringLiteral("parent");
        i.parentIsTop = parentIsTop;
        return i;
    };
    using R = SelectionRefusal;
    using K = TelemetryScope::Kind;
    struct Case {
        const char* what;
        TreeItemInfo info;
        std::optional<R> tagRule, zeroRule, replaceRule; // nullopt: accepted
        K zeroKind, replaceKind;
    };
    const Case cases[] = {
        {"nothing", TreeItemInfo {}, R::SwitchToTelemetry, R::SwitchToTelemetry, R::SwitchToTelemetry, K::Tag, K::Tag},
        {"top", item(10, std::nullopt), R::SwitchToTelemetry, R::SwitchToTelemetry, R::SwitchToTelemetry, K::Tag, K::Tag},
        {"event kind", item(200, 10, true), R::SwitchToTelemetry, R::SwitchToTelemetry, R::SwitchToTelemetry, K::Tag,
         K::Tag},
        {"telemetry root", item(-1, 10, true), R::WrongItem, R::WrongItem, std::nullopt, K::Tag, K::AllTelemetry},
        {"station", item(-2, -1), R::WrongItem, std::nullopt, std::nullopt, K::Station, K::Station},
        {"switch", item(-3, -2), R::WrongItem, std::nullopt, std::nullopt, K::Switch, K::Switch},
        {"tag", item(17, -3), std::nullopt, std::nullopt, std::nullopt, K::Tag, K::Tag},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto tagResult = selectTag(c.info);
        const auto zeroResult = selectForZeroing(c.info);
        const auto replaceResult = selectForReplacement(c.info);
        EXPECT_EQ(tagResult.scope.has_value(), !c.tagRule);
        EXPECT_EQ(zeroResult.scope.has_value(), !c.zeroRule);
        EXPECT_EQ(replaceResult.scope.has_value(), !c.replaceRule);
        if (c.tagRule)
            EXPECT_EQ(tagResult.refusal, *c.tagRule);
        else
            EXPECT_EQ(tagResult.scope->tagId, 17);
        if (c.zeroRule)
            EXPECT_EQ(zeroResult.refusal, *c.zeroRule);
        else
            EXPECT_EQ(zeroResult.scope->kind, c.zeroKind);
        if (c.replaceRule)
            EXPECT_EQ(replaceResult.refusal, *c.replaceRule);
        else
            EXPECT_EQ(replaceResult.scope->kind, c.replaceKind);
    }
    const auto sw = selectForReplacement(item(-3, -2));
    EXPECT_EQ(sw.scope->station, QStringLiteral("parent"));
    EXPECT_EQ(sw.scope->switchName, QStringLiteral("item"));
    EXPECT_EQ(refusalText(R::WrongItem), QStringLiteral("请选择要正确选择要修改的项!"));
}

} // namespace
