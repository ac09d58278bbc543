#pragma once

#include "journal/JournalEntry.h"

#include <QStringList>

#include <vector>

class QIODevice;

// The journal as people read it: the cells of the journal window's list and
// the same columns in a CSV file.
namespace tessera::journal {

// Column captions, in list order.
const QStringList& entryListHeaders();
// One entry's cells under entryListHeaders().
QStringList entryCells(const EntrySummary& entry);

// "删除3行, 写入2行, 1行未写入"; the counts a command did not know are left out.
QString rowCountText(const RowCounts& counts);
// The state, the command's own outcome and the undo links.
QString outcomeText(const EntrySummary& entry);

// The entries as CSV (UTF-8 with a byte-order mark, so spreadsheets read the
// Chinese texts; CRLF line ends; a cell that a spreadsheet would take for a
// formula starts with an apostrophe). False when the device refused a write.
bool writeEntriesCsv(QIODevice& device, const std::vector<EntrySummary>& entries);

} // namespace tessera::journal
