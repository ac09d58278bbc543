#include "JournalTestSupport.h"

#include "journal/RowChanges.h"

#include <bit>
#include <cmath>
#include <limits>

using namespace tessera;
using namespace tessera::journal;
using namespace tessera::test;

namespace {

using Limits = std::numeric_limits<double>;

// Every type, at its edges; NaN last (it is not equal to itself).
const Row& awkwardValues()
{
    static const Row values{Value(), qint64(0), std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max(),
                            qint64(-1), 0.1, -0.0, double(0.1f), Limits::denorm_min(), Limits::max(),
                            Limits::infinity(), QString(), QString("城北变电站 1#主变"), QString("it's \"quoted\"\n\t"),
                            DateTimeText{"2026-01-02 03:04:05.123"}, DateTimeText{"1899-12-30 23:59:59"},
                            std::nan("1")};
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
    const Row& row = awkwardValues();
    const QByteArray bytes = encodeRow(row);
    const auto back = decodeRow(bytes.constData(), bytes.size());
    ASSERT_TRUE(back.has_value());
    ASSERT_EQ(back->size(), row.size());
    for (size_t i = 0; i < row.size(); ++i)
        EXPECT_TRUE(sameBits((*back)[i], row[i])) << "value " << i << ": " << typedText(row[i]).toStdString()
                                                 << " came back as " << typedText((*back)[i]).toStdString();
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
    // An unknown type, a text longer than its bytes.
    for (const QByteArray& damaged : {QByteArray("\x09", 1), QByteArray("\x03\x7f" "abc", 5)})
        EXPECT_FALSE(decodeRow(damaged.constData(), damaged.size()).has_value()) << damaged.toHex().toStdString();
}

TEST(ImageRows, DigestIgnoresRowOrderButSeesEveryChange)
{
    const std::vector<Row> rows{
        {DateTimeText{"2026-01-02 00:00:00"}, qint64(1), 1.5},
        {DateTimeText{"2026-01-02 00:00:01"}, qint64(1), 2.5},
        {DateTimeText{"2026-01-02 00:00:02"}, qint64(1), 0.0},
    };
    const QByteArray digest = digestOf(rows);
    EXPECT_EQ(digestOf({rows[2], rows[0], rows[1]}), digest);

    auto changed = [&](size_t row, size_t column, Value v) {
        std::vector<Row> copy = rows;
        copy[row][column] = std::move(v);
        return copy;
    };
    const std::vector<std::pair<const char*, std::vector<Row>>> changes{
        {"a value", changed(1, 2, 2.5000000000000004)},
        {"zero to minus zero", changed(2, 2, -0.0)},
        {"an integer to the same text", changed(0, 1, QString("1"))},
        {"a date-time to the same text", changed(0, 0, QString("2026-01-02 00:00:00"))},
        {"a value to NULL", changed(0, 2, Value())},
        {"a row missing", {rows[0], rows[1]}},
        {"a row twice", {rows[0], rows[1], rows[2], rows[2]}},
        {"a row added", {rows[0], rows[1], rows[2], {Value(), Value(), Value()}}},
        {"no rows", {}},
    };
    for (const auto& [what, other] : changes)
        EXPECT_NE(digestOf(other), digest) << what;
}

TEST(RowChanges, NameEachChangedRowByItsKeyAndPosition)
{
    const QStringList columns{"ATime", "TagID", "nValue"};
    auto sample = [](const char* at, double value) { return Row{DateTimeText{at}, qint64(1), value}; };
    const std::vector<Row> left{sample("2026-01-02 00:00:00", 1), sample("2026-01-02 00:00:01", 2),
                                sample("2026-01-02 00:00:02", 3)};

    struct Case {
        const char* what;
        std::vector<Row> now;
        QStringList keys;
        QStringList expected;
    };
    const std::vector<Case> cases{
        {"unchanged, other order", {left[2], left[0], left[1]}, {"ATime"}, {}},
        {"modified",
         {left[0], sample("2026-01-02 00:00:01", 7), left[2]},
         {"atime", "TagID"},
         {"第2行(ATime=2026-01-02 00:00:01, TagID=1)已被修改: nValue 2 → 7"}},
        {"deleted and added",
         {left[0], left[1], sample("2026-01-02 00:00:05", 3)},
         {"ATime"},
         {"第3行(ATime=2026-01-02 00:00:02)已被删除", "新增了一行(ATime=2026-01-02 00:00:05)"}},
        {"without keys every value names the row",
         {left[0], left[1]},
         {},
         {"第3行(ATime=2026-01-02 00:00:02, TagID=1, nValue=3)已被删除"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(describeRowChanges(columns, c.keys, left, c.now), c.expected) << c.what;

    // Many changes: the first lines and a count of the rest.
    EXPECT_EQ(describeRowChanges(columns, {"ATime"}, left, {}, 2),
              (QStringList{"第1行(ATime=2026-01-02 00:00:00)已被删除", "第2行(ATime=2026-01-02 00:00:01)已被删除",
                           "另有1处改动"}));
}

// Conditions the journal stored as text before scopes were typed are read
// back into the scope that gives the same SQL again; anything beyond the
// forms the commands wrote is refused, so that no stored text runs as SQL.
TEST(StoredConditions, OldFormsBecomeTheScopesThatWroteThemAndNothingElseParses)
{
    const QString range = "ATime>='2026-01-02 00:00:00' AND ATime<'2026-01-02 01:00:00'";
    struct Case {
        const char* what;
        DatabaseKind kind;
        QString stored;
        size_t clauses;
    };
    const Case cases[] = {
        {"one tag", DatabaseKind::SQLite, range + " AND TagID=1", 1},
        {"a station", DatabaseKind::SQLite,
         range + " AND TagID IN(SELECT TagID FROM EqpTagInfo WHERE StationName='O''Neil' AND TagType='遥测')", 1},
        {"every telemetry tag", DatabaseKind::PostgreSQL,
         range + " AND TagID IN(SELECT TagID FROM EqpTagInfo WHERE TagType='遥测')", 1},
        {"a switch's tags", DatabaseKind::SQLite, range + " AND (TagID=1 OR TagID=2 OR TagID=7)", 1},
        {"listed samples", DatabaseKind::MySql,
         "(ATime='2026-01-02 00:00:05' AND TagID=1) OR (ATime='2026-01-02 00:00:06' AND TagID=1)", 2},
        {"Oracle's dates", DatabaseKind::Oracle,
         "ADate>=TO_DATE('2026-01-02', 'YYYY-MM-DD') AND ADate<TO_DATE('2026-01-03', 'YYYY-MM-DD')", 1},
        {"Access's dates", DatabaseKind::Access, "ADate=#2026-01-02# AND ATime=#08:00:00# AND Minisecond=5", 1},
        {"a negative key", DatabaseKind::SqlServer, "AType=-3 AND Contents='a''b'", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto scope = parseStoredCondition("Tag20260102", c.stored);
        ASSERT_TRUE(scope.has_value());
        ASSERT_EQ(scope->clauses.size(), c.clauses);
        const std::vector<QString> sql = scopeConditions(c.kind, *scope);
        ASSERT_EQ(sql.size(), 1u);
        EXPECT_EQ(sql[0], c.stored);
        // Its typed form survives the journal's encoding unchanged.
        EXPECT_EQ(decodeScope(encodeScope(*scope)), scope);
    }
    EXPECT_EQ(parseStoredCondition("Tag20260102", QString())->clauses, std::vector<ScopeClause>{{}});
    EXPECT_EQ(parseStoredCondition("Tag20260102", "ID IN (1, 2, 5)")->clauses[0].terms[0].comparison, Comparison::AnyOf);
    for (const char* refused : {"TagID=1; DROP TABLE Tag20260102", "TagID=1 -- all", "TagID=abs(-1)", "1=1",
                                "TagID IN(SELECT TagID FROM Other)", "TagID=1 OR", "ATime>='unterminated",
                                "TagID IN(SELECT TagID FROM EqpTagInfo WHERE TagType='遥信')", "TagID<>1"})
        EXPECT_FALSE(parseStoredCondition("Tag20260102", QString::fromUtf8(refused)).has_value()) << refused;
    EXPECT_FALSE(parseStoredCondition("Tag2026; DROP", "TagID=1").has_value());
}

// A scope of any size is read and deleted in conditions of a bounded size;
// a day's range is read an hour at a time; a damaged encoding is refused.
TEST(Scopes, ConditionsStayBoundedAndDamagedEncodingsAreRefused)
{
    UnitScope listed{"Tag20260102", {}};
    for (int i = 0; i < 5000; ++i)
        listed.clauses.push_back({{equalTo("ATime", DateTimeText{"2026-01-02 00:00:00"}), equalTo("TagID", qint64(i))}});
    const std::vector<QString> chunks = scopeConditions(DatabaseKind::SQLite, listed);
    EXPECT_EQ(chunks.size(), 50u);
    EXPECT_TRUE(std::all_of(chunks.begin(), chunks.end(), [](const QString& c) { return c.count(" OR ") == 99; }));

    const UnitScope day{"Tag20260102", {rangeClause("ATime", DateTimeText{"2026-01-02 00:00:00"},
                                                    DateTimeText{"2026-01-03 00:00:00"})}};
    const std::vector<QString> hours = readingConditions(DatabaseKind::PostgreSQL, day);
    ASSERT_EQ(hours.size(), 24u);
    EXPECT_EQ(hours[0], "ATime>='2026-01-02 00:00:00' AND ATime<'2026-01-02 01:00:00'");
    EXPECT_EQ(hours[23], "ATime>='2026-01-02 23:00:00' AND ATime<'2026-01-03 00:00:00'");

    const QByteArray bytes = encodeScope(listed);
    for (qsizetype cut : {qsizetype(1), bytes.size() / 2, bytes.size() - 1})
        EXPECT_FALSE(decodeScope(bytes.left(cut)).has_value()) << cut;
    // A count far beyond the bytes that follow it, and a name that is SQL.
    EXPECT_FALSE(decodeScope(encodeRow({QString("Tag20260102"), qint64(1) << 40})).has_value());
    UnitScope named = day;
    named.clauses[0].terms[0].column = "ATime; DROP TABLE x";
    EXPECT_FALSE(decodeScope(encodeScope(named)).has_value());
    EXPECT_FALSE(scopeProblem(named).isEmpty());
}
