#include "DatabaseTest.h"

#include "SchemaDdl.h"

#include "check/CheckScan.h"
#include "db/BulkWriter.h"
#include "dialect/DriverOptions.h"
#include "schema/TableNames.h"
#include "telemetry/TelemetryTexts.h"
#include "view/TagCatalogue.h"

#include <QRandomGenerator>

#include <cmath>
#include <functional>
#include <map>

using namespace tessera;
using namespace tessera::check;
using namespace tessera::test;
using namespace Qt::StringLiterals;

namespace {

const QDate kMay1(2008, 5, 1);
const QDate kMay2(2008, 5, 2); // no table: the SCADA was down
const QDate kMay3(2008, 5, 3);

// A tag of the test station: a daily sine (a counter rises instead) with
// noise of ±1% of its range.
struct TagDef {
    int id;
    const char* name;
    bool counter = false;
    double base = 300, amplitude = 100;
};
const std::vector<TagDef> kTags {{1, "电流A"}, {2, "电流B"}, {3, "电压"}, {4, "停运", false, 0, 0},
                                 {5, "正向有功电度", true, 100, 0}, {6, "有功功率"}};

int secondsOf(const char* hhmmss)
{
    return QTime::fromString(QLatin1String(hhmmss), u"HH:mm:ss"_s).msecsSinceStartOfDay() / 1000;
}

// One day of samples of a tag: time of day in seconds -> value.
using DaySamples = std::map<int, double>;

DaySamples cleanDay(const TagDef& tag, const QDate& day, int spacing)
{
    QRandomGenerator noise(quint32(tag.id * 1000 + day.day() * 10 + spacing));
    DaySamples samples;
    double counter = tag.base;
    for (int at = 0; at < 86400; at += spacing) {
        if (tag.counter) {
            counter += 0.4 + 0.2 * noise.generateDouble();
            samples[at] = counter;
        } else {
            const double wobble = (noise.generateDouble() * 2 - 1) * 0.01 * 2 * tag.amplitude;
            samples[at] = tag.base + tag.amplitude * std::sin(2 * M_PI * at / 86400.0) + wobble;
        }
    }
    return samples;
}

void removeRange(DaySamples& s, const char* from, const char* to)
{
    s.erase(s.lower_bound(secondsOf(from)), s.upper_bound(secondsOf(to)));
}
void setRange(DaySamples& s, const char* from, const char* to, double value)
{
    for (auto it = s.lower_bound(secondsOf(from)); it != s.upper_bound(secondsOf(to)); ++it)
        it->second = value;
}

// The defects planted into the 5-minute archive, by tag and day.
void plantDefects(int tag, const QDate& day, DaySamples& s)
{
    switch (tag * 100 + (day == kMay1 ? 1 : 3)) {
    case 101: removeRange(s, "00:00:00", "00:55:00"); // the day begins late
              removeRange(s, "10:05:00", "10:25:00"); // five missing
              removeRange(s, "14:05:00", "14:10:00"); // two: within three spacings
              removeRange(s, "16:05:00", "16:15:00"); break;
    case 103: removeRange(s, "22:00:00", "23:55:00"); break; // the day ends early
    case 201: s[secondsOf("09:00:00")] += 100; // single spike up
              s[secondsOf("13:00:00")] -= 120; // double spike down
              s[secondsOf("13:05:00")] -= 110;
              for (auto it = s.lower_bound(secondsOf("18:00:00")); it != s.end(); ++it)
                  it->second += 150; // a step that stays: no spike
              break;
    case 301: setRange(s, "08:00:00", "09:30:00", 321.5); // 90 minutes
              setRange(s, "11:00:00", "11:50:00", 280.25); break; // 50 minutes
    case 403: s.clear(); break; // a whole day without the tag
    case 503: { // a counter reset at noon
        const double atNoon = s[secondsOf("12:00:00")];
        for (auto it = s.lower_bound(secondsOf("12:00:00")); it != s.end(); ++it)
            it->second -= atNoon;
        break;
    }
    case 601: setRange(s, "15:00:00", "15:10:00", 1500);
              s[secondsOf("20:00:00")] = -5; break;
    }
}

class CheckScanTest : public DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        CatalogueBuilder builder;
        for (const TagDef& t : kTags)
            builder.add({u"甲站"_s, u"1号线"_s, QString::fromUtf8(t.name), QString::number(t.id),
                         t.counter ? u"遥脉"_s : u"遥测"_s});
        m_catalogue = builder.take();
    }
    // The day's table anew with the tags' samples.
    void writeDay(const QDate& day, const std::function<DaySamples(const TagDef&)>& samplesOf)
    {
        const QString table = TelemetryTableName(day);
        dropTable(table);
        connection().execute(ddl::createTelemetryTableSql(kind(), table, ddl::Generation::Newer));
        db::BulkWriter writer(connection(),
                              u"INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) VALUES(?,?,?,?,?)"_s.arg(table),
                              5, 4000);
        for (const TagDef& tag : kTags)
            for (const auto& [at, value] : samplesOf(tag))
                writer.addRow({QDateTime(day, QTime(0, 0).addSecs(at), Qt::UTC), qint64(tag.id), qint64(1),
                               std::round(value * 100) / 100, 0.0});
        writer.finish();
    }
    QStringList scan(const QDate& first, const QDate& last, const CheckSettings& settings,
                     telemetry::TelemetryScope scope = {telemetry::TelemetryScope::Kind::Station, 0, u"甲站"_s, {}},
                     ScanObserver&& observer = ScanObserver())
    {
        // On a connection as the command opens it: streamed on every kind.
        db::Connection reading = connection().openAnother(driverOptionsFor(kind(), ConnectionRole::Scan));
        const ScanResult result =
            scanArchive(reading, kind(), {scanTagsOf(m_catalogue, scope), first, last, settings}, observer);
        EXPECT_EQ(result.cancelled, observer.cancelled());
        QStringList lines;
        for (const Finding& f : result.findings)
            lines << findingText(f);
        return lines;
    }
    CatalogueNode m_catalogue;
};

// Each rule finds exactly its planted defects and nothing of the others'.
TEST_P(CheckScanTest, EachRuleFindsExactlyThePlantedDefects)
{
    for (const QDate& day : {kMay1, kMay3})
        writeDay(day, [&](const TagDef& tag) {
            DaySamples s = cleanDay(tag, day, 300);
            if (tag.id == 4)
                s = day == kMay1 ? DaySamples {{0, 0.0}, {3600, 0.0}, {7200, 0.0}} : DaySamples {};
            plantDefects(tag.id, day, s);
            return s;
        });
    dropTable(TelemetryTableName(kMay2));
    CheckSettings settings = defaultCheckSettings();
    settings[size_t(RuleId::OutOfRange)] = {true, {0, 1000}};

    const QString a = u"甲站 / 1号线 / "_s;
    auto missingDay = [&](const char* tag) { return a + QString::fromUtf8(tag) + u" 2008-05-02 数据缺失 00:00:00-23:59:59 无数据表 0"_s; };
    struct Case {
        RuleId rule;
        QStringList expected;
    };
    const Case cases[] = {
        {RuleId::Gap,
         {a + u"电流A 2008-05-01 数据缺失 00:00:00-01:00:00 间隔3600秒 12"_s,
          a + u"电流A 2008-05-01 数据缺失 10:00:00-10:30:00 间隔1800秒 5"_s,
          a + u"电流A 2008-05-01 数据缺失 16:00:00-16:20:00 间隔1200秒 3"_s, missingDay("电流A"),
          a + u"电流A 2008-05-03 数据缺失 21:55:00-23:59:59 间隔7500秒 24"_s, missingDay("电流B"), missingDay("电压"),
          a + u"停运 2008-05-01 数据缺失 02:00:00-23:59:59 间隔79200秒 21"_s, missingDay("停运"), a + u"停运 2008-05-03 数据缺失 00:00:00-23:59:59 无数据 0"_s, missingDay("正向有功电度"),
          missingDay("有功功率")}},
        {RuleId::Spike,
         {a + u"电流B 2008-05-01 突变 09:00:00-09:00:00 "_s, a + u"电流B 2008-05-01 突变 13:00:00-13:05:00 "_s,
          a + u"有功功率 2008-05-01 突变 20:00:00-20:00:00 -5.00 1"_s}},
        {RuleId::FlatLine, {a + u"电压 2008-05-01 死值 08:00:00-09:30:00 321.50 19"_s}},
        {RuleId::OutOfRange,
         {a + u"有功功率 2008-05-01 越界 15:00:00-15:10:00 1500.00 3"_s,
          a + u"有功功率 2008-05-01 越界 20:00:00-20:00:00 -5.00 1"_s}},
        {RuleId::CounterBackwards, {a + u"正向有功电度 2008-05-03 遥脉倒走 11:55:00-12:00:00 "_s}},
    };
    const QStringList all = scan(kMay1, kMay3, settings);
    for (const Case& c : cases) {
        QStringList found = all.filter(u' ' + ruleOf(c.rule).name + u' ');
        // The values of spikes and counters come from the noise: compared up to them.
        for (int i = 0; i < found.size() && i < c.expected.size(); ++i)
            if (c.expected[i].endsWith(u' '))
                found[i] = found[i].left(c.expected[i].size());
        EXPECT_EQ(found, c.expected) << ruleOf(c.rule).name.toStdString();
    }
    // Only the rules enabled run; one tag alone is read on its own and gives its own findings.
    CheckSettings spikesOnly = defaultCheckSettings();
    for (RuleChoice& choice : spikesOnly)
        choice.enabled = false;
    spikesOnly[size_t(RuleId::Spike)].enabled = true;
    const QStringList tag2 = scan(kMay1, kMay3, spikesOnly, {telemetry::TelemetryScope::Kind::Tag, 2, {}, {}});
    EXPECT_EQ(tag2, all.filter(u"电流B 2008-05-01 突变"_s));
    // 取消 stops the scan after the day it reads: that day's findings only.
    struct Cancelling : ScanObserver {
        bool cancelled() override { return true; }
    };
    const QStringList firstDay = all.filter(u" 2008-05-01 "_s);
    EXPECT_EQ(scan(kMay1, kMay3, settings, {telemetry::TelemetryScope::Kind::Station, 0, u"甲站"_s, {}}, Cancelling()),
              firstDay);
}

// Daily sines with noise of ±1% of their range and a rising counter give no
// finding with the defaults, sampled every 5 minutes or every second.
TEST_P(CheckScanTest, CleanArchiveGivesNoFinding)
{
    for (int spacing : {300, 1}) {
        writeDay(kMay1, [&](const TagDef& tag) {
            return tag.id == 4 || (spacing == 1 && tag.id > 2 && !tag.counter) ? DaySamples {}
                                                                               : cleanDay(tag, kMay1, spacing);
        });
        const QStringList found = scan(kMay1, kMay1, defaultCheckSettings());
        EXPECT_EQ(found.filter(u"数据缺失 00:00:00-23:59:59 无数据 0"_s).size(), found.size()) << spacing;
        EXPECT_EQ(found.size(), spacing == 1 ? 3 : 1) << found.join(u'\n').toStdString();
    }
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Kinds, CheckScanTest, allDatabaseKinds(), kindName);
