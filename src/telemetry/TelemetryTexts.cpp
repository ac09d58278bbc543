#include "telemetry/TelemetryTexts.h"

#include "schema/Schema.h"
#include "text/DateTexts.h"
#include "schema/TableNames.h"
#include "view/TagCatalogue.h"
#include "view/ViewMode.h"

#include <QDateTime>

namespace tessera::telemetry {

namespace {

SelectionResult refused(SelectionRefusal why)
{
    SelectionResult r;
    r.refusal = why;
    return r;
}

SelectionResult scoped(TelemetryScope scope)
{
    SelectionResult r;
    r.scope = std::move(scope);
    return r;
}

// The top item, or an event-kind item directly under it.
bool outsideTelemetry(const TreeItemInfo& item)
{
    if (!item.exists || !item.hasParent)
        return true;
    return item.parentIsTop && item.data != node::kTelemetry;
}

TelemetryScope scopeOfData(const TreeItemInfo& item)
{
    TelemetryScope s;
    switch (item.data) {
    case node::kTelemetry:
        s.kind = TelemetryScope::Kind::AllTelemetry;
        break;
    case node::kStation:
        s.kind = TelemetryScope::Kind::Station;
        s.station = item.text;
        break;
    case node::kSwitch:
        s.kind = TelemetryScope::Kind::Switch;
        s.station = item.parentText;
        s.switchName = item.text;
        break;
    default:
        s.kind = TelemetryScope::Kind::Tag;
        s.tagId = item.data;
        break;
    }
    return s;
}

} // namespace

QString FormatTimeText(const QDateTime& instant)
{
    return FormatTimeText(instant.date(), instant.time());
}

QString FormatTimeText(const QDate& day, const QTime& time)
{
    return dateTimeText(day, time);
}

QString tableOfDay(const QDate& day)
{
    return TelemetryTableName(day);
}

QString instantLiteral(DatabaseKind kind, const QDate& day, const QTime& time)
{
    return FormatDateLiteral(kind, FormatTimeText(day, time));
}

QString rangeEndLiteral(DatabaseKind kind, const QDate& day, const QTime& end)
{
    // Wall-clock seconds: no time zone may shift the day's last second.
    return FormatDateLiteral(kind, FormatTimeText(QDateTime(day, end, Qt::UTC).addSecs(1)));
}

RandomSource RandomSource::fromClock()
{
    return RandomSource(quint32(QDateTime::currentMSecsSinceEpoch()));
}

int RandomSource::next()
{
    m_state = m_state * 214013u + 2531011u;
    return int((m_state >> 16) & 0x7fffu);
}

float RandomBetween(RandomSource& random, float maximum, float minimum)
{
    constexpr float K = 1.0f / 32767.0f;
    const float r = float(random.next());
    return minimum + r * K * (maximum - minimum);
}

QString TagIdList(const CatalogueNode& catalogue, const QString& station, const QString& switchName)
{
    for (const CatalogueNode& s : catalogue.children) {
        if (s.name != station)
            continue;
        for (const CatalogueNode& sw : s.children) {
            if (sw.name != switchName)
                continue;
            QStringList parts;
            for (const CatalogueNode& tag : sw.children)
                parts << QStringLiteral("TagID=%1").arg(tag.itemData);
            return parts.join(QStringLiteral(" OR "));
        }
        return QString();
    }
    return QString();
}

SelectionResult selectTag(const TreeItemInfo& item)
{
    if (!item.exists || !item.hasParent || (item.data > 0 && item.parentData > 0))
        return refused(SelectionRefusal::SwitchToTelemetry);
    if (item.data < 0)
        return refused(SelectionRefusal::WrongItem);
    TelemetryScope s;
    s.tagId = item.data;
    return scoped(s);
}

SelectionResult selectForZeroing(const TreeItemInfo& item)
{
    if (outsideTelemetry(item))
        return refused(SelectionRefusal::SwitchToTelemetry);
    if (item.parentData > 0) // the telemetry root, whose parent is the top item
        return refused(SelectionRefusal::WrongItem);
    return scoped(scopeOfData(item));
}

SelectionResult selectForReplacement(const TreeItemInfo& item)
{
    if (outsideTelemetry(item))
        return refused(SelectionRefusal::SwitchToTelemetry);
    if (item.parentData > 0 && item.parentData != node::kTop)
        return refused(SelectionRefusal::WrongItem);
    return scoped(scopeOfData(item));
}

QString refusalText(SelectionRefusal refusal)
{
    return refusal == SelectionRefusal::SwitchToTelemetry
        ? QStringLiteral("请将视图切换到遥测数据根目录窗口后再进行该操作!")
        : QStringLiteral("请选择要正确选择要修改的项!");
}

QString refusalCaption(SelectionRefusal refusal)
{
    return refusal == SelectionRefusal::SwitchToTelemetry ? QStringLiteral("遥测数据") : QStringLiteral("替换数据");
}

QString scopeCondition(const TelemetryScope& scope, const QString& fromLiteral, const QString& untilLiteral,
                       const CatalogueNode& catalogue)
{
    const QString range = QStringLiteral("ATime>=%1 AND ATime<%2").arg(fromLiteral, untilLiteral);
    switch (scope.kind) {
    case TelemetryScope::Kind::Tag:
        return range + QStringLiteral(" AND TagID=%1").arg(scope.tagId);
    case TelemetryScope::Kind::Station:
        return range
            + QStringLiteral(" AND TagID IN(SELECT TagID FROM EqpTagInfo WHERE StationName=%1 AND TagType='%2')")
                  .arg(quotedSqlText(scope.station), kTagTypeTelemetry);
    case TelemetryScope::Kind::AllTelemetry:
        return range + QStringLiteral(" AND TagID IN(SELECT TagID FROM EqpTagInfo WHERE TagType='%1')").arg(kTagTypeTelemetry);
    case TelemetryScope::Kind::Switch:
        // The list goes in parentheses so that the range bounds every tag of it.
        return range + QStringLiteral(" AND (%1)").arg(TagIdList(catalogue, scope.station, scope.switchName));
    }
    return range;
}

} // namespace tessera::telemetry
