#pragma once

#include "copy/CopyUnit.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace tessera::copy {

// Reads a unit's source rows on a thread of its own, a few blocks ahead of
// the writer, so that a unit takes as long as the slower side instead of the
// sum of both. The queue is bounded: memory stays the same whatever the size
// of a day. The result set and the plan must outlive the reader; the
// destructor stops the thread and waits for it.
class SourceReader {
public:
    using Row = std::vector<db::Value>;

    SourceReader(db::ResultSet& rows, const UnitPlan& plan, qint64 rowsBefore);
    ~SourceReader();
    SourceReader(const SourceReader&) = delete;
    SourceReader& operator=(const SourceReader&) = delete;

    // The next block of converted rows; empty at the end. Rethrows the
    // reader's db::DbError where reading or converting failed.
    std::vector<Row> nextBlock();

private:
    void run();

    db::ResultSet& m_rows;
    const UnitPlan& m_plan;
    qint64 m_rowNumber;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::vector<Row>> m_blocks;
    bool m_ended = false;   // the reader has no more blocks to give
    bool m_stopped = false; // the writer needs no more
    std::exception_ptr m_failure;
    std::thread m_thread;
};

} // namespace tessera::copy
