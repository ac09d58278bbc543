#include "DatabaseTest.h"

#include "db/ResultSet.h"
#include "db/Statement.h"

#include <cmath>

using namespace tessera;
using namespace tessera::test;

namespace {

class ResultSetTest : public DatabaseTest {
protected:
    // Column types as a test schema of each kind spells them.
    QString singleType() const { return kind() == DatabaseKind::PostgreSQL ? QStringLiteral("REAL") : QStringLiteral("FLOAT"); }
    QString doubleType() const { return kind() == DatabaseKind::PostgreSQL ? QStringLiteral("DOUBLE PRECISION") : QStringLiteral("DOUBLE"); }
    QString dateTimeType() const { return kind() == DatabaseKind::PostgreSQL ? QStringLiteral("TIMESTAMP") : QStringLiteral("DATETIME"); }
};

TEST_P(ResultSetTest, ReadsTextDatesAndTypedNumbersWithNullToldApart)
{
    createTable(QStringLiteral("Typed"),
                QStringLiteral("Id INTEGER, Name VARCHAR(40), Stamp %1, Single %2, Dbl %3")
                    .arg(dateTimeType(), kind() == DatabaseKind::SQLite ? QStringLiteral("REAL") : singleType(),
                         doubleType()));
    connection().execute(QStringLiteral("INSERT INTO Typed VALUES(1, '  padded  ', '2008-01-05 08:15:30', 0.1, 0.1)"));
    connection().execute(QStringLiteral("INSERT INTO Typed VALUES(2, NULL, NULL, NULL, NULL)"));

    auto rs = connection().query(QStringLiteral("SELECT Id, Name, Stamp, Single, Dbl FROM Typed ORDER BY Id"));
    ASSERT_EQ(rs.columnCount(), 5);
    EXPECT_EQ(rs.columnName(1).toLower(), QStringLiteral("name"));
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
    EXPECT_EQ(rs.string(1), QStringLiteral("  padded  "));
    ASSERT_TRUE(rs.dateTime(2).has_value());
    EXPECT_EQ(rs.dateTime(2)->date(), QDate(2008, 1, 5));
    EXPECT_EQ(rs.dateTime(2)->time(), QTime(8, 15, 30));
    EXPECT_EQ(rs.string(2).mid(11, 8), QStringLiteral("08:15:30"));

    ASSERT_TRUE(rs.next());
    EXPECT_FALSE(rs.text(1).has_value());
    EXPECT_EQ(rs.string(1), QString());
    EXPECT_FALSE(rs.dateTime(2).has_value());
    EXPECT_TRUE(rs.number(3).isNull());
    EXPECT_TRUE(rs.number(4).isNull());
    EXPECT_FALSE(rs.next());
}

// Values that are copied are read as the numbers they are: a display text
// with fewer digits than the type needs would change them.
TEST_P(ResultSetTest, FloatsReadAsNumbersKeepEveryBit)
{
    createTable(QStringLiteral("Exact"), QStringLiteral("Id INTEGER, Single %1, Dbl %2")
                                             .arg(kind() == DatabaseKind::SQLite ? QStringLiteral("REAL") : singleType(),
                                                  doubleType()));
    // Floats that need eight or nine significant digits to tell them apart.
    const std::vector<float> singles {16777218.0f, std::nextafter(0.1f, 1.0f), 123456.79f, -3.4028235e38f, 1.17549435e-38f};
    const std::vector<double> doubles {0.1 + 1e-17, 1.0 / 3.0, 123456789.123456789, -1e300};
    auto insert = connection().prepare(QStringLiteral("INSERT INTO Exact(Id, Single, Dbl) VALUES(?, ?, ?)"));
    for (size_t i = 0; i < singles.size(); ++i) {
        insert.set(0, qint64(i));
        insert.set(1, double(singles[i]));
        insert.set(2, i < doubles.size() ? db::Value(doubles[i]) : db::Value());
        insert.execute();
    }
    auto rs = connection().query(QStringLiteral("SELECT Id, Single, Dbl FROM Exact ORDER BY Id"));
    rs.readFloatsAsNumbers();
    for (size_t i = 0; i < singles.size(); ++i) {
        ASSERT_TRUE(rs.next());
        EXPECT_EQ(float(rs.number(1).value), singles[i]) << i;
        EXPECT_EQ(float(rs.string(1).toDouble()), singles[i]) << i << " " << rs.string(1).toStdString();
        if (i < doubles.size()) {
            // The SQLite driver itself keeps doubles to 15 significant digits.
            const double expected = kind() == DatabaseKind::SQLite ? QString::number(doubles[i], 'g', 15).toDouble()
                                                                  : doubles[i];
            EXPECT_EQ(rs.number(2).value, expected) << i;
            EXPECT_EQ(rs.string(2).toDouble(), expected) << i;
        } else {
            EXPECT_TRUE(rs.number(2).isNull());
        }
    }
    EXPECT_FALSE(rs.next());
}

TEST_P(ResultSetTest, LongBodyIsReadWhole)
{
    createTable(QStringLiteral("LongBody"), QStringLiteral("Body TEXT"));
    QString body;
    for (int i = 0; i < 3000; ++i)
        body += QStringLiteral("遥测%1;").arg(i);
    auto insert = connection().prepare(QStringLiteral("INSERT INTO LongBody VALUES(?)"));
    insert.set(0, body);
    insert.execute();
    auto rs = connection().query(QStringLiteral("SELECT Body FROM LongBody"));
    ASSERT_TRUE(rs.next());
    EXPECT_EQ(rs.string(0), body);
}

TEST_P(ResultSetTest, BoundDateTimesCompareWithLiterals)
{
    createTable(QStringLiteral("Stamped"), QStringLiteral("ATime %1, TagID INTEGER").arg(dateTimeType()));
    auto insert = connection().prepare(QStringLiteral("INSERT INTO Stamped VALUES(?, ?)"));
    for (int i = 0; i < 3; ++i) {
        insert.set(0, QDateTime(QDate(2008, 1, 5), QTime(8, 0, 0).addSecs(i * 300), Qt::UTC));
        insert.set(1, qint64(i));
        insert.execute();
    }
    auto rs = connection().query(
        QStringLiteral("SELECT TagID FROM Stamped WHERE ATime>='2008-01-05 08:05:00' AND ATime<'2008-01-05 08:10:00'"));
    ASSERT_TRUE(rs.next());
    EXPECT_EQ(rs.string(0), QStringLiteral("1"));
    EXPECT_FALSE(rs.next());
    // Single samples are addressed by equality with a literal.
    EXPECT_EQ(connection().execute(QStringLiteral("DELETE FROM Stamped WHERE ATime='2008-01-05 08:10:00'")), 1);
}

TEST(OdbcDateTimeText, ParsesTheCanonicalForms)
{
    EXPECT_EQ(db::parseOdbcDateTime(QStringLiteral("2008-01-31"))->date(), QDate(2008, 1, 31));
    EXPECT_EQ(db::parseOdbcDateTime(QStringLiteral("2008-01-31 12:30:05.000"))->time(), QTime(12, 30, 5));
    EXPECT_EQ(db::parseOdbcDateTime(QStringLiteral("12:30:05"))->date(), QDate(1899, 12, 30));
    EXPECT_FALSE(db::parseOdbcDateTime(QStringLiteral("2008-02-30")).has_value());
    EXPECT_FALSE(db::parseOdbcDateTime(QStringLiteral("31-JAN-08")).has_value());
    EXPECT_FALSE(db::parseOdbcDateTime(QString()).has_value());
}

INSTANTIATE_TEST_SUITE_P(Kinds, ResultSetTest, allDatabaseKinds(), kindName);

} // namespace
