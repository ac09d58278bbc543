#include "copy/SourceReader.h"

#include "db/ResultSet.h"

namespace tessera::copy {

namespace {

// Rows of a block, and blocks that may wait for the writer.
constexpr size_t kBlockRows = 1000;
constexpr size_t kQueuedBlocks = 4;

} // namespace

SourceReader::SourceReader(db::ResultSet& rows, const UnitPlan& plan, qint64 rowsBefore)
    : m_rows(rows)
    , m_plan(plan)
    , m_rowNumber(rowsBefore)
    , m_thread([this] { run(); })
{
}

SourceReader::~SourceReader()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void SourceReader::run()
{
    try {
        for (;;) {
            std::vector<Row> block;
            block.reserve(kBlockRows);
            while (block.size() < kBlockRows && m_rows.next())
                block.push_back(m_plan.convert(m_rows, ++m_rowNumber));
            const bool last = block.size() < kBlockRows;
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stopped || m_blocks.size() < kQueuedBlocks; });
            if (m_stopped)
                return;
            if (!block.empty())
                m_blocks.push_back(std::move(block));
            if (last) {
                m_ended = true;
                m_changed.notify_all();
                return;
            }
            m_changed.notify_all();
        }
    } catch (...) {
        std::lock_guard lock(m_mutex);
        m_failure = std::current_exception();
        m_ended = true;
        m_changed.notify_all();
    }
}

std::vector<SourceReader::Row> SourceReader::nextBlock()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_blocks.empty() || m_ended; });
    if (!m_blocks.empty()) {
        std::vector<Row> block = std::move(m_blocks.front());
        m_blocks.pop_front();
        m_changed.notify_all();
        return block;
    }
    // The rows before a failure went out first, like a read on one thread.
    if (m_failure)
        std::rethrow_exception(m_failure);
    return {};
}

} // namespace tessera::copy
