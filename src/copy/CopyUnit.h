#pragma once

#include "dialect/DatabaseKind.h"
#include "db/DbError.h"
#include "db/Statement.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace tessera::db {
class Connection;
class ResultSet;
}

namespace tessera::copy {

// One unit of the copy: a range of the target is cleared and filled again
// from the source (one event table's range, one telemetry day of one year).
// It either completes or leaves the target as it was: one transaction on the
// target around the delete and the inserts. A table that cannot roll back
// (Access, a MySQL/MariaDB table without transactions) gets no transaction;
// there every source row is read and converted before the delete, no stop is
// taken after it, and every row is written once, never replayed: only a
// target connection lost after the delete leaves the range partly written.
// The source is read on a thread of its own (SourceReader).
struct UnitPlan {
    QString table; // the target table, whose engine decides the above
    QString deleteSql;
    QString sourceSql;
    QString insertSql;
    int columns = 0;
    int chunkRows = 1000;
    // True: a refused row is reported and skipped, the others are kept.
    // False: the first refused row ends the unit, which is undone.
    bool skipRefusedRows = false;
    // Integer and date-time columns come as bound numbers and timestamps, not
    // as text (not from SQLite, whose driver reads a number or a moment out
    // of any text).
    bool typedValues = false;
    // A source row as the insert's values; rowNumber counts from 1. Throws
    // DbError for a value it cannot read. Runs on the reading thread, which
    // may outlive the caller's frame: it holds its data by value.
    std::function<std::vector<db::Value>(db::ResultSet& row, qint64 rowNumber)> convert;
};

struct UnitCallbacks {
    // Asked before the delete and between rows; true undoes the unit (a
    // table without transactions: only until its delete).
    std::function<bool()> stopRequested;
    // Asked while the source is slow to give rows; true abandons it.
    std::function<bool()> stopWhileWaiting;
    // The target's range is cleared (inside the transaction where there is
    // one), of that many rows (-1: the driver does not say).
    std::function<void(qint64 rowsDeleted)> deleted;
    // After each row read and handed to the target; for progress.
    std::function<void(qint64 rowsRead)> rowRead;
    // A refused row that was skipped (skipRefusedRows).
    std::function<void(const db::DbError& error)> rowRefused;
};

enum class UnitEnd {
    Done,           // committed; refused rows skipped where the plan allows
    DeleteFailed,   // the delete (or getting ready for it) failed: nothing changed
    SourceFailed,   // the source could not be read, or a value of a row
    InsertFailed,   // a refused row ended the unit, or the commit failed
    Stopped,        // the user stopped
    ConnectionLost, // on either side (a source silent past its stall limit too); no further statement is worth trying
};

enum class Side { Target, Source };

struct UnitResult {
    UnitEnd end = UnitEnd::Done;
    qint64 rowsRead = 0;
    // The error behind every end but Done and Stopped, and its side.
    std::optional<db::DbError> error;
    Side side = Side::Target;
};

// The source connection is lent to the unit's reader and given back; it is
// closed afterwards when a silent source had to be abandoned.
UnitResult copyUnit(db::Connection& target, DatabaseKind targetKind, db::Connection& source, const UnitPlan& plan,
                    const UnitCallbacks& callbacks);

} // namespace tessera::copy
