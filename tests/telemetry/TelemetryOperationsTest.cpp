#include "DatabaseTest.h"
#include "FillRecorder.h"
#include "RefusingTriggers.h"

#include "DemoContent.h"
#include "SchemaDdl.h"

#include "db/DbError.h"
#include "db/ResultSet.h"
#include "telemetry/TelemetryList.h"
#include "telemetry/TelemetryPreview.h"
#include "dialect/ArchiveUnit.h"
#include "telemetry/TelemetryOperations.h"
#include "text/DecimalText.h"
#include "view/TagCatalogue.h"

#include <functional>
#include <map>

using namespace tessera;
using namespace tessera::telemetry;
using namespace tessera::test;
using namespace Qt::StringLiterals;

namespace {

const QDate kMay1(2008, 5, 1);
const QDate kApr30(2008, 4, 30);
using BatchResult = BatchOutcome::Result;
using ReplaceResult = ReplaceOutcome::Result;
using Scope = TelemetryScope::Kind;

// A sample as a test puts it into a day's table.
struct Put {
    const char* time; // hh:mm:ss, a fraction of a second allowed ("23:59:59.500")
    int tag;
    double value;
    double change = 0;
    int dataType = 1;
};

// The source day (30 April) and the target day (1 May) most tests replace between.
const std::vector<Put> kSource {{"07:55:00", 17, 10, 0.5}, {"08:00:00", 17, 11, 0.5}, {"08:30:00", 17, 12, 0.5},
                                {"09:00:00", 17, 13, 0.5}, {"09:05:00", 17, 14, 0.5}, {"08:30:00", 18, 77}};
const std::vector<Put> kTarget {
    {"07:59:59", 17, 1}, {"08:15:00", 17, 2}, {"09:00:00", 17, 3}, {"09:30:00", 17, 4}, {"08:15:00", 18, 5}};

// Answers the batch setting's questions as told (a refused sample: go on)
// and remembers them.
struct ScriptedQuestions : BatchQuestions {
    bool continueAfterDeleteFailure(const QString& sql) override
    {
        deleteQuestions << sql;
        return continueAfterDelete;
    }
    bool continueAfterSampleFailure(const QString& timeText, bool) override
    {
        sampleQuestions << timeText;
        return true;
    }

    bool continueAfterDelete = true;
    QStringList deleteQuestions, sampleQuestions;
};

TelemetryScope scope(Scope kind, const QString& station = {}, const QString& switchName = {})
{
    return {kind, 0, station, switchName};
}

// A sample as the tests compare it: "hh:mm:ss tag type value change", two decimals.
QString sampleText(const QString& at, qint64 tag, qint64 dataType, double value, double change)
{
    return u"%1 %2 %3 %4 %5"_s.arg(at).arg(tag).arg(dataType).arg(value, 0, 'f', 2).arg(change, 0, 'f', 2);
}

// Tag 17's hand-set rows of a rising batch: `count` samples from `start`,
// values 0, 1, 2 ... with change 1, but for the sample number `skip`.
QStringList rising(QTime start, int interval, int count, int skip = -1)
{
    QStringList out;
    for (int i = 0; i < count; ++i)
        if (i != skip)
            out << u"%1 17 6 %2.00 1.00"_s.arg(start.addSecs(i * interval).toString(u"HH:mm:ss"_s)).arg(i);
    return out;
}

struct TableShape {
    bool keyed = false;             // a key on (ATime, TagID): a second sample at an instant fails
    bool fractionalSeconds = false; // ATime holds fractions of a second (MariaDB needs DATETIME(3))
    bool nonTransactional = false;  // MariaDB: a MyISAM table, which cannot roll back
};

class TelemetryOperationsTest : public DatabaseTest {
protected:
    void telemetryTable(const QDate& day, TableShape shape = {})
    {
        const QString name = TelemetryTableName(day);
        dropTable(name);
        QString sql = ddl::createTelemetryTableSql(kind(), name, ddl::Generation::Newer);
        if (shape.keyed)
            sql.insert(sql.lastIndexOf(u')'), u", PRIMARY KEY(ATime, TagID)"_s);
        if (shape.fractionalSeconds && kind() == DatabaseKind::MySql)
            sql.replace(u"ATime DATETIME"_s, u"ATime DATETIME(3)"_s);
        if (shape.nonTransactional && kind() == DatabaseKind::MySql)
            sql += u" ENGINE=MyISAM"_s;
        connection().execute(sql);
    }
    void put(const QDate& day, const std::vector<Put>& samples)
    {
        for (const Put& s : samples)
            connection().execute(
                u"INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) VALUES('%2 %3',%4,%5,%6,%7)"_s
                    .arg(TelemetryTableName(day), day.toString(Qt::ISODate), QLatin1String(s.time))
                    .arg(s.tag)
                    .arg(s.dataType)
                    .arg(s.value, 0, 'f', 2)
                    .arg(s.change, 0, 'f', 2));
    }
    // Both days' tables anew, holding these samples.
    void twoDays(const std::vector<Put>& source, const std::vector<Put>& target, TableShape shape = {})
    {
        telemetryTable(kApr30, shape);
        telemetryTable(kMay1, shape);
        put(kApr30, source);
        put(kMay1, target);
    }
    void demoDay(const QDate& day)
    {
        telemetryTable(day);
        demo::writeSamplesOfDay(connection(), TelemetryTableName(day), day);
    }
    void loadDemoCatalogue()
    {
        createSchema();
        demo::writeCatalogue(connection(), kind());
        m_catalogue = LoadCatalogue(connection()).root;
    }
    // A day's samples, of one tag or all, as sorted sample texts; an instant
    // on another day keeps its date.
    QStringList rows(const QDate& day, int tag = 0)
    {
        QString sql = u"SELECT ATime,TagID,DataType,nValue,nValueChange FROM "_s + TelemetryTableName(day);
        if (tag)
            sql += u" WHERE TagID=%1"_s.arg(tag);
        QStringList out;
        for (auto rs = connection().query(sql); rs.next();) {
            const QString at = rs.string(0).left(19);
            out << sampleText(at.startsWith(day.toString(Qt::ISODate)) ? at.mid(11) : at, decimalInteger(rs.string(1)),
                decimalInteger(rs.string(2)), decimalReal(rs.string(3)), decimalReal(rs.string(4)));
        }
        out.sort();
        return out;
    }
    BatchOutcome batch(const BatchRequest& request, db::Connection* on = nullptr)
    {
        RandomSource random(7);
        db::Connection& c = on ? *on : connection();
        ArchiveUnit unit(c, kind(), {TelemetryTableName(request.day)});
        return runBatchSetting(c, kind(), request, questions, random, unit);
    }
    ReplaceOutcome replace(const ReplaceRequest& request, const TelemetryScope& scope, QString connectString = {},
                           db::Connection* on = nullptr)
    {
        RandomSource random(11);
        db::Connection& c = on ? *on : connection();
        ArchiveUnit unit(c, kind(), {TelemetryTableName(request.target)});
        return runReplacement(c, kind(), connectString.isEmpty() ? database().connectString() : connectString, request,
                              scope, m_catalogue, random, unit);
    }
    void zero(const RangeOfDay& range, const TelemetryScope& scope)
    {
        ArchiveUnit unit(connection(), kind(), {TelemetryTableName(range.day)});
        zeroTelemetry(connection(), kind(), range, scope, m_catalogue, unit);
    }
    static TelemetryScope tag(int id) { return {Scope::Tag, id, {}, {}}; }
    // Field n of a sample text as a number.
    static double field(const QString& row, int n) { return row.section(u' ', n, n).toDouble(); }

    ScriptedQuestions questions;
    CatalogueNode m_catalogue;
};

// One sample per interval from the start up to the end, the end's own second
// included; a whole day ends with the day-end row at 23:59:59 (the last value,
// change 0). Every instant written is deleted first, the day-end row's too:
// the range's earlier samples go, other tags' samples stay, and a rerun
// leaves the same rows, also where (ATime, TagID) is a key.
TEST_P(TelemetryOperationsTest, BatchRampsReplaceTheRangeUpToItsEndSecond)
{
    struct Case {
        const char* what;
        std::vector<Put> before; // of tag 17, besides tag 18's at 12:00
        BatchRequest request;
        qint64 written;
        QStringList after; // of tag 17
    };
    const Case cases[] = {
        {"a whole day rising", {{"12:00:00", 17, 55}, {"23:59:59", 17, 99}},
         {kMay1, QTime(0, 0), QTime(23, 59, 59), 600, 143, 0, BatchMethod::Increase, 17}, 144,
         rising(QTime(0, 0), 600, 144) << u"23:59:59 17 6 143.00 0.00"_s},
        {"a day-end row after the end", {{"23:59:59", 17, 99}},
         {kMay1, QTime(0, 0), QTime(23, 0), 3600, 23, 0, BatchMethod::Increase, 17}, 24,
         rising(QTime(0, 0), 3600, 24) << u"23:59:59 17 6 23.00 0.00"_s},
        {"falling, not a whole number of intervals",
         {{"07:59:59", 17, 1}, {"08:05:00", 17, 2}, {"08:25:00", 17, 3}, {"08:25:01", 17, 4}},
         {kMay1, QTime(8, 0), QTime(8, 25), 600, 30, 10, BatchMethod::Decrease, 17}, 3,
         {"07:59:59 17 1 1.00 0.00", "08:00:00 17 6 30.00 -10.00", "08:10:00 17 6 20.00 -10.00",
          "08:20:00 17 6 10.00 -10.00", "08:25:01 17 1 4.00 0.00"}},
        {"shorter than an interval, rising from the minimum", {},
         {kMay1, QTime(9, 0), QTime(9, 5), 600, 30, 10, BatchMethod::Increase, 17}, 1, {"09:00:00 17 6 10.00 0.00"}},
        {"shorter than an interval, falling from the maximum", {},
         {kMay1, QTime(9, 0), QTime(9, 5), 600, 30, 10, BatchMethod::Decrease, 17}, 1, {"09:00:00 17 6 30.00 0.00"}},
        {"minimum equal to maximum, the end on the grid", {},
         {kMay1, QTime(9, 0), QTime(10, 0), 1200, 5, 5, BatchMethod::Increase, 17}, 4,
         {"09:00:00 17 6 5.00 0.00", "09:20:00 17 6 5.00 0.00", "09:40:00 17 6 5.00 0.00", "10:00:00 17 6 5.00 0.00"}},
        {"interpolated on the line between the samples outside the range",
         {{"07:50:00", 17, 10}, {"08:05:00", 17, 99}, {"08:40:00", 17, 20}},
         {kMay1, QTime(8, 0), QTime(8, 30), 600, 0, 0, BatchMethod::Interpolate, 17}, 4,
         {"07:50:00 17 1 10.00 0.00", "08:00:00 17 6 12.00 2.00", "08:10:00 17 6 14.00 2.00",
          "08:20:00 17 6 16.00 2.00", "08:30:00 17 6 18.00 2.00", "08:40:00 17 1 20.00 0.00"}},
        {"interpolated level with the only sample outside", {{"07:50:00", 17, 10}},
         {kMay1, QTime(8, 0), QTime(8, 20), 600, 0, 0, BatchMethod::Interpolate, 17}, 3,
         {"07:50:00 17 1 10.00 0.00", "08:00:00 17 6 10.00 0.00", "08:10:00 17 6 10.00 0.00",
          "08:20:00 17 6 10.00 0.00"}},
    };
    for (const Case& c : cases) {
        telemetryTable(kMay1, {.keyed = true});
        put(kMay1, c.before);
        put(kMay1, {{"12:00:00", 18, 44}});
        for (const char* run : {"first run", "rerun"}) {
            SCOPED_TRACE(std::string(c.what) + ", " + run);
            questions = {};
            const BatchOutcome outcome = batch(c.request);
            EXPECT_EQ(outcome.result, BatchResult::Done);
            EXPECT_EQ(outcome.written, c.written);
            EXPECT_EQ(outcome.failed, 0);
            EXPECT_EQ(rows(kMay1, 17), c.after);
            EXPECT_EQ(rows(kMay1, 18), QStringList {u"12:00:00 18 1 44.00 0.00"_s});
            EXPECT_TRUE(questions.deleteQuestions.isEmpty() && questions.sampleQuestions.isEmpty());
        }
    }
    // No sample on either side: no line to draw, and the range stays.
    telemetryTable(kMay1);
    put(kMay1, {{"08:10:00", 17, 5}});
    EXPECT_EQ(batch({kMay1, QTime(8, 0), QTime(8, 20), 600, 0, 0, BatchMethod::Interpolate, 17}).result,
              BatchResult::NoLineEnds);
    EXPECT_EQ(rows(kMay1, 17), QStringList {u"08:10:00 17 1 5.00 0.00"_s});
}

// A random series starts from the value before it: at midnight the day
// before's latest sample (across a year end and a leap day), otherwise the
// sample one interval before the start; 0 without one. At midnight with no
// sample of the tag the day before, the first change is 0.
TEST_P(TelemetryOperationsTest, RandomSeriesStartsFromThePreviousValue)
{
    struct Case {
        const char* what;
        QDate day;
        QTime start;
        int interval;
        bool dayBeforeTable;
        bool tagDayBefore;
        std::optional<double> previous; // nullopt: the first change is 0
    };
    const Case cases[] = {
        {"after a year end", QDate(2008, 1, 1), QTime(0, 0), 600, true, true, 7.5},
        {"after a leap day", QDate(2008, 3, 1), QTime(0, 0), 600, true, true, 7.5},
        {"one interval after a sample", kMay1, QTime(8, 0), 600, true, true, 4},
        {"no sample one interval before", kMay1, QTime(8, 0), 300, true, true, 0},
        {"no table for the day before", kMay1, QTime(0, 0), 600, false, true, 0},
        {"no sample of the tag the day before", kMay1, QTime(0, 0), 600, true, false, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QDate before = c.day.addDays(-1);
        telemetryTable(before);
        put(before, {{"10:00:00", c.tagDayBefore ? 17 : 16, 5}, {"23:55:00", c.tagDayBefore ? 17 : 16, 7.5},
                     {"23:59:00", 18, 99}});
        if (!c.dayBeforeTable)
            dropTable(TelemetryTableName(before));
        telemetryTable(c.day);
        put(c.day, {{"07:50:00", 17, 4}});
        batch({c.day, c.start, c.start.addSecs(3600), c.interval, 100, 20, BatchMethod::Random, 17});
        const QStringList written = rows(c.day, 17).filter(u" 17 6 "_s);
        ASSERT_EQ(written.size(), 3600 / c.interval + 1);
        std::optional<double> previous = c.previous;
        for (const QString& row : written) {
            EXPECT_GE(field(row, 3), 20) << row.toStdString();
            EXPECT_LE(field(row, 3), 100) << row.toStdString();
            EXPECT_NEAR(field(row, 4), previous ? field(row, 3) - *previous : 0.0, 0.011) << row.toStdString();
            previous = field(row, 3);
        }
    }
}

// Without the day's table the delete fails: its question shows the
// statement; Cancel ends there, OK goes on to an insert that fails too.
TEST_P(TelemetryOperationsTest, BatchOnAMissingTableAsksAtTheDeleteAndWritesNothing)
{
    dropTable(TelemetryTableName(kMay1));
    questions.continueAfterDelete = false;
    const BatchRequest r {kMay1, QTime(8, 0), QTime(9, 0), 600, 30, 10, BatchMethod::Increase, 17};
    EXPECT_EQ(batch(r).result, BatchResult::Cancelled);
    EXPECT_EQ(questions.deleteQuestions, QStringList{batchDeleteSql(kind(), r)});
    EXPECT_TRUE(batchDeleteSql(kind(), r).startsWith(u"DELETE FROM Tag20080501 WHERE ATime>="_s));
    questions.continueAfterDelete = true;
    const BatchOutcome outcome = batch(r);
    EXPECT_NE(outcome.result, BatchResult::Cancelled);
    EXPECT_EQ(outcome.written, 0);
    // Drivers that prepare on the server refuse the insert at once; others fail each sample.
    EXPECT_TRUE(outcome.result == BatchResult::InsertRefused || outcome.failed == 7) << outcome.failed;
}

// A replacement moves samples by whole days backwards too: a later day's
// sample lands on the earlier day beside that day's own.
TEST_P(TelemetryOperationsTest, ReplacementMovesBackwardsByWholeDays)
{
    twoDays(kSource, kTarget);
    const ReplaceRequest back {kMay1, kApr30, QTime(9, 30), QTime(9, 30), false, 0, 0};
    EXPECT_EQ(replace(back, tag(17)).result, ReplaceResult::Done);
    const QStringList moved = rows(kApr30, 17);
    ASSERT_EQ(moved.size(), 6);
    EXPECT_EQ(moved.last(), u"09:30:00 17 1 4.00 0.00"_s);
}

// With correction the copied samples are hand-set (DataType 6) and scaled by
// a coefficient drawn between the two: 1 keeps value and change, 0 zeroes them.
TEST_P(TelemetryOperationsTest, ReplacementWithCorrectionWritesHandSetRows)
{
    twoDays({{"08:00:00", 17, 12.34, -1.23}, {"08:10:00", 17, 20, 7.66, 3}}, {{"08:05:00", 17, 99}});
    ReplaceRequest r {kApr30, kMay1, QTime(8, 0), QTime(9, 0), true, 1, 1};
    EXPECT_EQ(replace(r, tag(17)).result, ReplaceResult::Done);
    EXPECT_EQ(rows(kMay1), (QStringList {"08:00:00 17 6 12.34 -1.23", "08:10:00 17 6 20.00 7.66"}));

    r.minimumCoefficient = r.maximumCoefficient = 0;
    EXPECT_EQ(replace(r, tag(17)).result, ReplaceResult::Done);
    EXPECT_EQ(rows(kMay1), (QStringList {"08:00:00 17 6 0.00 0.00", "08:10:00 17 6 0.00 0.00"}));

    r.minimumCoefficient = 2;
    r.maximumCoefficient = 3;
    replace(r, tag(17));
    const QStringList scaled = rows(kMay1);
    ASSERT_EQ(scaled.size(), 2);
    EXPECT_GE(field(scaled[1], 3), 40 - 0.005);
    EXPECT_LE(field(scaled[1], 3), 60 + 0.005);
}

// Tag, switch (with its pulse counter), station and all telemetry: the
// scope's samples in the range become the source day's, or zero; every other
// sample keeps its values.
TEST_P(TelemetryOperationsTest, ReplacementAndZeroingKeepToTheirScope)
{
    loadDemoCatalogue();
    demoDay(kApr30);
    demoDay(kMay1);
    const QStringList before = rows(kMay1);
    const QStringList source = rows(kApr30);
    std::map<int, const demo::Tag*> tags;
    for (const demo::Tag& t : demo::catalogue())
        tags[t.id] = &t;
    const QString station = u"城南变电站"_s;
    const QString feeder = u"10kV城关线"_s;
    struct Case {
        TelemetryScope scope;
        std::function<bool(const demo::Tag&)> inScope;
    };
    const Case cases[] = {
        {tag(8), [](const demo::Tag& t) { return t.id == 8; }},
        {scope(Scope::Switch, station, feeder),
         [&](const demo::Tag& t) { return t.station == station && t.switchName == feeder; }},
        {scope(Scope::Station, station),
         [&](const demo::Tag& t) { return t.station == station && t.type == kTagTypeTelemetry; }},
        {scope(Scope::AllTelemetry), [](const demo::Tag& t) { return t.type == kTagTypeTelemetry; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.scope.kind));
        const auto affected = [&](const QString& row) {
            const QString time = row.left(8);
            return time >= u"08:00:00"_s && time <= u"08:30:00"_s && c.inScope(*tags.at(int(field(row, 1))));
        };
        QStringList replaced, zeroed;
        for (const QString& row : before) {
            if (!affected(row))
                replaced << row;
            zeroed << (affected(row) ? row.section(u' ', 0, 2) + u" 0.00 0.00"_s : row);
        }
        for (const QString& row : source)
            if (affected(row))
                replaced << row;
        replaced.sort();
        EXPECT_NE(replaced, before);
        EXPECT_NE(zeroed, before);

        const ReplaceRequest r {kApr30, kMay1, QTime(8, 0), QTime(8, 30), false, 0, 0};
        ASSERT_EQ(replace(r, c.scope).result, ReplaceResult::Done);
        EXPECT_EQ(rows(kMay1), replaced);
        demoDay(kMay1);
        zero({kMay1, QTime(8, 0), QTime(8, 30)}, c.scope);
        EXPECT_EQ(rows(kMay1), zeroed);
        demoDay(kMay1);
    }
}

// Without the second connection, for a switch whose tags the catalogue does
// not know, or without the target table, nothing changes; zeroing throws the
// database's error for the last two.
TEST_P(TelemetryOperationsTest, ReplacementAndZeroingLeaveTheDaysAloneWhenTheyCannotStart)
{
    loadDemoCatalogue();
    twoDays({{"08:00:00", 17, 1}}, {{"08:00:00", 17, 2}});
    const ReplaceRequest r {kApr30, kMay1, QTime(0, 0), QTime(23, 59, 59), false, 0, 0};
    const RangeOfDay range {kMay1, QTime(0, 0), QTime(23, 59, 59)};
    EXPECT_EQ(replace(r, tag(17), u"DSN=TesseraNoSuchSource;UID=x;PWD=y"_s).result,
              ReplaceResult::SecondConnectionFailed);
    const TelemetryScope unknown = scope(Scope::Switch, u"城南变电站"_s, u"无此回路"_s);
    EXPECT_EQ(replace(r, unknown).result, ReplaceResult::DeleteFailed);
    EXPECT_THROW(zero(range, unknown), db::DbError);
    EXPECT_EQ(rows(kMay1), QStringList {u"08:00:00 17 1 2.00 0.00"_s});

    dropTable(TelemetryTableName(kMay1));
    EXPECT_EQ(replace(r, tag(17)).result, ReplaceResult::DeleteFailed);
    EXPECT_THROW(zero(range, tag(17)), db::DbError);
    EXPECT_EQ(rows(kApr30), QStringList {u"08:00:00 17 1 1.00 0.00"_s});
}

TEST_P(TelemetryOperationsTest, QuerySingleValueAndDeleteByTheRowsOwnDay)
{
    twoDays({}, {{"08:00:00", 17, 1, 0, 6}, {"08:30:00", 17, 2}, {"09:00:00", 17, 3, 0, 6}, {"09:00:01", 17, 4, 0, 6}});
    // Hand-set samples in the range only, newest first.
    FillRecorder list;
    queryTelemetry(connection(), kind(), {kMay1, QTime(8, 0), QTime(9, 0), 17}, list);
    ASSERT_EQ(list.rows.size(), 2u);
    EXPECT_EQ(list.rows[0].mid(0, 3), (QStringList {"2008-05-01 09:00:00", "17", "遥测"}));
    EXPECT_EQ(list.rows[1][0], u"2008-05-01 08:00:00"_s);
    FillRecorder none;
    queryTelemetry(connection(), kind(), {kMay1, QTime(9, 0), QTime(8, 0), 17}, none);
    EXPECT_TRUE(none.rows.empty());
    EXPECT_THROW(queryTelemetry(connection(), kind(), {QDate(2008, 5, 2), QTime(0, 0), QTime(1, 0), 17}, none),
                 db::DbError);

    SingleValue sample {kApr30, QTime(23, 0), 1.239f, -0.5f, 17, true};
    EXPECT_TRUE(writeSingleValue(connection(), kind(), sample));
    EXPECT_EQ(rows(kApr30), QStringList {u"23:00:00 17 6 1.24 -0.50"_s});
    sample.add = false;
    sample.value = 8;
    EXPECT_TRUE(writeSingleValue(connection(), kind(), sample));
    EXPECT_TRUE(writeSingleValue(connection(), kind(), sample)) << "the same values again still find the sample";
    EXPECT_EQ(rows(kApr30), QStringList{u"23:00:00 17 6 8.00 -0.50"_s});

    // The delete takes the day's table from the row's own time text.
    deleteSample(connection(), kind(), u"2008-04-30 23:00:00"_s, 17);
    deleteSample(connection(), kind(), u"2008-05-01 08:00:00"_s, 17);
    EXPECT_TRUE(rows(kApr30).empty());
    EXPECT_EQ(rows(kMay1, 17).size(), 3);
    EXPECT_THROW(deleteSample(connection(), kind(), u"2008-05-02 08:00:00"_s, 17), db::DbError);
}

// A refused row leaves every sample as it was.
TEST_P(TelemetryOperationsTest, ZeroingIsOneUnit)
{
    loadDemoCatalogue();
    demoDay(kMay1);
    refuseRows(connection(), kind(), TelemetryTableName(kMay1), u"UPDATE"_s, u"NEW.TagID=47"_s);
    const QStringList before = rows(kMay1);
    EXPECT_THROW(zero({kMay1, QTime(8, 0), QTime(9, 0)},
                               scope(Scope::Station, u"江东变电站"_s)),
                 db::DbError);
    EXPECT_EQ(rows(kMay1), before);
}

// An end time covers its whole second: samples stored with a fraction of a
// second in that second (the day's last, 23:59:59.500) are zeroed, deleted
// and copied with the range.
TEST_P(TelemetryOperationsTest, TheEndTimeCoversItsWholeSecond)
{
    struct Case {
        const char* what;
        std::function<void()> run;
        QStringList expected; // tag 17 of the target day
    };
    const QTime dayEnd(23, 59, 59);
    const Case cases[] = {
        {"zeroing up to 23:59:59",
         [&] { zero({kMay1, QTime(0, 0), dayEnd}, tag(17)); },
         {"12:00:00 17 1 0.00 0.00", "12:00:01 17 1 0.00 0.00", "23:59:59 17 1 0.00 0.00"}},
        {"zeroing up to 12:00:00",
         [&] { zero({kMay1, QTime(11, 0), QTime(12, 0)}, tag(17)); },
         {"12:00:00 17 1 0.00 0.00", "12:00:01 17 1 9.00 0.00", "23:59:59 17 1 7.00 0.00"}},
        {"batch setting up to 23:59:59",
         [&] { batch({kMay1, QTime(12, 0), dayEnd, 43200, 1, 1, BatchMethod::Increase, 17}); },
         {"12:00:00 17 6 1.00 0.00"}},
        {"replacement up to 23:59:59", [&] { replace({kApr30, kMay1, QTime(12, 0, 1), dayEnd, false, 0, 0}, tag(17)); },
         {"12:00:00 17 1 8.00 0.00", "23:59:59 17 1 21.00 0.00"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        twoDays({{"23:59:59.500", 17, 21}}, {{"12:00:00.500", 17, 8}, {"12:00:01", 17, 9}, {"23:59:59.500", 17, 7}},
                {.fractionalSeconds = true});
        c.run();
        EXPECT_EQ(rows(kMay1, 17), c.expected);
    }
}

// A dead connection ends the unit with one outcome, not one failure per row,
// and the target stays as it was (a death in the middle of a batch setting
// is TelemetrySafetyTest's).
TEST_P(TelemetryOperationsTest, ALostConnectionEndsTheUnitOnce)
{
    if (kind() == DatabaseKind::SQLite)
        GTEST_SKIP() << "SQLite has no server connection to lose";
    twoDays(kSource, kTarget);
    const QStringList before = rows(kMay1);

    // The server ends the session once the unit has begun. The question at
    // the failed delete is not asked of a dead connection.
    db::Connection gone = openConnection();
    ArchiveUnit batchUnit(gone, kind(), {TelemetryTableName(kMay1)});
    ASSERT_TRUE(killServerSession(gone));
    RandomSource random(7);
    EXPECT_EQ(runBatchSetting(gone, kind(), {kMay1, QTime(8, 0), QTime(9, 0), 600, 6, 0, BatchMethod::Increase, 17},
                              questions, random, batchUnit)
                  .result,
              BatchResult::ConnectionLost);
    EXPECT_TRUE(questions.deleteQuestions.isEmpty());

    for (bool correct : {false, true}) {
        SCOPED_TRACE(correct ? "with correction" : "without correction");
        db::Connection dead = openConnection();
        ArchiveUnit unit(dead, kind(), {TelemetryTableName(kMay1)});
        ASSERT_TRUE(killServerSession(dead));
        EXPECT_EQ(runReplacement(dead, kind(), database().connectString(),
                                 {kApr30, kMay1, QTime(8, 0), QTime(9, 0), correct, 1, 1}, tag(17), m_catalogue,
                                 random, unit)
                      .result,
                  ReplaceResult::ConnectionLost);
        EXPECT_EQ(rows(kMay1), before);
    }
    // A unit cannot even begin on a dead connection: the command never runs.
    db::Connection dead = openConnection();
    ASSERT_TRUE(killServerSession(dead));
    try {
        ArchiveUnit unit(dead, kind(), {TelemetryTableName(kMay1)});
        ADD_FAILURE() << "a unit began on a dead connection";
    } catch (const db::DbError& error) {
        EXPECT_TRUE(error.isConnectionLost()) << error.message().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, TelemetryOperationsTest, allDatabaseKinds(), kindName);

TEST(TelemetryTexts, RandomBetweenReachesBothBounds)
{
    // Seeds whose first draw is 0 and 32767.
    RandomSource a(20057), b(30091);
    EXPECT_EQ(RandomBetween(a, 143.0f, 7.0f), 7.0f);
    EXPECT_EQ(RandomBetween(b, 143.0f, 7.0f), 143.0f);
}

// A station's scope selects its tags in the catalogue by a quoted name; a
// station the catalogue does not hold has no tags.
TEST(TelemetryTexts, StationScopesAndUnknownStations)
{
    CatalogueBuilder builder;
    builder.add({u"甲站"_s, u"1号线"_s, u"电流"_s, u"5"_s, u"遥测"_s});
    const CatalogueNode root = builder.take();
    EXPECT_EQ(TagIdList(root, u"丙站"_s, u"1号线"_s), QString());
    EXPECT_EQ(journal::clauseSql(DatabaseKind::SqlServer,
                                 scopeClause(scope(Scope::Station, u"O'Neil"_s), journal::DateTimeText {u"2008-05-01"_s},
                                             journal::DateTimeText {u"2008-05-02"_s}, root)),
              u"ATime>='2008-05-01' AND ATime<'2008-05-02' AND TagID IN(SELECT TagID FROM EqpTagInfo WHERE "
              "StationName='O''Neil' AND TagType='遥测')"_s);
}

// The three selection rules over every kind of tree item.
TEST(TelemetryTexts, SelectionRules)
{
    auto item = [](int data, std::optional<int> parent, bool parentIsTop = false) {
        return TreeItemInfo {true, data, u"item"_s, parent.has_value(), parent.value_or(0), u"parent"_s, parentIsTop};
    };
    using R = SelectionRefusal;
    struct Case {
        const char* what;
        TreeItemInfo info;
        std::optional<R> tagRule, zeroRule, replaceRule; // nullopt: accepted
        Scope zeroKind, replaceKind;
    };
    const Case cases[] = {
        {"nothing", TreeItemInfo {}, R::SwitchToTelemetry, R::SwitchToTelemetry, R::SwitchToTelemetry, {}, {}},
        {"top", item(10, std::nullopt), R::SwitchToTelemetry, R::SwitchToTelemetry, R::SwitchToTelemetry, {}, {}},
        {"event kind", item(200, 10, true), R::SwitchToTelemetry, R::SwitchToTelemetry, R::SwitchToTelemetry, {}, {}},
        {"telemetry root", item(-1, 10, true), R::WrongItem, R::WrongItem, std::nullopt, {}, Scope::AllTelemetry},
        {"station", item(-2, -1), R::WrongItem, std::nullopt, std::nullopt, Scope::Station, Scope::Station},
        {"switch", item(-3, -2), R::WrongItem, std::nullopt, std::nullopt, Scope::Switch, Scope::Switch},
        {"tag", item(17, -3), std::nullopt, std::nullopt, std::nullopt, Scope::Tag, Scope::Tag},
    };
    // A refusal, or a scope of that kind (a tag's: TagID 17).
    const auto check = [](const SelectionResult& result, std::optional<R> refusal, Scope kind) {
        ASSERT_EQ(result.scope.has_value(), !refusal);
        if (refusal) {
            EXPECT_EQ(result.refusal, *refusal);
            return;
        }
        EXPECT_EQ(result.scope->kind, kind);
        if (kind == Scope::Tag) {
            EXPECT_EQ(result.scope->tagId, 17);
        }
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        check(selectTag(c.info), c.tagRule, Scope::Tag);
        check(selectForZeroing(c.info), c.zeroRule, c.zeroKind);
        check(selectForReplacement(c.info), c.replaceRule, c.replaceKind);
    }
    const auto sw = selectForReplacement(item(-3, -2));
    EXPECT_EQ(sw.scope->station, u"parent"_s);
    EXPECT_EQ(sw.scope->switchName, u"item"_s);
}

} // namespace
