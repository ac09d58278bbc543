#pragma once

#include "records/EventKind.h"

#include <vector>

namespace tessera {
class ArchiveUnit;
}

// The record commands' writes as the journal sees them: the records their
// keys address, and the delete of many rows in one unit.
namespace tessera::records {

enum class KeyOf { Update, Delete };

// The records the rows' keys address: the kind's table, one clause per
// distinct key.
journal::UnitScope recordsScope(const EventKind& kind, const std::vector<Record>& rows, KeyOf key);

// Deletes the rows' records one by one from the last row to the first,
// inside the unit, and commits what was deleted: a failure stops there and
// the rows before it stay deleted. Returns how many rows were deleted;
// `failure` holds the driver's text of the one that failed.
qint64 deleteRecords(const EventKind& kind, DatabaseKind db, const std::vector<Record>& rows, ArchiveUnit& unit,
                     QString& failure);

} // namespace tessera::records
