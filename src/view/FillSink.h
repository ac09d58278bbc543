#pragma once

#include <QStringList>

namespace tessera {

namespace db {
class ResultSet;
}

// Receives what the record list shows: the column names first, then each
// row in result order.
class FillSink {
public:
    virtual ~FillSink() = default;
    // The result's columns named as the database reports them (PostgreSQL:
    // lower case). Comes once, before any row, also for an empty result.
    virtual void columns(const QStringList& names) = 0;
    virtual void row(const QStringList& cells) = 0;
};

// The names of a result's columns, in order.
QStringList columnNames(const db::ResultSet& rs);

} // namespace tessera
