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

QString instantLiteral(DatabaseKind kind, const QDate& day, const QTime& time)
{
    return FormatDateLiteral(kind, dateTimeText(day, time));
}

QString rangeEndLiteral(DatabaseKind kind, const QDate& day, const QTime& end)
{
    // Wall-clock seconds: no time zone may shift the day's last second.
    return FormatDateLiteral(kind, dateTimeText(QDateTime(day, end, Qt::UTC).addSecs(1)));
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

std::vector<int> tagIdsUnder(const CatalogueNode& catalogue, const QString& station, const QString& switchName)
{
    std::vector<int> ids;
    for (const CatalogueNode& s : catalogue.children) {
        if (s.name != station)
            continue;
        for (const CatalogueNode& sw : s.children) {
            if (sw.name != switchName)
                continue;
            for (const CatalogueNode& tag : sw.children)
                ids.push_back(tag.itemData);
            return ids;
        }
        return ids;
    }
    return ids;
}

QString TagIdList(const CatalogueNode& catalogue, const QString& station, const QString& switchName)
{
    QStringList parts;
    for (int id : tagIdsUnder(catalogue, station, switchName))
        parts << QStringLiteral("TagID=%1").arg(id);
    return parts.join(QStringLiteral(" OR "));
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

} // namespace tessera::telemetry
