#include "copy/VerifyUnit.h"

#include "copy/SideFailure.h"
#include "copy/SourceReader.h"

#include "db/Connection.h"

#include <set>

namespace tessera::copy {

namespace {

// Rows of both sides the second pass holds at once.
constexpr qint64 kBatchRows = 200000;

// One side's rows from a reader of its own; the connection is given back
// when the reading ends.
class SideReading {
public:
    SideReading(db::Connection& connection, UnitPlan plan, Side side)
        : m_connection(connection)
        , m_side(side)
        , m_stallLimit(stallLimitOf(connection))
        , m_reader(std::move(connection), std::move(plan), m_stallLimit)
    {
    }
    ~SideReading() { m_connection = m_reader.release(); }
    SideReading(const SideReading&) = delete;
    SideReading& operator=(const SideReading&) = delete;

    // The next block; false at the end.
    bool next(std::vector<VerifyRow>& block, const std::function<bool()>& stopWhileWaiting)
    {
        const SourceReader::Wait wait = onSide(
            m_side, UnitEnd::SourceFailed, [&] { return m_reader.nextBlock(block, stopWhileWaiting); });
        if (wait == SourceReader::Wait::Stopped)
            throw SideFailure{UnitEnd::Stopped, m_side, std::nullopt};
        if (wait == SourceReader::Wait::Stalled)
            throw SideFailure::stalled(m_side);
        return !block.empty();
    }

private:
    db::Connection& m_connection;
    Side m_side;
    std::chrono::milliseconds m_stallLimit;
    SourceReader m_reader;
};

// The first pass needs a row's bucket and digest only: they are made on the
// reading threads, each side's on its own, as a row of two integers.
UnitPlan digesting(UnitPlan plan, const RowShape& shape)
{
    plan.convert = [convert = plan.convert, shape](db::ResultSet& rs, qint64 rowNumber) {
        const VerifyRow row = convert(rs, rowNumber);
        return VerifyRow{shape.bucketOf(row), qint64(shape.hashOf(row))};
    };
    return plan;
}

// Reads both sides at the same time, each row to `visit(sourceSide, row)`.
// A narrowed read takes the rows of the buckets [first, last] only; without
// one, rows come as their bucket and digest.
template <class Visit>
void readBoth(db::Connection& target, db::Connection& source, const VerifyPlan& plan, const UnitCallbacks& callbacks,
              std::optional<std::pair<qint64, qint64>> narrowed, Visit&& visit)
{
    UnitPlan fromSource = narrowed ? plan.source : digesting(plan.source, plan.shape);
    UnitPlan fromTarget = narrowed ? plan.target : digesting(plan.target, plan.shape);
    if (narrowed) {
        fromSource.sourceSql = plan.bucketSql(true, narrowed->first, narrowed->second);
        fromTarget.sourceSql = plan.bucketSql(false, narrowed->first, narrowed->second);
    }
    SideReading sourceSide(source, std::move(fromSource), Side::Source);
    SideReading targetSide(target, std::move(fromTarget), Side::Target);
    bool sourceLeft = true;
    bool targetLeft = true;
    std::vector<VerifyRow> block;
    while (sourceLeft || targetLeft) {
        if (sourceLeft && (sourceLeft = sourceSide.next(block, callbacks.stopWhileWaiting)))
            for (VerifyRow& row : block)
                visit(true, std::move(row));
        if (targetLeft && (targetLeft = targetSide.next(block, callbacks.stopWhileWaiting)))
            for (VerifyRow& row : block)
                visit(false, std::move(row));
        if (callbacks.stopRequested && callbacks.stopRequested())
            throw SideFailure{UnitEnd::Stopped, Side::Source, std::nullopt};
    }
}

// The buckets whose digests differ, in batches of at most kBatchRows rows.
std::vector<std::vector<qint64>> differingBatches(const BucketDigests& source, const BucketDigests& target)
{
    std::set<qint64> buckets;
    for (const auto& [bucket, digest] : source)
        if (const auto found = target.find(bucket); found == target.end() || !(found->second == digest))
            buckets.insert(bucket);
    for (const auto& [bucket, digest] : target)
        if (!source.count(bucket))
            buckets.insert(bucket);
    std::vector<std::vector<qint64>> batches;
    qint64 rows = kBatchRows;
    for (qint64 bucket : buckets) {
        const auto count = [bucket](const BucketDigests& digests) {
            const auto found = digests.find(bucket);
            return found == digests.end() ? 0 : found->second.rows;
        };
        const qint64 bucketRows = count(source) + count(target);
        if (batches.empty() || rows + bucketRows > kBatchRows) {
            batches.emplace_back();
            rows = 0;
        }
        batches.back().push_back(bucket);
        rows += bucketRows;
    }
    return batches;
}

void compareBatch(db::Connection& target, db::Connection& source, const VerifyPlan& plan,
                  const UnitCallbacks& callbacks, const std::vector<qint64>& batch, VerifyResult& result,
                  const DifferenceFound& found)
{
    const std::set<qint64> wanted(batch.begin(), batch.end());
    std::map<qint64, std::pair<std::vector<VerifyRow>, std::vector<VerifyRow>>> rows;
    readBoth(target, source, plan, callbacks, std::pair{batch.front(), batch.back()},
             [&](bool sourceSide, VerifyRow&& row) {
                 const qint64 bucket = plan.shape.bucketOf(row);
                 if (!wanted.count(bucket))
                     return;
                 auto& sides = rows[bucket];
                 (sourceSide ? sides.first : sides.second).push_back(std::move(row));
             });
    for (auto& [bucket, sides] : rows) {
        for (const RowDifference& difference :
             differencesOf(plan.shape, std::move(sides.first), std::move(sides.second))) {
            switch (difference.kind) {
            case RowDifference::Kind::Missing:
                ++result.missing;
                break;
            case RowDifference::Kind::Extra:
                ++result.extra;
                break;
            case RowDifference::Kind::Different:
                ++result.different;
                break;
            }
            if (found)
                found(difference);
        }
    }
}

} // namespace

VerifyResult verifyUnit(db::Connection& target, db::Connection& source, const VerifyPlan& plan,
                        const UnitCallbacks& callbacks, const DifferenceFound& found)
{
    VerifyResult result;
    try {
        BucketDigests sourceDigests;
        BucketDigests targetDigests;
        readBoth(target, source, plan, callbacks, std::nullopt, [&](bool sourceSide, VerifyRow&& row) {
            (sourceSide ? sourceDigests : targetDigests)[std::get<qint64>(row[0])].add(quint64(std::get<qint64>(row[1])));
            qint64& rows = sourceSide ? result.sourceRows : result.targetRows;
            ++rows;
            if (sourceSide && callbacks.rowRead)
                callbacks.rowRead(rows);
        });
        for (const std::vector<qint64>& batch : differingBatches(sourceDigests, targetDigests))
            compareBatch(target, source, plan, callbacks, batch, result, found);
    } catch (const SideFailure& failure) {
        failure.endInto(result);
    }
    return result;
}

} // namespace tessera::copy
