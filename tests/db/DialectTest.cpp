#include "DatabaseTest.h"

#include "DemoContent.h"

#include "db/ResultSet.h"
#include "schema/TableNames.h"

using namespace tessera;
using namespace tessera::test;
using namespace Qt::StringLiterals;

namespace {

// The dialect table against the real databases.
class DialectTest : public DatabaseTest { };

TEST_P(DialectTest, LiteralsRoundTripThroughEventRows)
{
    createSchema();
    const QDate day(2008, 1, 5);
    demo::writeEventsOfDay(connection(), kind(), day);

    // Date literals, zero-padded or not, select the day's rows, and only them.
    auto rs = connection().query(u"SELECT ADate, ATime FROM Event WHERE ADate>=%1 AND ADate<=%2"_s.arg(
        FormatDateLiteral(kind(), u"2008-01-05"_s), FormatDateLiteral(kind(), u"2008-1-5"_s)));
    int rows = 0;
    for (; rs.next(); ++rows) {
        EXPECT_EQ(rs.dateTime(0)->date(), day);
        EXPECT_EQ(rs.string(1).mid(11, 8).size(), 8);
    }
    EXPECT_EQ(rows, 12);

    // A time literal addresses a row by its time of day.
    auto first = connection().query(u"SELECT ATime, MiniSecond FROM SOE ORDER BY ATime"_s);
    ASSERT_TRUE(first.next());
    const QString deleteSql = u"DELETE FROM SOE WHERE ADate=%1 AND ATime=%2 AND MiniSecond=%3"_s.arg(
        FormatDateLiteral(kind(), u"2008-01-05"_s), FormatDateLiteral(kind(), first.string(0).mid(11, 8)),
        first.string(1));
    first.close();
    EXPECT_EQ(connection().execute(deleteSql), 1);
}

TEST_P(DialectTest, TableProbeFindsTablesInAnyLetterCase)
{
    createTelemetryTable(u"Tag20080105"_s, ddl::Generation::Newer);
    const auto exists = [this](const QString& table) {
        return connection().query(tableProbeSql(kind(), table)).next();
    };
    EXPECT_TRUE(exists(u"Tag20080105"_s));
    EXPECT_TRUE(exists(u"TAG20080105"_s));
    EXPECT_FALSE(exists(u"Tag20080106"_s));
}

INSTANTIATE_TEST_SUITE_P(Kinds, DialectTest, allDatabaseKinds(), kindName);

} // namespace
