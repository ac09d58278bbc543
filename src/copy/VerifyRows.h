#pragma once

#include "db/Statement.h"

#include <QString>
#include <QStringList>

#include <map>
#include <vector>

// How the verify compares a unit's rows: both sides go through the copy's own
// conversion, then each column is compared by its rule, as the copy defines
// equality. Rows without keys are a multiset: a row twice counts twice.
namespace tessera::copy {

using VerifyRow = std::vector<db::Value>;

enum class ValueRule {
    Moment,    // a date-time to the second (values as QDateTime or canonical text)
    TimeOfDay, // the time of day of a date-time (an event's ATime)
    Integer,
    Real,      // compared at the target column's precision, within the tolerance
    Text,      // exact; NULL reads as empty text (the copy writes it so)
};

struct ColumnRule {
    QString name;
    ValueRule rule = ValueRule::Text;
    bool singlePrecision = false; // the target column keeps a float
    int significantDigits = 0;    // reals as far as a side's driver reads them (0: all)
};

// One unit's comparison: its columns, the columns that name a row (the same
// key on both sides with other values is a changed row, not one missing and
// one extra) and how rows are bucketed for the first pass.
struct RowShape {
    std::vector<ColumnRule> columns;
    std::vector<int> key;
    int bucketColumn = 0;
    qint64 bucketSeconds = 60; // a minute of a day's samples, a day of an event range
    double tolerance = 0;      // reals closer than this are equal

    // Seconds since the epoch of a moment value; 0 for NULL or text that names none.
    static qint64 secondsOf(const db::Value& value);
    // The bucket of a row: its moment's whole bucketSeconds.
    qint64 bucketOf(const VerifyRow& row) const;
    // A digest of a row that rows equal under the rules share (reals within
    // the tolerance may not: their buckets are then compared row by row).
    quint64 hashOf(const VerifyRow& row) const;
    bool equal(const VerifyRow& a, const VerifyRow& b) const;
    QString keyOf(const VerifyRow& row) const;
    QStringList texts(const VerifyRow& row) const;
};

// Count and order-independent digest of a bucket's rows.
struct BucketDigest {
    qint64 rows = 0;
    quint64 sum = 0;

    void add(quint64 hash)
    {
        ++rows;
        sum += hash;
    }
    bool operator==(const BucketDigest& other) const { return rows == other.rows && sum == other.sum; }
};
using BucketDigests = std::map<qint64, BucketDigest>;

struct RowDifference {
    enum class Kind { Missing, Extra, Different };
    Kind kind;
    VerifyRow source; // empty for Extra
    VerifyRow target; // empty for Missing
};

// The multiset difference of the same bucket on both sides: rows equal under
// the rules cancel out; of the others, a source and a target row with the
// same key make a changed row, the rest are missing or extra.
std::vector<RowDifference> differencesOf(const RowShape& shape, std::vector<VerifyRow> source,
                                         std::vector<VerifyRow> target);

} // namespace tessera::copy
