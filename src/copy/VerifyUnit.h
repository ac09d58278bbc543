#pragma once

#include "copy/CopyUnit.h"
#include "copy/VerifyRows.h"

#include <functional>

namespace tessera::copy {

// One unit of a copy as the verify compares it: the unit's rows on both
// sides, each through the copy's own conversion.
struct VerifyPlan {
    UnitPlan source; // the copy's read of the unit (sourceSql, convert, typedValues)
    UnitPlan target; // the same rows of the target, through the same conversion
    RowShape shape;
    // The plan's statement of one side narrowed to the buckets [first, last].
    std::function<QString(bool sourceSide, qint64 first, qint64 last)> bucketSql;
};

struct VerifyResult {
    UnitEnd end = UnitEnd::Done; // Done, SourceFailed (of either side: see side), ConnectionLost, Stopped
    Side side = Side::Source;
    std::optional<db::DbError> error;
    qint64 sourceRows = 0;
    qint64 targetRows = 0;
    qint64 missing = 0;   // rows of the source the target lacks
    qint64 extra = 0;     // rows of the target the source lacks
    qint64 different = 0; // rows of the same key with other values

    bool equal() const { return missing == 0 && extra == 0 && different == 0; }
};

using DifferenceFound = std::function<void(const RowDifference& difference)>;

// Compares one unit and writes nothing. A first pass reads both sides once,
// at the same time, into a count and a digest per bucket; only the buckets
// that differ are read again, in batches of bounded size, and compared row
// by row. Memory stays bounded whatever the unit's size. Both connections
// are lent to the readers and given back (closed after an abandoned read).
VerifyResult verifyUnit(db::Connection& target, db::Connection& source, const VerifyPlan& plan,
                        const UnitCallbacks& callbacks, const DifferenceFound& found);

} // namespace tessera::copy
