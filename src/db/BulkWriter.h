#pragma once

#include "db/Connection.h"
#include "db/Statement.h"

#include <functional>
#include <vector>

namespace tessera::db {

// Writes many rows through one prepared statement, committed in chunks.
//
// The end state is that of one autocommitted statement per row: when a row
// fails, its chunk is rolled back and replayed one row at a time, so the rows
// before it stay written and the failing row is reported to the handler,
// which decides whether the writer goes on with the next row or stops.
class BulkWriter {
public:
    enum class OnFailure { Continue, Stop };
    // rowIndex counts the rows handed to the writer, from 0.
    using FailureHandler = std::function<OnFailure(qint64 rowIndex, const DbError& error)>;

    struct Summary {
        qint64 written = 0;
        qint64 failed = 0;
        bool stopped = false;
    };

    BulkWriter(Connection& connection, const QString& sql, int columnCount, int chunkRows = 4000);
    ~BulkWriter() noexcept;
    BulkWriter(const BulkWriter&) = delete;
    BulkWriter& operator=(const BulkWriter&) = delete;

    // Without a handler the writer stops at the first failing row.
    void setFailureHandler(FailureHandler handler) { m_onFailure = std::move(handler); }

    // Appends one row of columnCount values. Returns false once the writer
    // has stopped; further rows are then ignored.
    bool addRow(std::vector<Value> row);
    // Writes what is pending. Throws DbError only when the connection itself
    // fails (commit or rollback); statement failures go to the handler.
    Summary finish();

    const Summary& summary() const noexcept { return m_summary; }
    bool stopped() const noexcept { return m_summary.stopped; }

private:
    void flush();
    // Writes the whole pending chunk with one execution of parameter arrays;
    // false when that was not possible or a row failed (nothing written then).
    bool flushAsBatch(size_t rows);
    // Executes rows [from, end) of the pending chunk in autocommit mode, one
    // statement each. Returns false when the handler said stop.
    bool replay(size_t from, size_t end);
    void executeRow(size_t row);
    bool reportFailure(size_t row, const DbError& error);

    Connection& m_connection;
    Statement m_statement;
    int m_columnCount;
    size_t m_chunkRows;
    std::vector<Value> m_pending; // row-major, m_columnCount values per row
    qint64 m_firstPendingRow = 0; // index of the first pending row in the whole stream
    FailureHandler m_onFailure;
    bool m_batches = false;
    Summary m_summary;
};

} // namespace tessera::db
