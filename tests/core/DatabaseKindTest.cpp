#include "dialect/DatabaseKind.h"
#include "TestFiles.h"

#include <QSet>

#include <gtest/gtest.h>

namespace tessera {
namespace {

constexpr DatabaseKind kAllKinds[] = {DatabaseKind::SqlServer, DatabaseKind::Access,
                                      DatabaseKind::Oracle,    DatabaseKind::SQLite,
                                      DatabaseKind::PostgreSQL, DatabaseKind::MySql};
const DatabaseKind kOutOfRange = static_cast<DatabaseKind>(42);

// --- literals --------------------------------------------------------------

TEST(FormatDateLiteral, OriginalKindsInsertTheTextUnchanged)
{
    EXPECT_EQ(FormatDateLiteral(DatabaseKind::SqlServer, "2008-01-31"), "'2008-01-31'");
    EXPECT_EQ(FormatDateLiteral(DatabaseKind::Access, "2008-01-31"), "#2008-01-31#");
    EXPECT_EQ(FormatDateLiteral(DatabaseKind::Oracle, "2008-01-31"),
              "TO_DATE('2008-01-31', 'YYYY-MM-DD')");
    EXPECT_EQ(FormatDateLiteral(DatabaseKind::Oracle, "12:30:00"), "TO_DATE('12:30:00', 'HH24:MI:SS')");
    EXPECT_EQ(FormatDateLiteral(DatabaseKind::Oracle, "2008-01-31 12:30:00"),
              "TO_DATE('2008-01-31 12:30:00', 'YYYY-MM-DD HH24:MI:SS')");
    EXPECT_EQ(FormatDateLiteral(DatabaseKind::SqlServer, "12:30:00"), "'12:30:00'");
    EXPECT_EQ(FormatDateLiteral(DatabaseKind::Access, "2008-01-31 12:30:00"), "#2008-01-31 12:30:00#");
    // No padding for these: the text is the caller's.
    EXPECT_EQ(FormatDateLiteral(DatabaseKind::SqlServer, "2008-1-5"), "'2008-1-5'");
}

TEST(FormatDateLiteral, SeparatorAtTheFirstPositionCountsAsAbsent)
{
    // '-' only at position 0: no date part, so a time.
    EXPECT_EQ(FormatDateLiteral(DatabaseKind::Oracle, "-12:30:00"), "TO_DATE('-12:30:00', 'HH24:MI:SS')");
    // ':' only at position 0: a date.
    EXPECT_EQ(FormatDateLiteral(DatabaseKind::Oracle, ":2008-01-31"),
              "TO_DATE(':2008-01-31', 'YYYY-MM-DD')");
    // Neither: a time as well.
    EXPECT_EQ(FormatDateLiteral(DatabaseKind::Oracle, "20080131"), "TO_DATE('20080131', 'HH24:MI:SS')");
    EXPECT_EQ(FormatDateLiteral(DatabaseKind::SQLite, "-12:30:00"), "'1899-12-30 -12:30:00'");
}

TEST(FormatDateLiteral, SQLiteNormalisesToZeroPaddedDateTimeText)
{
    EXPECT_EQ(FormatDateLiteral(DatabaseKind::SQLite, "2008-1-5"), "'2008-01-05 00:00:00'");
    EXPECT_EQ(FormatDateLiteral(DatabaseKind::SQLite, "2008-01-31"), "'2008-01-31 00:00:00'");
    EXPECT_EQ(FormatDateLiteral(DatabaseKind::SQLite, "8:5:3"), "'1899-12-30 08:05:03'");
    EXPECT_EQ(FormatDateLiteral(DatabaseKind::SQLite, "12:30:00"), "'1899-12-30 12:30:00'");
    EXPECT_EQ(FormatDateLiteral(DatabaseKind::SQLite, "2008-1-5 8:5:3"), "'2008-01-05 08:05:03'");
    EXPECT_EQ(FormatDateLiteral(DatabaseKind::SQLite, "2008-01-31 12:30:00"), "'2008-01-31 12:30:00'");
    EXPECT_EQ(FormatDateLiteral(DatabaseKind::SQLite, "2008-01-31 12:30:0.500"),
              "'2008-01-31 12:30:00.500'");
    // Years before 1000 are padded too, so that text order stays date order.
    EXPECT_EQ(FormatDateLiteral(DatabaseKind::SQLite, "999-1-1"), "'0999-01-01 00:00:00'");
    // A text of another shape is not guessed at.
    EXPECT_EQ(FormatDateLiteral(DatabaseKind::SQLite, "2008-x-5"), "'2008-x-5 00:00:00'");
}

TEST(FormatDateLiteral, ServerKindsUsePlainDatesAndDateTimesForTimes)
{
    for (DatabaseKind kind : {DatabaseKind::PostgreSQL, DatabaseKind::MySql}) {
        EXPECT_EQ(FormatDateLiteral(kind, "2008-1-5"), "'2008-01-05'");
        EXPECT_EQ(FormatDateLiteral(kind, "12:30:00"), "'1899-12-30 12:30:00'");
        EXPECT_EQ(FormatDateLiteral(kind, "2008-01-31 12:30:00"), "'2008-01-31 12:30:00'");
        EXPECT_EQ(FormatDateLiteral(kind, "2008-1-31 2:30:00"), "'2008-01-31 02:30:00'");
    }
}

TEST(FormatDateLiteral, TextCannotLeaveTheLiteral)
{
    const QString hostile = "2008-01-31' OR '1'='1";
    for (DatabaseKind kind : {DatabaseKind::SqlServer, DatabaseKind::Oracle, DatabaseKind::SQLite,
                              DatabaseKind::PostgreSQL, DatabaseKind::MySql}) {
        const QString literal = FormatDateLiteral(kind, hostile);
        // Every quote of the text is doubled, so the quotes outside pairs
        // are only the literal's own.
        QString outside = literal;
        outside.remove("''");
        EXPECT_LE(outside.count(u'\''), 4) << literal.toStdString();
        EXPECT_TRUE(literal.contains("2008-01-31'' OR ''1''=''1")) << literal.toStdString();
    }
    EXPECT_EQ(FormatDateLiteral(DatabaseKind::SqlServer, "2008-01-31'"), "'2008-01-31'''");
    // Access has no escape inside #...#: the delimiter is dropped.
    EXPECT_EQ(FormatDateLiteral(DatabaseKind::Access, "2008-01-31# OR 1=1 OR #"), "#2008-01-31 OR 1=1 OR #");
}

TEST(FormatDateLiteral, UnknownKindGivesEmptyText)
{
    EXPECT_TRUE(FormatDateLiteral(DatabaseKind::None, "2008-01-31").isEmpty());
    EXPECT_TRUE(FormatDateLiteral(kOutOfRange, "2008-01-31").isEmpty());
}

// --- driver names and kind texts -------------------------------------------

TEST(DatabaseKind, OriginalDriverNamesMatchExactlyAndCaseSensitively)
{
    EXPECT_EQ(kindOfDriverName("SQL Server"), DatabaseKind::SqlServer);
    EXPECT_EQ(kindOfDriverName("SQL Server Native Client 11.0"), std::nullopt);
    EXPECT_EQ(kindOfDriverName("sql server"), std::nullopt);
    EXPECT_EQ(kindOfDriverName(" SQL Server"), std::nullopt);

    EXPECT_EQ(kindOfDriverName("Microsoft Access Driver (*.mdb)"), DatabaseKind::Access);
    EXPECT_EQ(kindOfDriverName("Microsoft Access Driver (*.mdb, *.accdb)"), std::nullopt);

    EXPECT_EQ(kindOfDriverName("Oracle"), DatabaseKind::Oracle);
    EXPECT_EQ(kindOfDriverName("Oracle in OraClient11g_home1"), DatabaseKind::Oracle);
    EXPECT_EQ(kindOfDriverName("Microsoft ODBC for Oracle"), DatabaseKind::Oracle);
    EXPECT_EQ(kindOfDriverName("oracle"), std::nullopt);
}

TEST(DatabaseKind, AddedDriverNamesMatchInAnyLetterCase)
{
    EXPECT_EQ(kindOfDriverName("SQLite3"), DatabaseKind::SQLite);
    EXPECT_EQ(kindOfDriverName("sqlite3 odbc driver"), DatabaseKind::SQLite);
    EXPECT_EQ(kindOfDriverName("PostgreSQL Unicode"), DatabaseKind::PostgreSQL);
    EXPECT_EQ(kindOfDriverName("postgresql ansi"), DatabaseKind::PostgreSQL);
    EXPECT_EQ(kindOfDriverName("/usr/lib/x86_64-linux-gnu/odbc/PSQLODBCW.so"), DatabaseKind::PostgreSQL);
    EXPECT_EQ(kindOfDriverName("MariaDB Unicode"), DatabaseKind::MySql);
    EXPECT_EQ(kindOfDriverName("MySQL ODBC 8.0 Unicode Driver"), DatabaseKind::MySql);
    EXPECT_EQ(kindOfDriverName("mysql"), DatabaseKind::MySql);
}

TEST(DatabaseKind, OriginalRulesComeFirstAndUnknownDriversAreRefused)
{
    EXPECT_EQ(kindOfDriverName("Oracle gateway to MySQL"), DatabaseKind::Oracle);
    EXPECT_EQ(kindOfDriverName(""), std::nullopt);
    EXPECT_EQ(kindOfDriverName("FreeTDS"), std::nullopt);
    EXPECT_EQ(kindOfDriverName("IBM DB2 ODBC DRIVER"), std::nullopt);
}

TEST(DatabaseKind, DsnTypeTextsRoundTrip)
{
    EXPECT_EQ(dsnTypeText(DatabaseKind::SqlServer), "SQL SERVER");
    EXPECT_EQ(dsnTypeText(DatabaseKind::Access), "ACCESS");
    EXPECT_EQ(dsnTypeText(DatabaseKind::Oracle), "ORACLE");
    EXPECT_TRUE(dsnTypeText(DatabaseKind::None).isEmpty());
    for (DatabaseKind kind : kAllKinds)
        EXPECT_EQ(kindOfDsnTypeText(dsnTypeText(kind)), kind) << int(kind);
    EXPECT_EQ(kindOfDsnTypeText(" sql server "), DatabaseKind::SqlServer);
    EXPECT_EQ(kindOfDsnTypeText("SQLSERVER"), std::nullopt);
    EXPECT_EQ(kindOfDsnTypeText(""), std::nullopt);
}

TEST(DatabaseKind, EveryKindHasItsOwnDisplayName)
{
    QSet<QString> names;
    for (DatabaseKind kind : kAllKinds) {
        const QString name = kindDisplayName(kind);
        EXPECT_FALSE(name.isEmpty()) << int(kind);
        names.insert(name);
    }
    EXPECT_EQ(names.size(), qsizetype(std::size(kAllKinds)));
    EXPECT_EQ(kindDisplayName(DatabaseKind::SQLite), "SQLite");
    EXPECT_TRUE(kindDisplayName(DatabaseKind::None).isEmpty());
    EXPECT_TRUE(kindDisplayName(kOutOfRange).isEmpty());
}

// --- statements ------------------------------------------------------------

TEST(DatabaseKind, AddDaysCarriesTheSignOfTheNumber)
{
    EXPECT_EQ(addDaysExpression(DatabaseKind::SqlServer, "ATime", 1), "ATime+1");
    EXPECT_EQ(addDaysExpression(DatabaseKind::Oracle, "ATime", -1), "ATime-1");
    EXPECT_EQ(addDaysExpression(DatabaseKind::Access, "ATime", 0), "ATime+0");
    EXPECT_EQ(addDaysExpression(DatabaseKind::SQLite, "ATime", 1), "datetime(ATime,'+1 days')");
    EXPECT_EQ(addDaysExpression(DatabaseKind::SQLite, "ATime", -1), "datetime(ATime,'-1 days')");
    EXPECT_EQ(addDaysExpression(DatabaseKind::PostgreSQL, "ATime", -2), "ATime+(-2)*INTERVAL '1 day'");
    EXPECT_EQ(addDaysExpression(DatabaseKind::MySql, "ATime", 3), "ATime+INTERVAL 3 DAY");
    for (DatabaseKind kind : kAllKinds) {
        for (int days : {-365, -1, 0, 1, 365})
            EXPECT_FALSE(addDaysExpression(kind, "ATime", days).contains("+-")) << int(kind) << days;
    }
    EXPECT_TRUE(addDaysExpression(DatabaseKind::None, "ATime", 1).isEmpty());
}

TEST(DatabaseKind, TableProbeNamesTheTable)
{
    EXPECT_EQ(tableProbeSql(DatabaseKind::SqlServer, "Tag20080131"),
              "SELECT name FROM sysobjects WHERE name ='Tag20080131' and info=5");
    EXPECT_EQ(tableProbeSql(DatabaseKind::Access, "Tag20080131"),
              "SELECT * FROM MSysObjects WHERE Name='Tag20080131' and Type=1");
    EXPECT_EQ(tableProbeSql(DatabaseKind::Oracle, "Tag20080131"),
              "SELECT * FROM TAB WHERE TNAME='Tag20080131' AND TABTYPE='TABLE'");
    EXPECT_EQ(tableProbeSql(DatabaseKind::SQLite, "Tag20080131"),
              "SELECT name FROM sqlite_master WHERE type='table' AND name='Tag20080131' COLLATE NOCASE");
    for (DatabaseKind kind : {DatabaseKind::PostgreSQL, DatabaseKind::MySql}) {
        const QString sql = tableProbeSql(kind, "Tag20080131");
        EXPECT_TRUE(sql.contains("lower(table_name)=lower('Tag20080131')")) << sql.toStdString();
        EXPECT_FALSE(sql.contains("%s"));
    }
    EXPECT_EQ(tableProbeSql(DatabaseKind::SqlServer, "a'b"),
              "SELECT name FROM sysobjects WHERE name ='a''b' and info=5");
    EXPECT_TRUE(tableProbeSql(DatabaseKind::None, "Tag20080131").isEmpty());
}

} // namespace
} // namespace tessera
