#include "DatabaseTest.h"

#include "db/ResultSet.h"
#include "db/Statement.h"

#include <cmath>

using namespace tessera;
using namespace tessera::test;
using namespace Qt::StringLiterals;

namespace {

class ResultSetTest : public DatabaseTest {
protected:
    // Column types as each kind spells them; SQLite's REAL is its driver's single precision.
    QString type(ValueKind value) const { return ddl::columnType(kind(), {QString(), value}); }
};

TEST_P(ResultSetTest, ReadsTextDatesAndTypedNumbers)
{
    createTable(u"Typed"_s, u"Id INTEGER, Name VARCHAR(40), Stamp %1, Single %2, Dbl %3"_s.arg(
                                type(ValueKind::DateTime), type(ValueKind::RealSingle), type(ValueKind::Real)));
    connection().execute(u"INSERT INTO Typed VALUES(1, '  padded  ', '2008-01-05 08:15:30', 0.1, 0.1)"_s);

    auto rs = connection().query(u"SELECT Id, Name, Stamp, Single, Dbl FROM Typed ORDER BY Id"_s);
    ASSERT_TRUE(rs.next());
    // Read out of order and twice: the row cache makes that work on every driver.
    EXPECT_EQ(rs.number(4).kind, db::TypedNumber::Kind::Double);
    EXPECT_DOUBLE_EQ(rs.number(4).value, 0.1);
    // SQLite has no single-precision type: its driver reports every real as double.
    EXPECT_EQ(rs.number(3).kind,
              kind() == DatabaseKind::SQLite ? db::TypedNumber::Kind::Double : db::TypedNumber::Kind::Single);
    EXPECT_EQ(float(rs.number(3).value), 0.1f);
    EXPECT_EQ(rs.number(0).kind, db::TypedNumber::Kind::Other);
    EXPECT_EQ(rs.number(0).value, 1.0);
    EXPECT_EQ(rs.string(1), u"  padded  "_s);
    EXPECT_EQ(rs.dateTime(2), QDateTime(QDate(2008, 1, 5), QTime(8, 15, 30), Qt::UTC));
    EXPECT_EQ(rs.string(2).mid(11, 8), u"08:15:30"_s);
    EXPECT_FALSE(rs.next());
}

// Values that are copied are read as the numbers they are: a display text
// with fewer digits than the type needs would change them.
TEST_P(ResultSetTest, FloatsReadAsNumbersKeepEveryBit)
{
    createTable(u"Exact"_s,
                u"Id INTEGER, Single %1, Dbl %2"_s.arg(type(ValueKind::RealSingle), type(ValueKind::Real)));
    // Floats that need eight or nine significant digits to tell them apart.
    const std::vector<float> singles {16777218.0f, std::nextafter(0.1f, 1.0f), 123456.79f, -3.4028235e38f,
                                      1.17549435e-38f};
    const std::vector<double> doubles {0.1 + 1e-17, 1.0 / 3.0, 123456789.123456789, -1e300};
    auto insert = connection().prepare(u"INSERT INTO Exact(Id, Single, Dbl) VALUES(?, ?, ?)"_s);
    for (size_t i = 0; i < singles.size(); ++i) {
        insert.set(0, qint64(i));
        insert.set(1, double(singles[i]));
        insert.set(2, i < doubles.size() ? db::Value(doubles[i]) : db::Value());
        insert.execute();
    }
    auto rs = connection().query(u"SELECT Id, Single, Dbl FROM Exact ORDER BY Id"_s);
    rs.readFloatsAsNumbers();
    for (size_t i = 0; i < singles.size(); ++i) {
        ASSERT_TRUE(rs.next());
        EXPECT_EQ(float(rs.number(1).value), singles[i]) << i;
        EXPECT_EQ(float(rs.string(1).toDouble()), singles[i]) << i << " " << rs.string(1).toStdString();
        if (i == doubles.size()) {
            EXPECT_TRUE(rs.number(2).isNull());
            continue;
        }
        // The SQLite driver itself keeps doubles to 15 significant digits.
        const double expected
            = kind() == DatabaseKind::SQLite ? QString::number(doubles[i], 'g', 15).toDouble() : doubles[i];
        EXPECT_EQ(rs.number(2).value, expected) << i;
        EXPECT_EQ(rs.string(2).toDouble(), expected) << i;
    }
    EXPECT_FALSE(rs.next());
}

TEST_P(ResultSetTest, LongBodyIsReadWhole)
{
    createTable(u"LongBody"_s, u"Body TEXT"_s);
    QString body;
    for (int i = 0; i < 3000; ++i)
        body += u"遥测%1;"_s.arg(i);
    auto insert = connection().prepare(u"INSERT INTO LongBody VALUES(?)"_s);
    insert.set(0, body);
    insert.execute();
    auto rs = connection().query(u"SELECT Body FROM LongBody"_s);
    ASSERT_TRUE(rs.next());
    EXPECT_EQ(rs.string(0), body);
    EXPECT_FALSE(rs.fetchesBlocks()); // a text of no bounded size is read a cell at a time
}

// Rows of bounded columns come a block at a time: every row, in order, with
// its NULLs and its own values, across the blocks' edges.
TEST_P(ResultSetTest, RowsReadABlockAtATimeKeepTheirOrderAndNulls)
{
    createTable(u"Blocks"_s,
        u"Id INTEGER, Name VARCHAR(20), Dbl %1, At %2"_s.arg(type(ValueKind::Real), type(ValueKind::DateTime)));
    auto insert = connection().prepare(u"INSERT INTO Blocks VALUES(?, ?, ?, ?)"_s);
    constexpr int kRows = 2500; // three blocks of 1,024 rows at most
    const QDateTime first(QDate(2008, 3, 5), QTime(0, 0), Qt::UTC);
    db::Transaction all(connection());
    for (int i = 0; i < kRows; ++i) {
        insert.set(0, qint64(i));
        insert.set(1, i % 7 ? db::Value(u"站%1"_s.arg(i)) : db::Value());
        insert.set(2, i % 5 ? db::Value(i + 0.25) : db::Value());
        insert.set(3, i % 3 ? db::Value(first.addSecs(i * 97)) : db::Value());
        insert.execute();
    }
    all.commit();
    auto rs = connection().query(u"SELECT Id, Name, Dbl, At FROM Blocks ORDER BY Id"_s);
    rs.readFloatsAsNumbers();
    // Integers and timestamps as the driver's C values, from servers only.
    const bool typed = kind() != DatabaseKind::SQLite;
    rs.readIntegersAsNumbers(typed);
    rs.readDateTimesAsValues(typed);
    int i = 0;
    for (; rs.next(); ++i) {
        ASSERT_EQ(rs.string(0), QString::number(i));
        ASSERT_EQ(rs.boundInteger(0), typed ? std::optional<qint64>(i) : std::nullopt);
        ASSERT_EQ(rs.text(1), i % 7 ? std::optional(u"站%1"_s.arg(i)) : std::nullopt) << i;
        ASSERT_EQ(rs.number(2).isNull(), i % 5 == 0) << i;
        ASSERT_EQ(rs.number(2).value, i % 5 ? i + 0.25 : 0.0) << i;
        const std::optional<QDateTime> at = i % 3 ? std::optional(first.addSecs(i * 97)) : std::nullopt;
        ASSERT_EQ(rs.dateTime(3), at) << i;
        ASSERT_EQ(rs.boundDateTime(3), typed ? at : std::nullopt) << i;
        if (at) {
            ASSERT_EQ(rs.text(3)->left(19), at->toString(u"yyyy-MM-dd hh:mm:ss"_s)) << i;
        }
    }
    EXPECT_EQ(i, kRows);
    EXPECT_TRUE(rs.fetchesBlocks());

    // A SQLite column may hold a text where an integer is declared: read
    // as numbers, it still comes back as that text, never as a number.
    if (kind() == DatabaseKind::SQLite) {
        connection().execute(u"INSERT INTO Blocks VALUES('12ab', NULL, NULL, NULL)"_s);
        auto odd = connection().query(u"SELECT Id FROM Blocks WHERE Id = '12ab'"_s);
        odd.readFloatsAsNumbers();
        ASSERT_TRUE(odd.next());
        EXPECT_EQ(odd.string(0), u"12ab"_s);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, ResultSetTest, allDatabaseKinds(), kindName);

TEST(OdbcDateTimeText, ParsesTheCanonicalForms)
{
    EXPECT_EQ(db::parseOdbcDateTime(u"2008-01-31"_s)->date(), QDate(2008, 1, 31));
    EXPECT_EQ(db::parseOdbcDateTime(u"2008-01-31 12:30:05.000"_s)->time(), QTime(12, 30, 5));
    EXPECT_EQ(db::parseOdbcDateTime(u"12:30:05"_s)->date(), QDate(1899, 12, 30));
    for (const QString& text : {u"2008-02-30"_s, u"31-JAN-08"_s, QString()})
        EXPECT_FALSE(db::parseOdbcDateTime(text).has_value()) << text.toStdString();
}

} // namespace
