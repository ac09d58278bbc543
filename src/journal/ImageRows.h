#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>
#include <vector>

// Rows of an archive table as the journal keeps them: typed values that go
// back into the table exactly as they were read, a compact encoding for the
// journal file and an order-independent digest of a set of rows.
namespace tessera::journal {

// A date, a time of day or a date-time, in the text the driver gave for it
// ('yyyy-mm-dd hh:mm:ss[.fff]', 'yyyy-mm-dd', 'hh:mm:ss'). Kept as text so
// that fractions and SQLite's stored text survive unchanged.
struct DateTimeText {
    QString text;
    bool operator==(const DateTimeText&) const = default;
};

// The alternatives in the order of ValueType.
using Value = std::variant<std::monostate, qint64, double, QString, DateTimeText>;
using Row = std::vector<Value>;

// How a column's values are kept (from the column's type in the archive).
// RealSingle is a column type only: a single-precision column, whose values
// are Real and hold exactly the float the column stores.
enum class ValueType : quint8 { Null = 0, Integer = 1, Real = 2, Text = 3, DateTime = 4, RealSingle = 5 };

// Rows of one table in one scope, with the table's columns in SELECT * order.
struct RowSet {
    QStringList columns;
    std::vector<ValueType> types; // one per column
    std::vector<Row> rows;
};

// One row in the journal's encoding: per value a type byte and its payload
// (integers as zigzag varints, reals as their 8 IEEE bytes, texts as a
// varint length and UTF-8). Equal rows have equal encodings, bit for bit.
QByteArray encodeRow(const Row& row);
// The reverse; nullopt for bytes that are not an encoded row.
std::optional<Row> decodeRow(const char* data, qsizetype size);

// A row in the journal's encoding, built a value at a time, with where each
// value's bytes lie.
class EncodedRow {
public:
    void clear();
    void append(const Value& value);
    // A text or date-time value from its UTF-8 bytes, without a QString.
    void appendUtf8(ValueType type, const char* utf8, qsizetype size);
    const QByteArray& bytes() const noexcept { return m_bytes; }
    qsizetype count() const noexcept { return qsizetype(m_ends.size()); }
    QByteArrayView value(qsizetype column) const;
    Row decoded() const;

private:
    QByteArray m_bytes;
    std::vector<qsizetype> m_ends;
};

// What a command leaves of each row it finds, as data: nothing (a delete),
// or the row with some columns set to one value (zeroing).
struct RowRule {
    bool removes = false;
    std::vector<int> setColumns;
    Value value;
    bool isKnown() const noexcept { return removes || !setColumns.empty(); }
};
// The encoded rows a rule leaves, made a row at a time without allocating.
class RuleApplier {
public:
    explicit RuleApplier(const RowRule& rule);
    // What the rule leaves of `row`; nullptr when it removes it. Valid
    // until the next call.
    const QByteArray* leftOf(const EncodedRow& row);

private:
    RowRule m_rule;
    QByteArray m_replacement; // the value set, encoded
    QByteArray m_left;
};

// Rows [from, to) as one block: each encoded row after its length.
QByteArray encodeRows(const std::vector<Row>& rows, size_t from, size_t to);
// Appends the rows of a block to `rows`; false for bytes that are not one.
bool decodeRows(const char* data, qsizetype size, std::vector<Row>& rows);

// A digest of a multiset of rows: the same rows in any order give the same
// digest, and a changed, missing or added row a different one.
QByteArray digestOf(const std::vector<Row>& rows);

// The same digest, of rows given one at a time, in constant memory: each
// row's 128-bit hash is summed (so order does not count) and the sum and the
// count hashed at the end.
class RowDigest {
public:
    void add(const Row& row);
    // A row already in the journal's encoding (encodeRow).
    void addEncoded(const char* data, qsizetype size);
    qint64 count() const noexcept { return m_count; }
    QByteArray result() const;

private:
    QByteArray m_buffer; // the row being added, reused
    quint64 m_sum[2] = {0, 0};
    qint64 m_count = 0;
};

// The digest journals of the first schema kept: the SHA-1 of the encoded
// rows in byte order. It holds every row until the end; only entries of that
// schema are checked with it.
class SortedRowDigest {
public:
    void add(const Row& row);
    qint64 count() const noexcept { return qint64(m_spans.size()); }
    QByteArray result() const;

private:
    QByteArray m_buffer; // the encoded rows one after the other
    std::vector<std::pair<qsizetype, qsizetype>> m_spans; // offset and length of each
};

// A value the database gave as text, typed after its column: a number
// where the text is one, the text itself otherwise (a typeless SQLite
// column may hold anything).
Value valueOfText(QString text, ValueType type);

// A value for people: NULL, the number, the text.
QString displayText(const Value& value);

} // namespace tessera::journal
