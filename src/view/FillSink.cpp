#include "view/FillSink.h"

#include "db/ResultSet.h"

namespace tessera {

QStringList columnNames(const db::ResultSet& rs)
{
    QStringList names;
    names.reserve(rs.columnCount());
    for (int c = 0; c < rs.columnCount(); ++c)
        names << rs.columnName(c);
    return names;
}

} // namespace tessera
