#pragma once

#include "db/DbError.h"
#include "db/Handle.h"

#include <QDateTime>
#include <QString>

#include <memory>
#include <variant>
#include <vector>

namespace tessera::db {

// A parameter value: NULL, text, integer, real or a wall-clock date-time.
using Value = std::variant<std::monostate, QString, qint64, double, QDateTime>;

// A prepared statement with bound parameters (numbered from 0). Buffers are
// bound once and rebound only when a text outgrows its buffer or a type changes.
class Statement {
public:
    // dateTimesAsText: date-times go as 'yyyy-mm-dd hh:mm:ss' text (SQLite);
    // utf8Text: texts go as UTF-8 narrow text instead of UTF-16 (MySQL, MariaDB).
    Statement(StatementHandle statement, const QString& sql, bool dateTimesAsText = false, bool utf8Text = false);
    Statement(Statement&&) noexcept;
    Statement& operator=(Statement&&) noexcept;
    ~Statement();

    void set(int index, const Value& value);
    // Executes with the values set; returns the affected-row count (-1 when
    // unknown). Throws DbError.
    qint64 execute();

    enum class BatchResult { Done, Failed, Unsupported };
    // Executes once for `rows` rows of `columns` values each (row-major),
    // through arrays of parameters: one round trip to a server instead of one
    // per row. Failed: some row was refused (what the others did is for the
    // caller's transaction to undo). Unsupported: the values or the driver do
    // not allow arrays; nothing was executed. Never throws for either.
    BatchResult executeBatch(const Value* values, int columns, size_t rows);
    // The driver's diagnostics of the last Failed batch (a lost connection
    // shows here).
    const DbError* lastBatchError() const noexcept { return m_batchError.get(); }

    // One parameter's buffers (an element per row); see Statement.cpp.
    struct Parameter;

private:

    StatementHandle m_statement;
    std::vector<std::unique_ptr<Parameter>> m_parameters;
    bool m_dateTimesAsText = false;
    bool m_utf8Text = false;
    std::unique_ptr<DbError> m_batchError;
};

} // namespace tessera::db
