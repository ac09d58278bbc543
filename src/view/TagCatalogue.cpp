#include "view/TagCatalogue.h"

#include "text/DecimalText.h"
#include "text/Trimming.h"
#include "db/Connection.h"
#include "db/ResultSet.h"
#include "schema/Schema.h"
#include "view/ViewMode.h"

namespace tessera {

CatalogueBuilder::CatalogueBuilder()
{
    m_root.name = QStringLiteral("YCRoot");
}

void CatalogueBuilder::add(const CatalogueRow& row)
{
    const QString station = withoutTrailingBlanks(row.station);
    const QString switchName = withoutTrailingBlanks(row.switchName);
    const QString tag = withoutTrailingBlanks(row.tagName);
    if (station != m_station) {
        m_station = station;
        m_switch.reset();
        m_tag.reset();
        m_root.children.push_back({station, node::kStation, {}, false});
    }
    if (switchName != m_switch) {
        m_switch = switchName;
        m_tag.reset();
        QString shown = switchName;
        if (shown.isEmpty())
            shown = station == kRealtimeDatabaseStation ? QStringLiteral("全局变量") : station;
        m_root.children.back().children.push_back({shown, node::kSwitch, {}, false});
    }
    if (tag != m_tag) {
        m_tag = tag;
        m_root.children.back().children.back().children.push_back(
            {tag, decimalInteger(row.tagId), {}, withoutTrailingBlanks(row.tagType) == kTagTypePulse});
    }
}

CatalogueNode CatalogueBuilder::take()
{
    CatalogueNode root = std::move(m_root);
    *this = CatalogueBuilder();
    return root;
}

CatalogueLoad LoadCatalogue(db::Connection& connection)
{
    CatalogueBuilder builder;
    CatalogueLoad load;
    if (!connection.isOpen()) {
        load.root = builder.take();
        return load;
    }
    try {
        auto rs = connection.query(kTagCatalogueTreeSql);
        while (rs.next())
            builder.add({rs.string(0), rs.string(1), rs.string(3), rs.string(4), rs.string(2)});
    } catch (const db::DbError& error) {
        load.error = error;
    }
    load.root = builder.take();
    return load;
}

QString tagPathOf(const CatalogueNode& root, int tagId)
{
    for (const CatalogueNode& station : root.children)
        for (const CatalogueNode& switchNode : station.children)
            for (const CatalogueNode& tag : switchNode.children)
                if (tag.itemData == tagId)
                    return QStringLiteral("%1 / %2 / %3").arg(station.name, switchNode.name, tag.name);
    return QString::number(tagId);
}

} // namespace tessera
