#include "db/BulkWriter.h"

namespace tessera::db {

namespace {

const QString kChunkSavepoint = QStringLiteral("tessera_chunk");
const QString kRowSavepoint = QStringLiteral("tessera_row");

// Rows of one multi-row INSERT: about where one more row stops paying off,
// well under the parameter limits (PostgreSQL: 65,535).
constexpr size_t kRowsPerValueList = 100;

// "INSERT INTO t(a,b) VALUES(?,?)" with `rows` rows of "(?,?)".
QString multiRowInsert(const QString& sql, size_t rows)
{
    const qsizetype values = sql.lastIndexOf(QLatin1String("VALUES"), -1, Qt::CaseInsensitive);
    const qsizetype open = sql.indexOf(u'(', values);
    const QString one = sql.mid(open).trimmed();
    QStringList all;
    all.reserve(qsizetype(rows));
    for (size_t i = 0; i < rows; ++i)
        all << one;
    return sql.left(open) + all.join(u',');
}

} // namespace

BulkWriter::BulkWriter(Connection& connection, const QString& sql, int columnCount, int chunkRows, Mode mode)
    : m_connection(connection)
    , m_sql(sql)
    , m_statement(connection.prepare(sql))
    , m_columnCount(columnCount)
    , m_chunkRows(size_t(std::max(chunkRows, 1)))
    , m_mode(mode)
{
    m_pending.reserve(m_chunkRows * size_t(m_columnCount));
    // Arrays of parameters save a server a round trip per row; where the
    // driver prefers many rows' VALUES (PostgreSQL, SQLite), those instead.
    // A target that cannot roll back gets neither: a refused row in the
    // middle would leave an unknown part of the block written.
    m_valueLists = mode != Mode::RowByRow && connection.prefersMultiRowValues()
        && sql.contains(QLatin1String("VALUES"), Qt::CaseInsensitive);
    m_batches = m_valueLists || (!connection.bindsDateTimesAsText() && mode != Mode::RowByRow);
}

BulkWriter::~BulkWriter() noexcept = default;

bool BulkWriter::addRow(std::vector<Value> row)
{
    if (m_summary.stopped)
        return false;
    row.resize(size_t(m_columnCount));
    for (auto& v : row)
        m_pending.push_back(std::move(v));
    if (m_pending.size() >= m_chunkRows * size_t(m_columnCount))
        flush();
    return !m_summary.stopped;
}

BulkWriter::Summary BulkWriter::finish()
{
    if (!m_summary.stopped)
        flush();
    m_pending.clear();
    return m_summary;
}

void BulkWriter::executeRow(size_t row)
{
    const Value* values = m_pending.data() + row * size_t(m_columnCount);
    for (int c = 0; c < m_columnCount; ++c)
        m_statement.set(c, values[c]);
    m_statement.execute();
}

void BulkWriter::executeRowInTransaction(size_t row)
{
    if (!m_connection.failedStatementAbortsTransaction()) {
        executeRow(row); // a refused statement is undone alone
        return;
    }
    m_connection.setSavepoint(kRowSavepoint);
    try {
        executeRow(row);
    } catch (const DbError& error) {
        rethrowIfConnectionLost(error);
        m_connection.rollbackToSavepoint(kRowSavepoint);
        throw;
    }
    m_connection.releaseSavepoint(kRowSavepoint);
}

bool BulkWriter::reportFailure(size_t row, const DbError& error)
{
    rethrowIfConnectionLost(error);
    ++m_summary.failed;
    const OnFailure action = m_onFailure ? m_onFailure(m_firstPendingRow + qint64(row), error) : OnFailure::Stop;
    if (action == OnFailure::Stop)
        m_summary.stopped = true;
    return !m_summary.stopped;
}

bool BulkWriter::replay(size_t from, size_t end)
{
    for (size_t row = from; row < end; ++row) {
        try {
            if (m_mode == Mode::InTransaction)
                executeRowInTransaction(row);
            else
                executeRow(row);
            ++m_summary.written;
        } catch (const DbError& error) {
            if (!reportFailure(row, error))
                return false;
        }
    }
    return true;
}

bool BulkWriter::flushAsBatch(size_t rows)
{
    if (!m_batches || rows < 2)
        return false;
    Statement::BatchResult result;
    if (m_mode == Mode::InTransaction) {
        m_connection.setSavepoint(kChunkSavepoint);
        result = executeChunk(rows);
        if (result == Statement::BatchResult::Failed && m_statement.lastBatchError())
            rethrowIfConnectionLost(*m_statement.lastBatchError());
        if (result == Statement::BatchResult::Done)
            m_connection.releaseSavepoint(kChunkSavepoint);
        else
            m_connection.rollbackToSavepoint(kChunkSavepoint);
    } else {
        Transaction transaction(m_connection);
        result = executeChunk(rows);
        if (result == Statement::BatchResult::Failed && m_statement.lastBatchError())
            rethrowIfConnectionLost(*m_statement.lastBatchError());
        if (result == Statement::BatchResult::Done)
            transaction.commit();
    }
    if (result == Statement::BatchResult::Unsupported)
        m_batches = false; // this driver or these values: rows one by one from now on
    if (result != Statement::BatchResult::Done)
        return false; // undone; the row path finds the failing row
    m_summary.written += qint64(rows);
    return true;
}

Statement::BatchResult BulkWriter::executeChunk(size_t rows)
{
    return m_valueLists ? executeAsValueLists(rows) : m_statement.executeBatch(m_pending.data(), m_columnCount, rows);
}

Statement::BatchResult BulkWriter::executeAsValueLists(size_t rows)
{
    try {
        for (size_t from = 0; from < rows; from += kRowsPerValueList) {
            const size_t count = std::min(kRowsPerValueList, rows - from);
            Statement& statement = valuesStatement(count);
            const Value* values = m_pending.data() + from * size_t(m_columnCount);
            for (size_t i = 0; i < count * size_t(m_columnCount); ++i)
                statement.set(int(i), values[i]);
            statement.execute();
        }
        return Statement::BatchResult::Done;
    } catch (const DbError& error) {
        rethrowIfConnectionLost(error);
        return Statement::BatchResult::Failed; // the caller undoes the chunk; the row path finds the row
    }
}

Statement& BulkWriter::valuesStatement(size_t rows)
{
    if (rows == kRowsPerValueList) {
        if (!m_values)
            m_values.emplace(m_connection.prepare(multiRowInsert(m_sql, rows)));
        return *m_values;
    }
    if (!m_tailValues || m_tailRows != rows) {
        m_tailValues.reset();
        m_tailValues.emplace(m_connection.prepare(multiRowInsert(m_sql, rows)));
        m_tailRows = rows;
    }
    return *m_tailValues;
}

void BulkWriter::flush()
{
    const size_t rows = m_pending.size() / size_t(m_columnCount);
    if (rows > 0 && !flushAsBatch(rows)) {
        switch (m_mode) {
        case Mode::ChunkCommits:
            flushChunkCommits(rows);
            break;
        case Mode::InTransaction:
        case Mode::RowByRow:
            replay(0, rows);
            break;
        }
    }
    m_firstPendingRow += qint64(rows);
    m_pending.clear();
}

void BulkWriter::flushChunkCommits(size_t rows)
{
    size_t next = 0;
    while (next < rows && !m_summary.stopped) {
        size_t failedAt = rows;
        {
            Transaction transaction(m_connection);
            for (size_t row = next; row < rows; ++row) {
                try {
                    executeRow(row);
                } catch (const DbError& error) {
                    rethrowIfConnectionLost(error);
                    failedAt = row;
                    break;
                }
            }
            if (failedAt == rows) {
                transaction.commit();
                m_summary.written += qint64(rows - next);
                next = rows;
                break;
            }
            // Leaving the scope rolls the chunk back; some databases (PostgreSQL)
            // refuse every further statement of a transaction after a failure.
        }
        if (!replay(next, failedAt + 1))
            break;
        next = failedAt + 1;
    }
}

} // namespace tessera::db
