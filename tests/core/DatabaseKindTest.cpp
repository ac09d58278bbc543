#include "dialect/DatabaseKind.h"
#include "QtPrinters.h"

#include <optional>

#include <gtest/gtest.h>

namespace tessera {
namespace {

const DatabaseKind kOutOfRange = static_cast<DatabaseKind>(42);

// --- literals --------------------------------------------------------------

TEST(FormatDateLiteral, EachKindWritesDatesTimesAndDateTimesItsOwnWay)
{
    using K = DatabaseKind;
    const struct {
        DatabaseKind kind;
        const char* text;
        const char* literal;
    } cases[] = {
        // SQL Server, Access and Oracle insert the text unchanged, padding included.
        {K::SqlServer, "2008-01-31", "'2008-01-31'"},
        {K::SqlServer, "12:30:00", "'12:30:00'"},
        {K::SqlServer, "2008-1-5", "'2008-1-5'"},
        {K::Access, "2008-01-31", "#2008-01-31#"},
        {K::Access, "2008-01-31 12:30:00", "#2008-01-31 12:30:00#"},
        {K::Oracle, "2008-01-31", "TO_DATE('2008-01-31', 'YYYY-MM-DD')"},
        {K::Oracle, "12:30:00", "TO_DATE('12:30:00', 'HH24:MI:SS')"},
        {K::Oracle, "2008-01-31 12:30:00", "TO_DATE('2008-01-31 12:30:00', 'YYYY-MM-DD HH24:MI:SS')"},
        // A separator at the first position counts as absent: '-' there is a
        // time, ':' there a date, neither a time as well.
        {K::Oracle, "-12:30:00", "TO_DATE('-12:30:00', 'HH24:MI:SS')"},
        {K::Oracle, ":2008-01-31", "TO_DATE(':2008-01-31', 'YYYY-MM-DD')"},
        {K::Oracle, "20080131", "TO_DATE('20080131', 'HH24:MI:SS')"},
        {K::SQLite, "-12:30:00", "'1899-12-30 -12:30:00'"},
        // SQLite: zero-padded date-time text, years before 1000 included, so
        // that text order stays date order; other shapes are not guessed at.
        {K::SQLite, "2008-1-5", "'2008-01-05 00:00:00'"},
        {K::SQLite, "2008-01-31", "'2008-01-31 00:00:00'"},
        {K::SQLite, "8:5:3", "'1899-12-30 08:05:03'"},
        {K::SQLite, "12:30:00", "'1899-12-30 12:30:00'"},
        {K::SQLite, "2008-1-5 8:5:3", "'2008-01-05 08:05:03'"},
        {K::SQLite, "2008-01-31 12:30:00", "'2008-01-31 12:30:00'"},
        {K::SQLite, "2008-01-31 12:30:0.500", "'2008-01-31 12:30:00.500'"},
        {K::SQLite, "999-1-1", "'0999-01-01 00:00:00'"},
        {K::SQLite, "2008-x-5", "'2008-x-5 00:00:00'"},
        // The servers: plain dates, times as date-times.
        {K::PostgreSQL, "2008-1-5", "'2008-01-05'"},
        {K::PostgreSQL, "12:30:00", "'1899-12-30 12:30:00'"},
        {K::PostgreSQL, "2008-01-31 12:30:00", "'2008-01-31 12:30:00'"},
        {K::MySql, "2008-1-5", "'2008-01-05'"},
        {K::MySql, "12:30:00", "'1899-12-30 12:30:00'"},
        {K::MySql, "2008-1-31 2:30:00", "'2008-01-31 02:30:00'"},
        // No kind, no literal.
        {K::None, "2008-01-31", ""},
        {kOutOfRange, "2008-01-31", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatDateLiteral(c.kind, c.text), c.literal) << int(c.kind) << ' ' << c.text;
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

// --- driver names and kind texts -------------------------------------------

// The rules of SQL Server, Access and Oracle are exact and case-sensitive
// and tried first; the added kinds match in any letter case; anything else
// is refused.
TEST(DatabaseKind, DriverNamesSelectTheirKind)
{
    using K = DatabaseKind;
    const std::optional<DatabaseKind> none;
    const struct {
        const char* driver;
        std::optional<DatabaseKind> kind;
    } cases[] = {
        {"SQL Server", K::SqlServer}, {"SQL Server Native Client 11.0", none},
        {"sql server", none}, {" SQL Server", none},
        {"Microsoft Access Driver (*.mdb)", K::Access}, {"Microsoft Access Driver (*.mdb, *.accdb)", none},
        {"Oracle", K::Oracle}, {"Oracle in OraClient11g_home1", K::Oracle}, {"Microsoft ODBC for Oracle", K::Oracle},
        {"oracle", none}, {"Oracle gateway to MySQL", K::Oracle},
        {"SQLite3", K::SQLite}, {"sqlite3 odbc driver", K::SQLite},
        {"PostgreSQL Unicode", K::PostgreSQL}, {"postgresql ansi", K::PostgreSQL},
        {"/usr/lib/x86_64-linux-gnu/odbc/PSQLODBCW.so", K::PostgreSQL},
        {"MariaDB Unicode", K::MySql}, {"MySQL ODBC 8.0 Unicode Driver", K::MySql}, {"mysql", K::MySql},
        {"", none}, {"FreeTDS", none}, {"IBM DB2 ODBC DRIVER", none},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kindOfDriverName(c.driver), c.kind) << '"' << c.driver << '"';
}

} // namespace
} // namespace tessera
