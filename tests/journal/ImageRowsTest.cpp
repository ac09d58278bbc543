#include "JournalTestSupport.h"

#include "journal/RowChanges.h"

#include <bit>
#include <cmath>
#include <limits>

using namespace tessera;
using namespace tessera::journal;
using namespace tessera::test;

namespace {

const std::vector<Value>& awkwardValues()
{
    static const std::vector<Value> values {
        Value(),
        Value(qint64(0)),
        Value(std::numeric_limits<qint64>::min()),
        Value(std::numeric_limits<qint64>::max()),
        Value(qint64(-1)),
        Value(0.1),
        Value(-0.0),
        Value(double(float(0.1f))),
        Value(std::numeric_limits<double>::denorm_min()),
        Value(std::numeric_limits<double>::max()),
        Value(std::numeric_limits<double>::infinity()),
        Value(QString()),
        Value(QStringLiteral("城北变电站 1#主变")),
        Value(QStringLiteral("it's \"quoted\"\n\t")),
        Value(DateTimeText {QStringLiteral("2026-01-02 03:04:05.123")}),
        Value(DateTimeText {QStringLiteral("1899-12-30 23:59:59")}),
    };
    return values;
}

bool sameBits(const Value& a, const Value& b)
{
    if (a.index() != b.index())
        return false;
    if (auto* d = std::get_if<double>(&a))
        return std::bit_cast<quint64>(*d) == std::bit_cast<quint64>(std::get<double>(b));
    return a == b;
}

} // namespace

TEST(ImageRows, EveryValueComesBackWithItsTypeAndExactBits)
{
    const Row row = awkwardValues();
    const QByteArray bytes = encodeRow(row);
    const auto back = decodeRow(bytes.constData(), bytes.size());
    ASSERT_TRUE(back.has_value());
    ASSERT_EQ(back->size(), row.size());
    for (size_t i = 0; i < row.size(); ++i)
        EXPECT_TRUE(sameBits((*back)[i], row[i])) << "value " << i << ": " << typedText(row[i]).toStdString()
                                                 << " came back as " << typedText((*back)[i]).toStdString();
    // NaN is not equal to itself, so it is checked by its bits alone.
    const double nan = std::nan("1");
    const QByteArray nanBytes = encodeRow({Value(nan)});
    const auto nanBack = decodeRow(nanBytes.constData(), nanBytes.size());
    ASSERT_TRUE(nanBack.has_value());
    EXPECT_EQ(std::bit_cast<quint64>(std::get<double>(nanBack->at(0))), std::bit_cast<quint64>(nan));
}

TEST(ImageRows, DamagedBytesAreRefusedNotMisread)
{
    const QByteArray bytes = encodeRow(awkwardValues());
    // Every cut that ends inside a value is refused.
    int refused = 0;
    for (qsizetype cut = 1; cut < bytes.size(); ++cut)
        if (!decodeRow(bytes.constData(), cut))
            ++refused;
    EXPECT_GT(refused, bytes.size() / 2);
    const QByteArray unknownType("\x09", 1);
    EXPECT_FALSE(decodeRow(unknownType.constData(), unknownType.size()).has_value());
    const QByteArray textTooLong("\x03\x7f" "abc", 5);
    EXPECT_FALSE(decodeRow(textTooLong.constData(), textTooLong.size()).has_value());
}

TEST(ImageRows, DigestIgnoresRowOrderButSeesEveryChange)
{
    const std::vector<Row> rows {
        {Value(DateTimeText {QStringLiteral("2026-01-02 00:00:00")}), Value(qint64(1)), Value(1.5)},
        {Value(DateTimeText {QStringLiteral("2026-01-02 00:00:01")}), Value(qint64(1)), Value(2.5)},
        {Value(DateTimeText {QStringLiteral("2026-01-02 00:00:02")}), Value(qint64(1)), Value(0.0)},
    };
    const QByteArray digest = digestOf(rows);
    EXPECT_EQ(digestOf({rows[2], rows[0], rows[1]}), digest);

    struct Change {
        const char* what;
        std::vector<Row> rows;
    };
    auto changed = [&](size_t row, size_t column, Value v) {
        std::vector<Row> copy = rows;
        copy[row][column] = std::move(v);
        return copy;
    };
    const std::vector<Change> changes {
        {"a value", changed(1, 2, Value(2.5000000000000004))},
        {"zero to minus zero", changed(2, 2, Value(-0.0))},
        {"an integer to the same text", changed(0, 1, Value(QStringLiteral("1")))},
        {"a date-time to the same text", changed(0, 0, Value(QStringLiteral("2026-01-02 00:00:00")))},
        {"a value to NULL", changed(0, 2, Value())},
        {"a row missing", {rows[0], rows[1]}},
        {"a row twice", {rows[0], rows[1], rows[2], rows[2]}},
        {"a row added", {rows[0], rows[1], rows[2], {Value(), Value(), Value()}}},
    };
    for (const Change& c : changes)
        EXPECT_NE(digestOf(c.rows), digest) << c.what;
    EXPECT_NE(digestOf({}), digest);
}

TEST(RowChanges, NameEachChangedRowByItsKeyAndPosition)
{
    const QStringList columns {QStringLiteral("ATime"), QStringLiteral("TagID"), QStringLiteral("nValue")};
    auto sample = [](const char* at, double value) {
        return Row {Value(DateTimeText {QString::fromLatin1(at)}), Value(qint64(1)), Value(value)};
    };
    const std::vector<Row> left {sample("2026-01-02 00:00:00", 1), sample("2026-01-02 00:00:01", 2),
                                 sample("2026-01-02 00:00:02", 3)};

    struct Case {
        const char* what;
        std::vector<Row> now;
        QStringList keys;
        QStringList expected;
    };
    const std::vector<Case> cases {
        {"unchanged, other order", {left[2], left[0], left[1]}, {QStringLiteral("ATime")}, {}},
        {"modified",
         {left[0], sample("2026-01-02 00:00:01", 7), left[2]},
         {QStringLiteral("atime"), QStringLiteral("TagID")},
         {QStringLiteral("第2行(ATime=2026-01-02 00:00:01, TagID=1)已被修改: nValue 2 → 7")}},
        {"deleted and added",
         {left[0], left[1], sample("2026-01-02 00:00:05", 3)},
         {QStringLiteral("ATime")},
         {QStringLiteral("第3行(ATime=2026-01-02 00:00:02)已被删除"),
          QStringLiteral("新增了一行(ATime=2026-01-02 00:00:05)")}},
        {"without keys every value names the row",
         {left[0], left[1]},
         {},
         {QStringLiteral("第3行(ATime=2026-01-02 00:00:02, TagID=1, nValue=3)已被删除")}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(describeRowChanges(columns, c.keys, left, c.now), c.expected) << c.what;

    // Many changes: the first lines and a count of the rest.
    std::vector<Row> none;
    const QStringList lines = describeRowChanges(columns, {QStringLiteral("ATime")}, left, none, 2);
    EXPECT_EQ(lines, (QStringList {QStringLiteral("第1行(ATime=2026-01-02 00:00:00)已被删除"),
                                   QStringLiteral("第2行(ATime=2026-01-02 00:00:01)已被删除"),
                                   QStringLiteral("另有1处改动")}));
}
