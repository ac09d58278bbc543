#pragma once

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
    Statement(StatementHandle statement, const QString& sql, bool dateTimesAsText = false);
    Statement(Statement&&) noexcept;
    Statement& operator=(Statement&&) noexcept;
    ~Statement();

    void set(int index, const Value& value);
    // Executes with the values set; returns the affected-row count (-1 when
    // unknown). Throws DbError.
    qint64 execute();

private:
    struct Parameter;
    void bind(int index, Parameter& p);

    StatementHandle m_statement;
    std::vector<std::unique_ptr<Parameter>> m_parameters;
    bool m_dateTimesAsText = false;
};

} // namespace tessera::db
