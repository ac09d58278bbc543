#include "DemoContent.h"

#include "db/BulkWriter.h"

#include <QRandomGenerator>

#include <cmath>

namespace tessera::demo {

namespace {

QString dateLiteral(DatabaseKind kind, const QDate& day)
{
    return FormatDateLiteral(kind, day.toString(QStringLiteral("yyyy-MM-dd")));
}

QString timeLiteral(DatabaseKind kind, int secondsOfDay)
{
    return FormatDateLiteral(kind, QTime(0, 0).addSecs(secondsOfDay).toString(QStringLiteral("hh:mm:ss")));
}

// Deterministic per day, so refreshing a day gives the same rows.
QRandomGenerator generatorFor(const QDate& day, int salt)
{
    return QRandomGenerator(quint32(day.toJulianDay() * 7919 + salt));
}

std::vector<Tag> makeCatalogue()
{
    struct SwitchDef {
        const char* name;
        double current;
    };
    const char* stations[] = {"城北变电站", "城南变电站", "江东变电站"};
    const SwitchDef switches[] = {{"1号主变", 320}, {"10kV城关线", 180}, {"10kV工业线", 240}, {"", 0}};
    std::vector<Tag> tags;
    int id = 1;
    auto add = [&](const QString& st, const QString& sw, const QString& type, const QString& name, double base,
                   double amp) { tags.push_back({st, sw, type, name, id++, base, amp}); };
    for (const char* stationName : stations) {
        const QString station = QString::fromUtf8(stationName);
        for (const SwitchDef& s : switches) {
            const QString sw = QString::fromUtf8(s.name);
            if (sw.isEmpty()) {
                // Station-wide measurements hang directly under the station.
                add(station, sw, kTagTypeTelemetry, QStringLiteral("10kV母线电压"), 10.4, 0.2);
                add(station, sw, kTagTypeTelemetry, QStringLiteral("系统频率"), 50.0, 0.05);
                continue;
            }
            add(station, sw, kTagTypeTelemetry, QStringLiteral("A相电流"), s.current, s.current * 0.3);
            add(station, sw, kTagTypeTelemetry, QStringLiteral("有功功率"), s.current * 0.017, s.current * 0.005);
            add(station, sw, kTagTypeTelemetry, QStringLiteral("无功功率"), s.current * 0.006, s.current * 0.002);
            add(station, sw, kTagTypePulse, QStringLiteral("正向有功电度"), 1200, 0);
            add(station, sw, kTagTypeSignal, QStringLiteral("开关位置"), 0, 0);
            add(station, sw, kTagTypeSignal, QStringLiteral("保护动作"), 0, 0);
        }
    }
    add(kRealtimeDatabaseStation, QStringLiteral("全局变量"), kTagTypeTelemetry, QStringLiteral("系统总负荷"), 30, 8);
    return tags;
}

std::vector<const Tag*> tagsOfType(const QString& type)
{
    std::vector<const Tag*> out;
    for (const Tag& t : catalogue())
        if (t.type == type && t.station != kRealtimeDatabaseStation)
            out.push_back(&t);
    return out;
}

} // namespace

const std::vector<Tag>& catalogue()
{
    static const std::vector<Tag> tags = makeCatalogue();
    return tags;
}

void writeCatalogue(db::Connection& c, DatabaseKind)
{
    db::BulkWriter writer(c, QStringLiteral("INSERT INTO EqpTagInfo(StationName,SwitchName,TagType,TagName,TagID) "
                                            "VALUES(?,?,?,?,?)"),
                          5);
    for (const Tag& t : catalogue())
        writer.addRow({t.station, t.switchName, t.type, t.name, qint64(t.id)});
    writer.finish();
}

void writeEventsOfDay(db::Connection& c, DatabaseKind kind, const QDate& day)
{
    QRandomGenerator rng = generatorFor(day, 1);
    const QString date = dateLiteral(kind, day);
    const auto signalTags = tagsOfType(kTagTypeSignal);
    const auto analogTags = tagsOfType(kTagTypeTelemetry);
    const QStringList operators = {QStringLiteral("张工"), QStringLiteral("李工"), QStringLiteral("值班员")};

    const QStringList operations = {QStringLiteral("用户登录"), QStringLiteral("遥控预置"), QStringLiteral("遥控执行"),
                                    QStringLiteral("修改限值"), QStringLiteral("确认告警")};
    for (int i = 0; i < 12; ++i) {
        const int at = 6 * 3600 + i * 4000 + int(rng.bounded(600));
        const Tag& t = *signalTags[rng.bounded(int(signalTags.size()))];
        c.execute(QStringLiteral("INSERT INTO Event(AType,ADate,ATime,MiniSecond,Contents,RunSystem,Operator,UserNote) "
                                 "VALUES(%1,%2,%3,%4,%5,%6,%7,%8)")
                      .arg(i % 5 + 1)
                      .arg(date, timeLiteral(kind, at))
                      .arg(rng.bounded(1000))
                      .arg(quotedSqlText(operations[i % operations.size()] + QStringLiteral(": ") + t.station + QLatin1Char(' ')
                             + t.switchName),
                           quotedSqlText(QStringLiteral("SCADA主站")), quotedSqlText(operators[i % operators.size()]),
                           quotedSqlText(i % 4 == 0 ? QStringLiteral("交接班检查") : QString())));
    }

    const QStringList alarmNames = {QStringLiteral("越上上限"), QStringLiteral("越上限"), QStringLiteral("越下限"),
                                    QStringLiteral("越下下限")};
    for (int i = 0; i < 10; ++i) {
        const Tag& t = *analogTags[rng.bounded(int(analogTags.size()))];
        const int which = i % 4;
        const double limit = t.base * (which < 2 ? 1.2 + 0.1 * (1 - which) : 0.8 - 0.1 * (which - 2));
        const double value = limit * (which < 2 ? 1.05 : 0.95);
        c.execute(QStringLiteral("INSERT INTO LimitAlarm(ADate,ATime,MiniSecond,StationName,SwitchName,LineName,"
                                 "PointName,AlarmName,AlarmStatus,AlarmValue,AlarmLimit,Operator) "
                                 "VALUES(%1,%2,%3,%4,%5,%6,%7,%8,%9,%10,%11,%12)")
                      .arg(date, timeLiteral(kind, 7 * 3600 + i * 3700 + int(rng.bounded(900))))
                      .arg(rng.bounded(1000))
                      .arg(quotedSqlText(t.station), quotedSqlText(t.switchName), quotedSqlText(t.switchName), quotedSqlText(t.name), quotedSqlText(alarmNames[which]),
                           quotedSqlText(i % 3 == 0 ? QStringLiteral("复归") : QStringLiteral("告警")))
                      .arg(value, 0, 'f', 2)
                      .arg(limit, 0, 'f', 2)
                      .arg(quotedSqlText(operators[i % operators.size()])));
    }

    for (int i = 0; i < 10; ++i) {
        const Tag& t = *signalTags[rng.bounded(int(signalTags.size()))];
        const int value = i % 2;
        c.execute(QStringLiteral("INSERT INTO RSChange(ADate,ATime,MiniSecond,StationName,SwitchName,LineName,"
                                 "SignalName,SignalStatus,nValue,Operator) VALUES(%1,%2,%3,%4,%5,%6,%7,%8,%9,%10)")
                      .arg(date, timeLiteral(kind, 5 * 3600 + i * 5200 + int(rng.bounded(800))))
                      .arg(rng.bounded(1000))
                      .arg(quotedSqlText(t.station), quotedSqlText(t.switchName), quotedSqlText(t.switchName), quotedSqlText(t.name),
                           quotedSqlText(value ? QStringLiteral("合") : QStringLiteral("分")))
                      .arg(value)
                      .arg(quotedSqlText(QStringLiteral("SCADA"))));
    }

    const QStringList reasons = {QStringLiteral("过流I段"), QStringLiteral("过流II段"), QStringLiteral("零序保护"),
                                 QStringLiteral("重合闸")};
    for (int i = 0; i < 8; ++i) {
        const Tag& t = *signalTags[rng.bounded(int(signalTags.size()))];
        c.execute(QStringLiteral("INSERT INTO SOE(ADate,ATime,MiniSecond,StationName,SwitchName,LineName,SOEType,"
                                 "SOEReason,Status,nValue,Operator) VALUES(%1,%2,%3,%4,%5,%6,%7,%8,%9,%10,%11)")
                      .arg(date, timeLiteral(kind, 4 * 3600 + i * 7100 + int(rng.bounded(900))))
                      .arg(rng.bounded(1000))
                      .arg(quotedSqlText(t.station), quotedSqlText(t.switchName), quotedSqlText(t.switchName), quotedSqlText(QStringLiteral("保护")),
                           quotedSqlText(reasons[i % reasons.size()]), quotedSqlText(i % 2 ? QStringLiteral("动作") : QStringLiteral("复归")))
                      .arg(i % 2)
                      .arg(quotedSqlText(QStringLiteral("SCADA"))));
    }

    for (int i = 0; i < 2; ++i) {
        const Tag& t = *signalTags[rng.bounded(int(signalTags.size()))];
        c.execute(QStringLiteral("INSERT INTO Fault(ADate,ATime,MiniSecond,StationName,SwitchName,LineName,Action,"
                                 "nValue,ProtectName,FaultType,Operator,GenerateType,FaultDist,PreFaultI,PreFaultV,"
                                 "FaultI,FaultV) VALUES(%1,%2,%3,%4,%5,%6,%7,%8,%9,%10,%11,%12,%13,%14,%15,%16,%17)")
                      .arg(date, timeLiteral(kind, 10 * 3600 + i * 20000))
                      .arg(rng.bounded(1000))
                      .arg(quotedSqlText(t.station), quotedSqlText(t.switchName), quotedSqlText(t.switchName), quotedSqlText(QStringLiteral("跳闸")))
                      .arg(1)
                      .arg(quotedSqlText(QStringLiteral("线路保护")), quotedSqlText(i ? QStringLiteral("相间短路") : QStringLiteral("单相接地")),
                           quotedSqlText(QStringLiteral("SCADA")), quotedSqlText(QStringLiteral("自动")), quotedSqlText(QStringLiteral("3.2km")),
                           quotedSqlText(QStringLiteral("182A")), quotedSqlText(QStringLiteral("10.3kV")), quotedSqlText(QStringLiteral("2650A")),
                           quotedSqlText(QStringLiteral("6.1kV"))));
    }

    for (const Tag* t : analogTags) {
        if (t->name != QLatin1String("A相电流"))
            continue;
        const double p = t->base * 0.017;
        c.execute(QStringLiteral("INSERT INTO SDaySummary(ADate,StationName,SwitchName,LineName,PeakKwh,NormalKwh,"
                                 "BottomKwh,VAGood,VBGood,VCGood,RFactor,MinP,MaxP,MeanP,MinQ,MaxQ,MeanQ,OffTime) "
                                 "VALUES(%1,%2,%3,%4,%5,%6,%7,99.5,99.2,99.7,0.95,%8,%9,%10,%11,%12,%13,0)")
                      .arg(date, quotedSqlText(t->station), quotedSqlText(t->switchName), quotedSqlText(t->switchName))
                      .arg(p * 8000, 0, 'f', 1)
                      .arg(p * 7000, 0, 'f', 1)
                      .arg(p * 4000, 0, 'f', 1)
                      .arg(p * 0.6, 0, 'f', 2)
                      .arg(p * 1.4, 0, 'f', 2)
                      .arg(p, 0, 'f', 2)
                      .arg(p * 0.2, 0, 'f', 2)
                      .arg(p * 0.5, 0, 'f', 2)
                      .arg(p * 0.35, 0, 'f', 2));
    }
    for (const Tag* t : signalTags) {
        if (t->name != QLatin1String("开关位置"))
            continue;
        c.execute(QStringLiteral("INSERT INTO RSSummary(ADate,StationName,SwitchName,SignalName,OnTime,OffTime,OnCount) "
                                 "VALUES(%1,%2,%3,%4,%5,%6,%7)")
                      .arg(date, quotedSqlText(t->station), quotedSqlText(t->switchName), quotedSqlText(t->name))
                      .arg(86400 - int(rng.bounded(600)))
                      .arg(int(rng.bounded(600)))
                      .arg(int(rng.bounded(3))));
    }
}

void writeSamplesOfDay(db::Connection& c, const QString& table, const QDate& day)
{
    QRandomGenerator rng = generatorFor(day, 2);
    db::BulkWriter writer(c, QStringLiteral("INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) VALUES(?,?,?,?,?)")
                                 .arg(table),
                          5);
    const QDateTime midnight(day, QTime(0, 0), Qt::UTC);
    for (const Tag& t : catalogue()) {
        if (t.type == kTagTypeSignal)
            continue;
        double previous = 0;
        double counter = t.base * (1 + day.dayOfYear() * 0.01);
        for (int slot = 0; slot < 288; ++slot) {
            double value;
            if (t.type == kTagTypePulse) {
                counter += 2 + rng.bounded(100) / 25.0;
                value = counter;
            } else {
                const double phase = (slot / 288.0 - 0.35) * 2 * M_PI;
                value = t.base + t.amplitude * std::sin(phase) + t.amplitude * 0.05 * (rng.bounded(200) / 100.0 - 1);
            }
            value = std::round(value * 100) / 100;
            // A stretch around noon was corrected by hand: DataType 6.
            const bool manual = slot >= 144 && slot < 150 && t.id % 5 == 0;
            writer.addRow({midnight.addSecs(slot * 300), qint64(t.id), qint64(manual ? kManualDataType : 1), value,
                           slot == 0 ? 0.0 : std::round((value - previous) * 100) / 100});
            previous = value;
        }
    }
    writer.finish();
}

} // namespace tessera::demo
