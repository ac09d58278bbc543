#pragma once

#include <QtGlobal>

#include <memory>
#include <vector>

namespace tessera::check {

// One tag's samples of a day, in fixed chunks: a day of one-second samples
// of a hundred tags takes what its samples take and no doubling slack, and
// the chunks are kept from one day to the next.
class SampleSeries {
public:
    static constexpr int kChunkBits = 13;
    static constexpr size_t kChunkSize = size_t(1) << kChunkBits;

    void add(qint32 msecs, double value)
    {
        if (m_size == m_chunks.size() * kChunkSize)
            m_chunks.push_back(std::make_unique<Chunk>());
        Chunk& chunk = *m_chunks[m_size >> kChunkBits];
        const size_t at = m_size & (kChunkSize - 1);
        chunk.msecs[at] = msecs;
        chunk.values[at] = value;
        m_sorted = m_sorted && (m_size == 0 || msecs >= m_lastMsecs);
        m_lastMsecs = msecs;
        ++m_size;
    }
    size_t size() const noexcept { return m_size; }
    bool empty() const noexcept { return m_size == 0; }
    qint32 msecs(size_t i) const { return m_chunks[i >> kChunkBits]->msecs[i & (kChunkSize - 1)]; }
    double value(size_t i) const { return m_chunks[i >> kChunkBits]->values[i & (kChunkSize - 1)]; }

    // Rows come in the table's order, which a rewritten range leaves out of
    // time order: sorts them (stable: samples of one instant keep theirs).
    void sortByTime();
    // Empties the series for the next day, keeping as many chunks as it used.
    void clear() noexcept
    {
        m_size = 0;
        m_sorted = true;
    }
    // Gives back the chunks a smaller day no longer needs.
    void trim() { m_chunks.resize((m_size + kChunkSize - 1) / kChunkSize); }

private:
    struct Chunk {
        qint32 msecs[kChunkSize];
        double values[kChunkSize];
    };
    std::vector<std::unique_ptr<Chunk>> m_chunks;
    size_t m_size = 0;
    qint32 m_lastMsecs = 0;
    bool m_sorted = true;
};

} // namespace tessera::check
