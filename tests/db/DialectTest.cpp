#include "DatabaseTest.h"

#include "DemoContent.h"
#include "SchemaDdl.h"

#include "db/ResultSet.h"
#include "schema/TableNames.h"

using namespace tessera;
using namespace tessera::test;

namespace {

// The dialect table and the test schema against the real databases.
class DialectTest : public DatabaseTest {
protected:
    bool exists(const QString& table)
    {
        auto rs = connection().query(tableProbeSql(kind(), table));
        return rs.next();
    }
};

TEST_P(DialectTest, LiteralsRoundTripThroughEventRows)
{
    createSchema();
    const QDate day(2008, 1, 5);
    demo::writeEventsOfDay(connection(), kind(), day);

    // Date literals select the day's rows, and only them.
    const QString from = FormatDateLiteral(kind(), QStringLiteral("2008-01-05"));
    const QString to = FormatDateLiteral(kind(), QStringLiteral("2008-1-5"));
    auto rs = connection().query(
        QStringLiteral("SELECT ADate, ATime, Contents FROM Event WHERE ADate>=%1 AND ADate<=%2 ORDER BY ADate,ATime")
            .arg(from, to));
    int rows = 0;
    while (rs.next()) {
        ++rows;
        EXPECT_EQ(rs.dateTime(0)->date(), day);
        EXPECT_EQ(rs.string(1).mid(11, 8).size(), 8);
    }
    EXPECT_EQ(rows, 12);

    // A time literal addresses a row by its time of day.
    auto first = connection().query(QStringLiteral("SELECT ATime, MiniSecond FROM SOE ORDER BY ATime"));
    ASSERT_TRUE(first.next());
    const QString time = first.string(0).mid(11, 8);
    const QString deleteSql = QStringLiteral("DELETE FROM SOE WHERE ADate=%1 AND ATime=%2 AND MiniSecond=%3")
                                  .arg(FormatDateLiteral(kind(), QStringLiteral("2008-01-05")),
                                       FormatDateLiteral(kind(), time), first.string(1));
    first.close();
    EXPECT_EQ(connection().execute(deleteSql), 1);
}

TEST_P(DialectTest, TableProbeFindsTablesInAnyLetterCase)
{
    createTelemetryTable(QStringLiteral("Tag20080105"), ddl::Generation::Newer);
    EXPECT_TRUE(exists(QStringLiteral("Tag20080105")));
    EXPECT_TRUE(exists(QStringLiteral("TAG20080105")));
    EXPECT_FALSE(exists(QStringLiteral("Tag20080106")));
}

TEST_P(DialectTest, AddDaysMovesSamplesByWholeDaysBothWays)
{
    createTelemetryTable(QStringLiteral("Tag20080105"), ddl::Generation::Newer);
    connection().execute(QStringLiteral("INSERT INTO Tag20080105(ATime,TagID,DataType,nValue,nValueChange) "
                                        "VALUES(%1,7,6,1.5,0)")
                             .arg(FormatDateLiteral(kind(), QStringLiteral("2008-01-05 23:55:00"))));
    for (int days : {1, -1, 31}) {
        auto rs = connection().query(
            QStringLiteral("SELECT %1 FROM Tag20080105").arg(addDaysExpression(kind(), QStringLiteral("ATime"), days)));
        ASSERT_TRUE(rs.next());
        const auto moved = rs.dateTime(0);
        ASSERT_TRUE(moved.has_value()) << days << " gave " << rs.string(0).toStdString();
        EXPECT_EQ(*moved, QDateTime(QDate(2008, 1, 5).addDays(days), QTime(23, 55), Qt::UTC)) << days;
    }
}

TEST_P(DialectTest, OlderTelemetryValuesAreSinglePrecisionWhereTheDatabaseHasIt)
{
    createTelemetryTable(QStringLiteral("Tag0105"), ddl::Generation::Older);
    demo::writeSamplesOfDay(connection(), QStringLiteral("Tag0105"), QDate(2007, 1, 5));
    auto rs = connection().query(QStringLiteral("SELECT ATime,TagID,DataType,nValue,nValueChange FROM Tag0105 "
                                                "WHERE ATime>=%1 AND ATime<=%2")
                                     .arg(FormatDateLiteral(kind(), QStringLiteral("2007-01-05 00:00:00")),
                                          FormatDateLiteral(kind(), QStringLiteral("2007-01-05 00:05:00"))));
    ASSERT_TRUE(rs.next());
    EXPECT_EQ(rs.number(3).kind,
              kind() == DatabaseKind::SQLite ? db::TypedNumber::Kind::Double : db::TypedNumber::Kind::Single);
    EXPECT_EQ(rs.number(4).kind, db::TypedNumber::Kind::Double);
}

INSTANTIATE_TEST_SUITE_P(Kinds, DialectTest, allDatabaseKinds(), kindName);

} // namespace
