#pragma once

#include "db/Connection.h"
#include "db/Statement.h"

#include <functional>
#include <optional>
#include <vector>

namespace tessera::db {

// Writes many rows through one prepared statement.
//
// How a failing row is handled depends on the mode; in every mode the
// failing row is reported to the handler, which decides whether the writer
// goes on with the next row or stops, and a lost connection ends the writer
// with a DbError instead of one report per remaining row.
class BulkWriter {
public:
    enum class Mode {
        // Commits every chunk. The end state is that of one autocommitted
        // statement per row: a failing row's chunk is rolled back and replayed
        // one row at a time, so the rows before it stay written.
        ChunkCommits,
        // The caller holds one Transaction for its whole unit of work and
        // decides its end; nothing is committed here. A failing row is skipped
        // inside the transaction (under a savepoint where the database needs
        // one), the others stay in it.
        InTransaction,
        // A target that cannot roll back (a non-transactional table): every
        // row is executed once in autocommit and never replayed, so no row is
        // ever written twice.
        RowByRow,
    };
    enum class OnFailure { Continue, Stop };
    // rowIndex counts the rows handed to the writer, from 0.
    using FailureHandler = std::function<OnFailure(qint64 rowIndex, const DbError& error)>;

    struct Summary {
        qint64 written = 0;
        qint64 failed = 0;
        bool stopped = false;
    };

    BulkWriter(Connection& connection, const QString& sql, int columnCount, int chunkRows = 4000,
               Mode mode = Mode::ChunkCommits);
    ~BulkWriter() noexcept;
    BulkWriter(const BulkWriter&) = delete;
    BulkWriter& operator=(const BulkWriter&) = delete;

    // Without a handler the writer stops at the first failing row.
    void setFailureHandler(FailureHandler handler) { m_onFailure = std::move(handler); }

    // Appends one row of columnCount values. Returns false once the writer
    // has stopped; further rows are then ignored. Throws DbError when the
    // connection fails (lost, or a commit or rollback refused).
    bool addRow(std::vector<Value> row);
    // Writes what is pending. Throws as addRow does.
    Summary finish();

    const Summary& summary() const noexcept { return m_summary; }
    bool stopped() const noexcept { return m_summary.stopped; }
    Mode mode() const noexcept { return m_mode; }

private:
    void flush();
    // Writes the whole pending chunk with one execution of parameter arrays;
    // false when that was not possible or a row failed (nothing kept then).
    bool flushAsBatch(size_t rows);
    // The pending rows [0, rows) in one go: parameter arrays, or INSERTs of
    // many rows' VALUES where the driver prefers those.
    Statement::BatchResult executeChunk(size_t rows);
    Statement::BatchResult executeAsValueLists(size_t rows);
    // The INSERT with `rows` rows of VALUES, prepared once for each count.
    Statement& valuesStatement(size_t rows);
    void flushChunkCommits(size_t rows);
    // Executes rows [from, end) one statement each. Returns false when the
    // handler said stop.
    bool replay(size_t from, size_t end);
    void executeRow(size_t row);
    // A failing row in a transaction, under a savepoint where one is needed.
    void executeRowInTransaction(size_t row);
    bool reportFailure(size_t row, const DbError& error);

    Connection& m_connection;
    QString m_sql;
    Statement m_statement;
    int m_columnCount;
    size_t m_chunkRows;
    Mode m_mode;
    std::vector<Value> m_pending; // row-major, m_columnCount values per row
    qint64 m_firstPendingRow = 0; // index of the first pending row in the whole stream
    FailureHandler m_onFailure;
    bool m_batches = false;
    bool m_valueLists = false;
    // The full-size multi-row INSERT and the one for a chunk's last rows.
    std::optional<Statement> m_values;
    std::optional<Statement> m_tailValues;
    size_t m_tailRows = 0;
    Summary m_summary;
};

} // namespace tessera::db
