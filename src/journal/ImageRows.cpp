#include "journal/ImageRows.h"

#include <QCryptographicHash>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>

namespace tessera::journal {

namespace {

void appendVarint(QByteArray& out, quint64 v)
{
    while (v >= 0x80) {
        out.append(char((v & 0x7f) | 0x80));
        v >>= 7;
    }
    out.append(char(v));
}

bool readVarint(const char*& p, const char* end, quint64& v)
{
    v = 0;
    for (int shift = 0; shift < 64 && p < end; shift += 7) {
        const auto byte = quint8(*p++);
        v |= quint64(byte & 0x7f) << shift;
        if (!(byte & 0x80))
            return true;
    }
    return false;
}

void appendText(QByteArray& out, const QString& text)
{
    // Times and numbers are ASCII: copied as they are, without a UTF-8 copy.
    const auto* begin = reinterpret_cast<const char16_t*>(text.utf16());
    const char16_t* end = begin + text.size();
    if (std::all_of(begin, end, [](char16_t c) { return c < 0x80; })) {
        appendVarint(out, quint64(text.size()));
        for (const char16_t* c = begin; c != end; ++c)
            out.append(char(*c));
        return;
    }
    const QByteArray utf8 = text.toUtf8();
    appendVarint(out, quint64(utf8.size()));
    out.append(utf8);
}

void encodeValue(QByteArray& out, const Value& v)
{
    out.append(char(v.index()));
    if (auto* i = std::get_if<qint64>(&v)) {
        appendVarint(out, (quint64(*i) << 1) ^ quint64(*i >> 63));
    } else if (auto* d = std::get_if<double>(&v)) {
        const quint64 bits = std::bit_cast<quint64>(*d);
        for (int b = 0; b < 8; ++b)
            out.append(char(bits >> (8 * b)));
    } else if (auto* s = std::get_if<QString>(&v)) {
        appendText(out, *s);
    } else if (auto* t = std::get_if<DateTimeText>(&v)) {
        appendText(out, t->text);
    }
}

void encodeInto(QByteArray& out, const Row& row)
{
    for (const Value& v : row)
        encodeValue(out, v);
}

bool readText(const char*& p, const char* end, QString& text)
{
    quint64 length = 0;
    if (!readVarint(p, end, length) || length > quint64(end - p))
        return false;
    text = QString::fromUtf8(p, qsizetype(length));
    p += length;
    return true;
}

} // namespace

QByteArray encodeRow(const Row& row)
{
    QByteArray out;
    out.reserve(qsizetype(row.size()) * 10);
    encodeInto(out, row);
    return out;
}

std::optional<Row> decodeRow(const char* data, qsizetype size)
{
    Row row;
    const char* p = data;
    const char* end = data + size;
    while (p < end) {
        switch (ValueType(*p++)) {
        case ValueType::Null:
            row.emplace_back();
            break;
        case ValueType::Integer: {
            quint64 z = 0;
            if (!readVarint(p, end, z))
                return std::nullopt;
            row.emplace_back(qint64(z >> 1) ^ -qint64(z & 1));
            break;
        }
        case ValueType::Real: {
            if (end - p < 8)
                return std::nullopt;
            quint64 bits = 0;
            for (int b = 0; b < 8; ++b)
                bits |= quint64(quint8(p[b])) << (8 * b);
            p += 8;
            row.emplace_back(std::bit_cast<double>(bits));
            break;
        }
        case ValueType::Text: {
            QString text;
            if (!readText(p, end, text))
                return std::nullopt;
            row.emplace_back(std::move(text));
            break;
        }
        case ValueType::DateTime: {
            QString text;
            if (!readText(p, end, text))
                return std::nullopt;
            row.emplace_back(DateTimeText {std::move(text)});
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return row;
}

void EncodedRow::clear()
{
    m_bytes.resize(0); // keeps its capacity
    m_ends.clear();
}

void EncodedRow::append(const Value& value)
{
    encodeValue(m_bytes, value);
    m_ends.push_back(m_bytes.size());
}

void EncodedRow::appendUtf8(ValueType type, const char* utf8, qsizetype size)
{
    m_bytes.append(char(type));
    appendVarint(m_bytes, quint64(size));
    m_bytes.append(utf8, size);
    m_ends.push_back(m_bytes.size());
}

QByteArrayView EncodedRow::value(qsizetype column) const
{
    const qsizetype begin = column == 0 ? 0 : m_ends[size_t(column - 1)];
    return QByteArrayView(m_bytes.constData() + begin, m_ends[size_t(column)] - begin);
}

Row EncodedRow::decoded() const
{
    return decodeRow(m_bytes.constData(), m_bytes.size()).value_or(Row());
}

RuleApplier::RuleApplier(const RowRule& rule) : m_rule(rule), m_replacement(encodeRow(Row{rule.value})) {}

const QByteArray* RuleApplier::leftOf(const EncodedRow& row)
{
    if (m_rule.removes)
        return nullptr;
    m_left.resize(0); // keeps its capacity
    for (qsizetype c = 0; c < row.count(); ++c) {
        if (std::find(m_rule.setColumns.begin(), m_rule.setColumns.end(), int(c)) != m_rule.setColumns.end())
            m_left.append(m_replacement);
        else
            m_left.append(row.value(c));
    }
    return &m_left;
}

QByteArray encodeRows(const std::vector<Row>& rows, size_t from, size_t to)
{
    QByteArray block;
    QByteArray row;
    for (size_t i = from; i < to && i < rows.size(); ++i) {
        row.resize(0); // keeps its capacity
        encodeInto(row, rows[i]);
        appendVarint(block, quint64(row.size()));
        block.append(row);
    }
    return block;
}

bool decodeRows(const char* data, qsizetype size, std::vector<Row>& rows)
{
    const char* p = data;
    const char* end = data + size;
    while (p < end) {
        quint64 length = 0;
        if (!readVarint(p, end, length) || length > quint64(end - p))
            return false;
        auto row = decodeRow(p, qsizetype(length));
        if (!row)
            return false;
        rows.push_back(std::move(*row));
        p += length;
    }
    return true;
}

namespace {

constexpr quint64 kPrime1 = 0x9E3779B185EBCA87ull;
constexpr quint64 kPrime2 = 0xC2B2AE3D27D4EB4Full;

quint64 mixed(quint64 h)
{
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 33);
}

// Two 64-bit hashes of a row's bytes, each from its own seed and steps.
std::pair<quint64, quint64> rowHash(const char* data, qsizetype size)
{
    quint64 a = kPrime1 ^ quint64(size);
    quint64 b = kPrime2 + quint64(size);
    qsizetype i = 0;
    for (; i + 8 <= size; i += 8) {
        quint64 word;
        std::memcpy(&word, data + i, 8);
        a = std::rotl((a ^ word) * kPrime1, 31);
        b = std::rotl(b + word * kPrime2, 29) * kPrime1;
    }
    quint64 tail = 0;
    std::memcpy(&tail, data + i, size_t(size - i));
    a = mixed(a ^ tail ^ quint64(size - i));
    b = mixed(b + tail * kPrime2);
    return {a, b};
}

} // namespace

void RowDigest::add(const Row& row)
{
    m_buffer.resize(0); // keeps its capacity
    encodeInto(m_buffer, row);
    addEncoded(m_buffer.constData(), m_buffer.size());
}

void RowDigest::addEncoded(const char* data, qsizetype size)
{
    const auto [a, b] = rowHash(data, size);
    m_sum[0] += a;
    m_sum[1] += b;
    ++m_count;
}

QByteArray RowDigest::result() const
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    QByteArray bytes;
    for (quint64 lane : m_sum)
        appendVarint(bytes, lane);
    appendVarint(bytes, quint64(m_count));
    hash.addData(bytes);
    return hash.result();
}

QByteArray digestOf(const std::vector<Row>& rows)
{
    RowDigest digest;
    for (const Row& row : rows)
        digest.add(row);
    return digest.result();
}

void SortedRowDigest::add(const Row& row)
{
    const qsizetype at = m_buffer.size();
    encodeInto(m_buffer, row);
    m_spans.emplace_back(at, m_buffer.size() - at);
}

QByteArray SortedRowDigest::result() const
{
    // The rows in byte order: the same multiset gives the same bytes to
    // hash, whatever order it came in.
    auto spans = m_spans;
    const char* base = m_buffer.constData();
    std::sort(spans.begin(), spans.end(), [base](const auto& a, const auto& b) {
        const int c = std::memcmp(base + a.first, base + b.first, size_t(std::min(a.second, b.second)));
        return c != 0 ? c < 0 : a.second < b.second;
    });
    QCryptographicHash hash(QCryptographicHash::Sha1);
    QByteArray length;
    for (const auto& [at, size] : spans) {
        // Length-prefixed, so that no two sequences of rows hash the same bytes.
        length.resize(0);
        appendVarint(length, quint64(size));
        hash.addData(length);
        hash.addData(QByteArrayView(base + at, size));
    }
    return hash.result();
}

Value valueOfText(QString text, ValueType type)
{
    bool ok = false;
    switch (type) {
    case ValueType::Integer: {
        const qint64 v = text.trimmed().toLongLong(&ok);
        return ok ? Value(v) : Value(std::move(text));
    }
    case ValueType::Real:
    case ValueType::RealSingle: {
        const double v = text.toDouble(&ok);
        return ok ? Value(v) : Value(std::move(text));
    }
    case ValueType::DateTime:
        return DateTimeText {std::move(text)};
    default:
        return text;
    }
}

QString displayText(const Value& value)
{
    if (std::holds_alternative<std::monostate>(value))
        return QStringLiteral("NULL");
    if (auto* i = std::get_if<qint64>(&value))
        return QString::number(*i);
    if (auto* d = std::get_if<double>(&value)) {
        char digits[32];
        const auto written = std::to_chars(digits, digits + sizeof digits, *d);
        return QString::fromLatin1(digits, written.ptr - digits);
    }
    if (auto* s = std::get_if<QString>(&value))
        return *s;
    return std::get<DateTimeText>(value).text;
}

} // namespace tessera::journal
