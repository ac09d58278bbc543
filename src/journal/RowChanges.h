#pragma once

#include "journal/ImageRows.h"

#include <QStringList>

namespace tessera::journal {

// What differs between the rows a command left (`left`) and the rows found
// now, one line each, at most maxLines (and a line for the rest): a row of
// `left` whose key columns are found again with other values is "modified"
// (with the columns that changed), one not found "deleted", a row found only
// now "added". Rows are named by their position in `left` (from 1) and by
// their key columns, or all their values when there are no key columns.
// Empty when the two hold the same rows, in whatever order.
QStringList describeRowChanges(const QStringList& columns, const QStringList& keyColumns, const std::vector<Row>& left,
                               const std::vector<Row>& now, int maxLines = 5);

} // namespace tessera::journal
