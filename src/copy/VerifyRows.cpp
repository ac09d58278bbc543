#include "copy/VerifyRows.h"
#include "text/DateTexts.h"

#include "db/ResultSet.h"

#include <QHash>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace tessera::copy {

namespace {

quint64 mix(quint64 x)
{
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

qint64 integerOf(const db::Value& value)
{
    if (const auto* i = std::get_if<qint64>(&value))
        return *i;
    if (const auto* d = std::get_if<double>(&value))
        return qint64(*d);
    if (const auto* t = std::get_if<QString>(&value))
        return t->trimmed().toLongLong();
    return 0;
}

double realOf(const db::Value& value)
{
    if (const auto* d = std::get_if<double>(&value))
        return *d;
    if (const auto* i = std::get_if<qint64>(&value))
        return double(*i);
    if (const auto* t = std::get_if<QString>(&value))
        return t->trimmed().toDouble();
    return 0;
}

QString textOf(const db::Value& value)
{
    if (const auto* t = std::get_if<QString>(&value))
        return *t;
    return QString();
}

bool isNull(const db::Value& value)
{
    return value.index() == 0;
}

// A real to so many significant digits, as a driver that reads no more gives it.
double toDigits(double value, int digits)
{
    if (value == 0 || !std::isfinite(value))
        return value;
    char text[40];
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    return std::strtod(text, nullptr);
}

// A real as both sides can hold it: the target column's precision, the digits a driver reads.
double stored(const ColumnRule& column, double value)
{
    if (column.singlePrecision)
        return double(float(value));
    return column.significantDigits > 0 ? toDigits(value, column.significantDigits) : value;
}

QString realText(double value, bool single)
{
    char digits[64];
    const auto written = single ? std::to_chars(digits, digits + sizeof digits, float(value))
                                : std::to_chars(digits, digits + sizeof digits, value);
    return QString::fromLatin1(digits, written.ptr - digits);
}

} // namespace

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
qint64 daysFromCivil(qint64 y, qint64 m, qint64 d)
{
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const qint64 yoe = y - era * 400;
    const qint64 doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// "yyyy-mm-dd hh:mm:ss[.fff]" without a parse into QDateTime: a day of
// samples is millions of them.
std::optional<qint64> canonicalSeconds(const QString& text)
{
    if (text.size() < 19 || text[4] != u'-' || text[7] != u'-' || text[10] != u' ' || text[13] != u':'
        || text[16] != u':')
        return std::nullopt;
    qint64 parts[6] = {};
    const int from[] = {0, 5, 8, 11, 14, 17};
    const int length[] = {4, 2, 2, 2, 2, 2};
    for (int p = 0; p < 6; ++p)
        for (int i = from[p]; i < from[p] + length[p]; ++i) {
            if (!text[i].isDigit())
                return std::nullopt;
            parts[p] = parts[p] * 10 + (text[i].unicode() - u'0');
        }
    return daysFromCivil(parts[0], parts[1], parts[2]) * 86400 + parts[3] * 3600 + parts[4] * 60 + parts[5];
}

} // namespace

qint64 RowShape::secondsOf(const db::Value& value)
{
    if (const auto* moment = std::get_if<QDateTime>(&value))
        return moment->toSecsSinceEpoch();
    if (const auto* text = std::get_if<QString>(&value)) {
        if (const auto seconds = canonicalSeconds(*text))
            return *seconds;
        if (const auto parsed = db::parseOdbcDateTime(*text))
            return parsed->toSecsSinceEpoch();
    }
    return 0;
}

qint64 RowShape::bucketOf(const VerifyRow& row) const
{
    const qint64 seconds = secondsOf(row.at(size_t(bucketColumn)));
    // Whole buckets also before 1970 (1899-12-30, dates of old archives).
    return seconds >= 0 ? seconds / bucketSeconds : -((-seconds - 1) / bucketSeconds) - 1;
}

quint64 RowShape::hashOf(const VerifyRow& row) const
{
    quint64 hash = 0;
    for (size_t i = 0; i < columns.size(); ++i) {
        const ColumnRule& column = columns[i];
        const db::Value& value = row.at(i);
        quint64 part = 0;
        switch (column.rule) {
        case ValueRule::Moment:
            part = quint64(secondsOf(value));
            break;
        case ValueRule::TimeOfDay:
            part = quint64(((secondsOf(value) % 86400) + 86400) % 86400);
            break;
        case ValueRule::Integer:
            part = isNull(value) ? 0x6e756c6cULL : quint64(integerOf(value));
            break;
        case ValueRule::Real: {
            if (isNull(value)) {
                part = 0x6e756c6cULL;
                break;
            }
            const double real = stored(column, realOf(value));
            if (tolerance > 0) {
                part = quint64(std::llround(real / tolerance));
            } else {
                const double canonical = real == 0 ? 0.0 : real; // -0 and 0 are one value
                std::memcpy(&part, &canonical, sizeof part);
            }
            break;
        }
        case ValueRule::Text:
            part = quint64(qHash(textOf(value)));
            break;
        }
        hash = mix(hash ^ mix(part + i));
    }
    return hash;
}

bool RowShape::equal(const VerifyRow& a, const VerifyRow& b) const
{
    for (size_t i = 0; i < columns.size(); ++i) {
        const ColumnRule& column = columns[i];
        const db::Value& x = a.at(i);
        const db::Value& y = b.at(i);
        switch (column.rule) {
        case ValueRule::Moment:
            if (secondsOf(x) != secondsOf(y))
                return false;
            break;
        case ValueRule::TimeOfDay:
            if ((secondsOf(x) - secondsOf(y)) % 86400 != 0)
                return false;
            break;
        case ValueRule::Integer:
            if (isNull(x) != isNull(y) || integerOf(x) != integerOf(y))
                return false;
            break;
        case ValueRule::Real: {
            if (isNull(x) || isNull(y)) {
                if (isNull(x) != isNull(y))
                    return false;
                break;
            }
            const double difference = std::fabs(stored(column, realOf(x)) - stored(column, realOf(y)));
            if (!(difference <= tolerance))
                return false;
            break;
        }
        case ValueRule::Text:
            if (textOf(x) != textOf(y))
                return false;
            break;
        }
    }
    return true;
}

QString RowShape::keyOf(const VerifyRow& row) const
{
    QStringList parts;
    const QStringList all = texts(row);
    for (int column : key)
        parts << all.value(column);
    return parts.join(QChar(0x1f));
}

QStringList RowShape::texts(const VerifyRow& row) const
{
    QStringList out;
    for (size_t i = 0; i < columns.size(); ++i) {
        const ColumnRule& column = columns[i];
        const db::Value& value = row.at(i);
        if (isNull(value) && column.rule != ValueRule::Text) {
            out << QStringLiteral("NULL");
            continue;
        }
        switch (column.rule) {
        case ValueRule::Moment:
            out << dateTimeText(QDateTime::fromSecsSinceEpoch(secondsOf(value), Qt::UTC));
            break;
        case ValueRule::TimeOfDay:
            out << QDateTime::fromSecsSinceEpoch(secondsOf(value), Qt::UTC).toString(QStringLiteral("hh:mm:ss"));
            break;
        case ValueRule::Integer:
            out << QString::number(integerOf(value));
            break;
        case ValueRule::Real:
            out << realText(stored(column, realOf(value)), column.singlePrecision);
            break;
        case ValueRule::Text:
            out << textOf(value);
            break;
        }
    }
    return out;
}

std::vector<RowDifference> differencesOf(const RowShape& shape, std::vector<VerifyRow> source,
                                         std::vector<VerifyRow> target)
{
    std::map<QString, std::pair<std::vector<VerifyRow>, std::vector<VerifyRow>>> byKey;
    for (VerifyRow& row : source)
        byKey[shape.keyOf(row)].first.push_back(std::move(row));
    for (VerifyRow& row : target)
        byKey[shape.keyOf(row)].second.push_back(std::move(row));
    std::vector<RowDifference> differences;
    for (auto& [key, sides] : byKey) {
        auto& [fromSource, inTarget] = sides;
        // Equal rows cancel out, one for one.
        std::vector<VerifyRow> unmatched;
        for (VerifyRow& row : fromSource) {
            const auto twin = std::find_if(inTarget.begin(), inTarget.end(),
                                           [&](const VerifyRow& other) { return shape.equal(row, other); });
            if (twin != inTarget.end())
                inTarget.erase(twin);
            else
                unmatched.push_back(std::move(row));
        }
        const size_t changed = std::min(unmatched.size(), inTarget.size());
        for (size_t i = 0; i < changed; ++i)
            differences.push_back({RowDifference::Kind::Different, std::move(unmatched[i]), std::move(inTarget[i])});
        for (size_t i = changed; i < unmatched.size(); ++i)
            differences.push_back({RowDifference::Kind::Missing, std::move(unmatched[i]), {}});
        for (size_t i = changed; i < inTarget.size(); ++i)
            differences.push_back({RowDifference::Kind::Extra, {}, std::move(inTarget[i])});
    }
    return differences;
}

} // namespace tessera::copy
