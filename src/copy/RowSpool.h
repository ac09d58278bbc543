#pragma once

#include "db/Statement.h"

#include <QDataStream>
#include <QTemporaryFile>

#include <memory>
#include <optional>
#include <vector>

namespace tessera::copy {

// A unit's converted source rows, kept whole before a target that cannot
// roll back is touched: the first rows in memory, the rest in a temporary
// file, so that memory stays bounded whatever the size of the unit.
// Thrown std::runtime_error when the temporary file cannot be written.
class RowSpool {
public:
    using Row = std::vector<db::Value>;

    explicit RowSpool(size_t rowsInMemory = 20000);
    RowSpool(const RowSpool&) = delete;
    RowSpool& operator=(const RowSpool&) = delete;
    ~RowSpool();

    void add(Row row);
    qint64 size() const noexcept { return m_count; }

    // Reading back, in the order added, once all rows are in.
    std::optional<Row> next();

private:
    void spill(const Row& row);
    Row unspill();

    size_t m_rowsInMemory;
    std::vector<Row> m_memory;
    std::unique_ptr<QTemporaryFile> m_file;
    std::unique_ptr<QDataStream> m_stream;
    qint64 m_count = 0;
    qint64 m_read = 0;
    bool m_reading = false;
};

} // namespace tessera::copy
