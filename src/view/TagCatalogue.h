#pragma once

#include "db/DbError.h"

#include <QString>

#include <optional>
#include <vector>

namespace tessera {

namespace db {
class Connection;
}

// The telemetry tags of EqpTagInfo as the tree shows them: root "YCRoot",
// stations (item data -2), switches (-3), tags (their TagID).
struct CatalogueNode {
    QString name;
    int itemData = 0;
    std::vector<CatalogueNode> children;
    bool counter = false; // a tag of TagType "遥脉": a pulse counter
};

// "station / switch / tag" for a tag of the catalogue, or its TagID as text
// when the catalogue does not hold it.
QString tagPathOf(const CatalogueNode& root, int tagId);

struct CatalogueRow {
    QString station;
    QString switchName;
    QString tagName;
    QString tagId; // as read; converted by decimal reading
    QString tagType;
};

// Appends one row of the tree query to the catalogue: only a change from the
// previous row's station, switch or tag starts a new node.
class CatalogueBuilder {
public:
    CatalogueBuilder();
    void add(const CatalogueRow& row);
    CatalogueNode take();

private:
    CatalogueNode m_root;
    // Empty before the first row and after a change one level up, so that
    // any name, even an odd one, starts a node there.
    std::optional<QString> m_station, m_switch, m_tag;
};

struct CatalogueLoad {
    CatalogueNode root;
    // The database error that ended the read; root holds what was read.
    std::optional<db::DbError> error;
};

// Reads the catalogue over an open connection (an empty root when closed).
CatalogueLoad LoadCatalogue(db::Connection& connection);

} // namespace tessera
