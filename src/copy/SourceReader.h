#pragma once

#include "copy/CopyUnit.h"
#include "db/Connection.h"

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace tessera::copy {

// Reads a unit's source on a thread of its own, a few blocks ahead of the
// writer, so that a unit takes as long as the slower side instead of the sum
// of both. The query runs there too: a source that stops answering (a peer
// gone without closing its connection) holds that thread, never the writer.
//
// The reader owns the source connection while it reads: give it back with
// release(). A reader that was abandoned (a stall, or a stop while waiting)
// keeps the connection on its thread until the driver's call returns; the
// connection is then closed there, and release() gives a closed one.
// The queue is bounded: memory stays the same whatever the size of a day.
class SourceReader {
public:
    using Row = std::vector<db::Value>;

    // The connection is moved in; the plan is copied (its conversion must
    // not refer to anything the caller may drop).
    SourceReader(db::Connection source, UnitPlan plan, std::chrono::milliseconds stallLimit);
    ~SourceReader();
    SourceReader(const SourceReader&) = delete;
    SourceReader& operator=(const SourceReader&) = delete;

    enum class Wait { Block, Stopped, Stalled };
    // Waits for the next block of converted rows (empty at the end), asking
    // `stopRequested` a few times a second. Stopped and Stalled abandon the
    // reader. Rethrows what the reading thread threw (db::DbError where
    // reading or converting failed).
    Wait nextBlock(std::vector<Row>& block, const std::function<bool()>& stopRequested);

    // The source connection, once the reading thread has ended; a closed one
    // when the reader was abandoned. Waits at most the stall limit for the
    // thread, then abandons it.
    db::Connection release();

private:
    struct State;
    static void run(const std::shared_ptr<State>& state);
    void abandon();
    bool waitForThreadEnd();

    std::shared_ptr<State> m_state;
    std::chrono::milliseconds m_stallLimit;
    bool m_released = false;
};

// How long a source may stay silent before its lane is abandoned: twice the
// connection's query time-out, which bounds every statement of a server that
// still answers; no limit without a time-out.
std::chrono::milliseconds stallLimitOf(const db::Connection& source);

} // namespace tessera::copy
