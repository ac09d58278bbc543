#include "copy/SourceReader.h"

#include "db/ResultSet.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace tessera::copy {

namespace {

// Rows of a block, and blocks that may wait for the writer.
constexpr size_t kBlockRows = 1000;
constexpr size_t kQueuedBlocks = 4;
// How often a waiting writer asks whether the user stopped.
constexpr auto kStopPoll = std::chrono::milliseconds(100);

} // namespace

// What the reading thread and the writer share. The thread holds it too, so
// an abandoned reader's connection and plan live as long as its last call.
struct SourceReader::State {
    db::Connection connection;
    UnitPlan plan;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::vector<Row>> blocks;
    bool ended = false;   // the thread has no more blocks to give
    bool stopped = false; // the writer needs no more
    bool finished = false; // the thread has returned
    std::exception_ptr failure;
};

SourceReader::SourceReader(db::Connection source, UnitPlan plan, std::chrono::milliseconds stallLimit)
    : m_state(std::make_shared<State>())
    , m_stallLimit(stallLimit)
{
    m_state->connection = std::move(source);
    m_state->plan = std::move(plan);
    std::thread(run, m_state).detach();
}

SourceReader::~SourceReader()
{
    if (!m_released)
        release();
}

void SourceReader::run(const std::shared_ptr<State>& state)
{
    auto ends = [&](std::exception_ptr failure) {
        std::lock_guard lock(state->mutex);
        state->failure = failure;
        state->ended = true;
        state->changed.notify_all();
    };
    try {
        db::ResultSet rows = state->connection.query(state->plan.sourceSql);
        // Values as stored, not as the driver displays them; not from SQLite,
        // whose driver reads no more than its text's 15 digits either way and
        // makes 0 of a text that a numeric column holds.
        rows.readFloatsAsNumbers(state->plan.typedValues);
        rows.readIntegersAsNumbers(state->plan.typedValues);
        rows.readDateTimesAsValues(state->plan.typedValues);
        qint64 rowNumber = 0;
        bool last = false;
        while (!last) {
            std::vector<Row> block;
            block.reserve(kBlockRows);
            while (block.size() < kBlockRows && rows.next())
                block.push_back(state->plan.convert(rows, ++rowNumber));
            last = block.size() < kBlockRows;
            std::unique_lock lock(state->mutex);
            state->changed.wait(lock, [&] { return state->stopped || state->blocks.size() < kQueuedBlocks; });
            if (state->stopped)
                break;
            if (!block.empty())
                state->blocks.push_back(std::move(block));
            state->ended = last;
            state->changed.notify_all();
        }
        ends(nullptr);
    } catch (...) {
        ends(std::current_exception());
    }
    // An abandoned reader's connection goes with its thread: the state is
    // destroyed with the thread's last reference to it.
    std::lock_guard lock(state->mutex);
    state->finished = true;
    state->changed.notify_all();
}

SourceReader::Wait SourceReader::nextBlock(std::vector<Row>& block, const std::function<bool()>& stopRequested)
{
    std::unique_lock lock(m_state->mutex);
    auto silentSince = std::chrono::steady_clock::now();
    for (;;) {
        if (!m_state->blocks.empty()) {
            block = std::move(m_state->blocks.front());
            m_state->blocks.pop_front();
            m_state->changed.notify_all();
            return Wait::Block;
        }
        if (m_state->ended) {
            // The rows before a failure went out first, like a read on one thread.
            if (m_state->failure)
                std::rethrow_exception(m_state->failure);
            block.clear();
            return Wait::Block;
        }
        m_state->changed.wait_for(lock, kStopPoll);
        if (!m_state->blocks.empty() || m_state->ended)
            continue;
        lock.unlock();
        const bool stop = stopRequested && stopRequested();
        lock.lock();
        const bool stalled = m_stallLimit.count() > 0 && std::chrono::steady_clock::now() - silentSince > m_stallLimit;
        if (stop || stalled) {
            lock.unlock();
            abandon();
            return stop ? Wait::Stopped : Wait::Stalled;
        }
    }
}

void SourceReader::abandon()
{
    std::lock_guard lock(m_state->mutex);
    m_state->stopped = true;
    m_state->changed.notify_all();
    m_released = true; // the connection stays with the thread
}

bool SourceReader::waitForThreadEnd()
{
    std::unique_lock lock(m_state->mutex);
    m_state->stopped = true;
    m_state->changed.notify_all();
    auto finished = [&] { return m_state->finished; };
    if (m_stallLimit.count() > 0)
        return m_state->changed.wait_for(lock, m_stallLimit, finished);
    m_state->changed.wait(lock, finished);
    return true;
}

db::Connection SourceReader::release()
{
    if (m_released)
        return db::Connection();
    m_released = true;
    if (!waitForThreadEnd())
        return db::Connection(); // still in a driver call: it keeps the connection
    std::lock_guard lock(m_state->mutex);
    return std::move(m_state->connection);
}

std::chrono::milliseconds stallLimitOf(const db::Connection& source)
{
    return std::chrono::milliseconds(qint64(source.options().queryTimeoutSeconds) * 2000);
}

} // namespace tessera::copy
