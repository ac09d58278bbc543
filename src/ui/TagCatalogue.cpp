#include "ui/TagCatalogue.h"

#include "db/Connection.h"
#include "db/ResultSet.h"
#include "schema/Schema.h"
#include "ui/ViewMode.h"

namespace tessera {

namespace {

// Blanks as the database pads them; a full-width space is part of a name.
QString trimRight(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0 && (text.at(end - 1) == QLatin1Char(' ') || text.at(end - 1) == QLatin1Char('\t')))
        --end;
    return text.left(end);
}

// The usual decimal reading: leading blanks, a sign, digits; 0 without digits.
int decimalValue(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+')))
        negative = text.at(i++) == QLatin1Char('-');
    qint64 value = 0;
    while (i < text.size() && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9') && value < INT_MAX)
        value = value * 10 + (text.at(i++).unicode() - '0');
    value = std::min<qint64>(value, INT_MAX);
    return int(negative ? -value : value);
}

} // namespace

CatalogueBuilder::CatalogueBuilder()
{
    m_root.name = QStringLiteral("YCRoot");
}

void CatalogueBuilder::add(const CatalogueRow& row)
{
    const QString station = trimRight(row.station);
    const QString switchName = trimRight(row.switchName);
    const QString tag = trimRight(row.tagName);
    if (station != m_station) {
        m_station = station;
        m_switch.reset();
        m_tag.reset();
        m_root.children.push_back({station, node::kStation, {}});
    }
    if (switchName != m_switch) {
        m_switch = switchName;
        m_tag.reset();
        QString shown = switchName;
        if (shown.isEmpty())
            shown = station == kRealtimeDatabaseStation ? QStringLiteral("全局变量") : station;
        m_root.children.back().children.push_back({shown, node::kSwitch, {}});
    }
    if (tag != m_tag) {
        m_tag = tag;
        m_root.children.back().children.back().children.push_back({tag, decimalValue(trimRight(row.tagId)), {}});
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
            builder.add({rs.string(0), rs.string(1), rs.string(3), rs.string(4)});
    } catch (const db::DbError&) {
        load.failed = true;
    }
    load.root = builder.take();
    return load;
}

} // namespace tessera
