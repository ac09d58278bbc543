// The verify and the repair: each kind of difference planted in a copied
// target, found with its exact count and rows; the repair copies again only
// the units that differ.
#include "CopyTestSupport.h"
#include "RefusingTriggers.h"

#include "copy/CopyTables.h"
#include "schema/Schema.h"

using namespace tessera;
using namespace tessera::copy;
using namespace tessera::test;

namespace {

constexpr int kEventRow = 378;
constexpr int kTag0305Row = 66;
constexpr int kTag0306Row = 67;
const QDate kDay(2008, 3, 5);

class CopyVerifyTest : public CopySidesTest {
protected:
    void makeScene() override
    {
        remakeTable(target(), SchemaTable::Event);
        remakeTable(source(), SchemaTable::Event);
        // 5 March's values single precision on both sides, 6 March's double.
        for (const char* day : {"0305", "0306"}) {
            const auto generation = QString(day) == "0305" ? ddl::Generation::Older : ddl::Generation::Newer;
            remake(source(), QString("Tag") + day, ddl::createTelemetryTableSql(sourceKind(), QString("Tag") + day, generation));
            remake(target(), QString("Tag2008") + day,
                   ddl::createTelemetryTableSql(targetKind(), QString("Tag2008") + day, generation));
        }
        for (int tag = 1; tag <= 3; ++tag)
            for (int hour = 1; hour <= 3; ++hour)
                insertSample(source(), sourceKind(), "Tag0305", QString("2008-03-05 0%1:00:00").arg(hour), tag,
                             tag + hour / 2.0);
        insertSample(source(), sourceKind(), "Tag0306", "2008-03-06 01:00:00", 1, 0.1);
        for (int i = 1; i <= 3; ++i)
            source().execute(QString("INSERT INTO Event VALUES(3,'2008-03-05 00:00:00','1899-12-30 0%1:00:00',%1,"
                                     "'事件%1','SCADA','op','')")
                                 .arg(i));
    }

    bool run(RunMode mode, RecordingReport& report)
    {
        return copy({"Tag0305", "Tag0306", "Event"}, report, kDay, kDay.addDays(1),
                    [mode](CopyRun& r) { r.SetMode(mode); });
    }
    QString at(const QString& time) { return FormatDateLiteral(targetKind(), "2008-03-05 " + time); }
};

TEST_P(CopyVerifyTest, FindsEachKindOfDifferenceAndRepairsOnlyTheUnitsThatDiffer)
{
    struct Case {
        const char* name;
        QString plant; // on the target, after a copy made it equal
        int row;       // the table that differs
        QString status;
        QStringList kinds; // of the differences told
    };
    const std::vector<Case> cases = {
        {"equal", {}, kTag0305Row, "一致", {}},
        {"a row missing", "DELETE FROM Tag20080305 WHERE TagID=2 AND ATime=" + at("02:00:00"), kTag0305Row,
            "不一致: 缺1 多0 异0", {"缺"}},
        {"a row extra", "INSERT INTO Tag20080305 VALUES(" + at("04:00:00") + ",7,1,7,0)", kTag0305Row,
            "不一致: 缺0 多1 异0", {"多"}},
        {"a changed value", "UPDATE Tag20080305 SET nValue=99 WHERE TagID=3 AND ATime=" + at("03:00:00"), kTag0305Row,
            "不一致: 缺0 多0 异1", {"异"}},
        {"a changed time", "UPDATE Tag20080305 SET ATime=" + at("01:00:01") + " WHERE TagID=1 AND ATime=" + at("01:00:00"),
            kTag0305Row, "不一致: 缺1 多1 异0", {"缺", "多"}},
        {"a duplicated row", "INSERT INTO Tag20080305 VALUES(" + at("01:00:00") + ",1,1,1.5,0)", kTag0305Row,
            "不一致: 缺0 多1 异0", {"多"}},
        {"a REAL below single precision",
            "UPDATE Tag20080305 SET nValue=1.5000000001 WHERE TagID=1 AND ATime=" + at("01:00:00"), kTag0305Row,
            "一致", {}},
        {"an event changed", "UPDATE Event SET Contents='改过' WHERE MiniSecond=2", kEventRow, "不一致: 缺0 多0 异1",
            {"异"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        jobs = 2; // lanes into a server verify and repair as one does
        RecordingReport copied;
        ASSERT_TRUE(run(RunMode::Copy, copied));
        if (!c.plant.isEmpty())
            target().execute(c.plant);

        RecordingReport verified;
        EXPECT_TRUE(run(RunMode::Verify, verified));
        EXPECT_EQ(verified.messageTexts(), QStringList());
        for (int row : {kTag0305Row, kTag0306Row, kEventRow})
            EXPECT_EQ(verified.status(row), row == c.row ? c.status : "一致") << row;
        QStringList kinds;
        for (const DifferenceLine& line : verified.differences) {
            kinds << line.kind;
            EXPECT_EQ(line.table, copyTableNames().at(c.row));
        }
        std::sort(kinds.begin(), kinds.end());
        QStringList expectedKinds = c.kinds;
        std::sort(expectedKinds.begin(), expectedKinds.end());
        EXPECT_EQ(kinds, expectedKinds);

        // The repair copies again only what differs: 6 March refuses every delete.
        refuseRows(target(), targetKind(), "Tag20080306", "DELETE", "1=1");
        RecordingReport repaired;
        EXPECT_TRUE(run(RunMode::Repair, repaired));
        EXPECT_EQ(repaired.messageTexts(), QStringList());
        EXPECT_EQ(repaired.statuses({kTag0305Row, kTag0306Row, kEventRow}), QStringList(3, "一致"));
        RecordingReport after;
        EXPECT_TRUE(run(RunMode::Verify, after));
        EXPECT_TRUE(after.differences.empty());
        TearDown();
    }
}

// A verify writes nothing, also when it is stopped half way.
TEST_P(CopyVerifyTest, AStoppedVerifyLeavesTheTargetAsItWas)
{
    RecordingReport copied;
    ASSERT_TRUE(run(RunMode::Copy, copied));
    target().execute("DELETE FROM Tag20080305 WHERE TagID=2");
    const QStringList before = rowsOf(target(), "SELECT ATime,TagID,nValue FROM Tag20080305 ORDER BY ATime,TagID");
    for (int stopAt : {1, 2, 3, 4}) {
        SCOPED_TRACE(stopAt);
        RecordingReport report;
        report.stopAfterChecks = stopAt - 1;
        EXPECT_FALSE(run(RunMode::Verify, report));
        EXPECT_EQ(rowsOf(target(), "SELECT ATime,TagID,nValue FROM Tag20080305 ORDER BY ATime,TagID"), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, CopyVerifyTest, kIntoEveryKind, sidesName);

} // namespace
