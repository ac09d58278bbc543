#pragma once

#include "dialect/DatabaseKind.h"
#include "journal/ImageRows.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// The rows a writing command may touch, as typed fields: a table and
// clauses of column comparisons with typed values. The SQL conditions of
// the journal's reads and of an undo are built from these fields by the
// code here, for the archive's dialect; nothing stored in the journal is
// executed as SQL text.
namespace tessera::journal {

enum class Comparison : quint8 {
    Equal = 0,    // column = value
    AtLeast = 1,  // column >= value
    Below = 2,    // column < value
    AtMost = 3,   // column <= value
    AnyOf = 4,    // (column = v1 OR column = v2 ...), at least one value
    // column IN(the TagIDs of the catalogue's telemetry tags), of the
    // station given as the one text value, or of all stations (no value).
    InTelemetryCatalogue = 5,
};

// One comparison. Values are integers, texts (quoted in SQL) or date-times
// (the dialect's date literal of 'yyyy-mm-dd', 'hh:mm:ss' or both).
struct ScopeTerm {
    QString column;
    Comparison comparison = Comparison::Equal;
    std::vector<Value> values;
    bool operator==(const ScopeTerm&) const = default;
};

// Rows satisfying every term; without terms, every row of the table.
struct ScopeClause {
    std::vector<ScopeTerm> terms;
    bool operator==(const ScopeClause&) const = default;
};

// The rows of a table satisfying any of the clauses. Selected rows are
// one clause each, a range of time one clause; a scope without clauses
// holds no row.
struct UnitScope {
    QString table;
    std::vector<ScopeClause> clauses;
    bool operator==(const UnitScope&) const = default;
};

// A table or column name the journal accepts: letters, digits, underscores.
bool isSqlName(const QString& name);

// Terms and clauses as the commands build them.
ScopeTerm equalTo(const QString& column, Value value);
// [from, until) of one column: a range of time, half-open.
ScopeClause rangeClause(const QString& column, Value from, Value until);

// Why a scope cannot be used (a name that is no SQL name, a value of the
// wrong kind, a list without values, too many clauses); empty when it can.
QString scopeProblem(const UnitScope& scope);

// The condition of one clause for the dialect ("ATime>=... AND TagID=1";
// "1=1" for a clause without terms).
QString clauseSql(DatabaseKind kind, const ScopeClause& clause);
// The scope's conditions, each joining at most `clausesPerCondition`
// clauses with OR: however many rows are selected, no statement grows
// beyond that. Empty for a scope without clauses.
std::vector<QString> scopeConditions(DatabaseKind kind, const UnitScope& scope, size_t clausesPerCondition = 100);
// The same scope as conditions of smaller parts for reading it a block at
// a time: a clause whose range of ATime spans more than an hour is read an
// hour at a time (a day of samples in 24 queries), one of ADate a day at a
// time; clauses of selected rows in groups.
std::vector<QString> readingConditions(DatabaseKind kind, const UnitScope& scope);

// The journal's form of a scope, and back; decodeScope refuses bytes that
// are not one, or a scope with a problem.
QByteArray encodeScope(const UnitScope& scope);
std::optional<UnitScope> decodeScope(const QByteArray& bytes);

// A condition of the form the journal stored as text before scopes were
// typed (comparisons joined by AND and OR, lists in parentheses, IN lists,
// the catalogue's telemetry subquery, the literals of every dialect), as a
// scope; nullopt for anything else.
std::optional<UnitScope> parseStoredCondition(const QString& table, const QString& condition);

} // namespace tessera::journal
