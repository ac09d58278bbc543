#include "copy/CopySettings.h"
#include "copy/CopyTables.h"

#include "settings/IniFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tessera;
using namespace tessera::copy;

namespace {

QDateTime at(int y, int m, int d)
{
    return QDateTime(QDate(y, m, d), QTime(10, 30, 15));
}

std::vector<int> tickedRows(const std::vector<bool>& ticked)
{
    std::vector<int> rows;
    for (size_t i = 0; i < ticked.size(); ++i)
        if (ticked[i])
            rows.push_back(int(i));
    return rows;
}

TEST(CopyTableList, HoldsTheCalendarDaySlotsThenTheEventTables)
{
    const QStringList& names = copyTableNames();
    ASSERT_EQ(names.size(), 379);
    EXPECT_EQ(names[0], "Tag0101");
    EXPECT_EQ(names[30], "Tag0131");
    EXPECT_EQ(names[31], "Tag0201");
    EXPECT_EQ(names[59], "Tag0229");
    EXPECT_EQ(names[60], "Tag0230");
    EXPECT_EQ(names[61], "Tag0231");
    EXPECT_EQ(names[371], "Tag1231");
    EXPECT_EQ(names.mid(372), (QStringList{"SOE", "Fault", "LimitAlarm", "RSChange", "RSSummary", "SDaySummary",
                                           "Event"}));
    EXPECT_EQ(names.size(), QSet<QString>(names.begin(), names.end()).size());
    EXPECT_EQ(calendarDayRow(3, 5), 66);
    EXPECT_EQ(copyTableRow("Tag1131"), calendarDayRow(11, 31));
    EXPECT_EQ(copyTableRow("Event"), 378);
    EXPECT_EQ(copyTableRow("event"), -1); // names are compared exactly
}

TEST(CopyTableList, MarksTablesForTheRange)
{
    // Start later than end: refused, nothing to apply.
    EXPECT_FALSE(MarkTablesForRange(true, at(2008, 3, 7), at(2008, 3, 5)));
    EXPECT_FALSE(MarkTablesForRange(false, at(2008, 3, 7), at(2008, 3, 5)));

    // Different years: every row, the event tables included.
    const auto all = MarkTablesForRange(true, at(2007, 3, 5), at(2008, 1, 10));
    ASSERT_TRUE(all);
    EXPECT_EQ(tickedRows(*all).size(), 379u);

    // The same year: the calendar-day rows of the dates, both ends included.
    const auto days = MarkTablesForRange(true, at(2008, 3, 5), at(2008, 3, 7));
    ASSERT_TRUE(days);
    EXPECT_EQ(tickedRows(*days), (std::vector<int>{66, 67, 68}));

    // Across months of one year the impossible slots in between are ticked too.
    const auto across = MarkTablesForRange(true, at(2008, 2, 28), at(2008, 3, 1));
    ASSERT_TRUE(across);
    EXPECT_EQ(tickedRows(*across), (std::vector<int>{58, 59, 60, 61, 62}));

    // One day: that day's row alone; the box cleared unticks everything.
    EXPECT_EQ(tickedRows(*MarkTablesForRange(true, at(2008, 12, 31), at(2008, 12, 31))), std::vector<int>{371});
    EXPECT_TRUE(tickedRows(*MarkTablesForRange(false, at(2007, 1, 1), at(2008, 1, 1))).empty());
}

TEST(CopyTableList, TimeTextsHaveUnpaddedDatesAndPaddedTimes)
{
    EXPECT_EQ(copyTimeText(QDateTime(QDate(2008, 3, 5), QTime(7, 4, 9))), " 2008-3-5 07:04:09");
    EXPECT_EQ(copyTimeText(QDateTime(QDate(2008, 12, 31), QTime(23, 59, 59))), " 2008-12-31 23:59:59");
}

TEST(CopySettingsFile, KeepsBothDataSourcesInTheirSections)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("DataSource.ini");

    // No file: the settings stay as they were.
    CopySettings settings;
    settings.target.dsn = "kept";
    EXPECT_FALSE(LoadCopySettings(path, settings));
    EXPECT_EQ(settings.target.dsn, "kept");

    {
        CIniFile other(path);
        other.Set("DATASOURCEINI", "DSN", "Working");
        ASSERT_TRUE(other.Save());
    }
    settings.target = {"NewDb", "sa", "p;w=d'x", DatabaseKind::PostgreSQL};
    settings.source = {"OldDb", "reader", "", DatabaseKind::Access};
    ASSERT_TRUE(SaveCopySettings(path, settings));

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts),
              (QStringList{"[DATASOURCEINI]", "DSN=Working", "[HOSTSOURCE]", "DSN=NewDb", "USERNAME=sa",
                           "PASS=p;w=d'x", "DSNTYPE=POSTGRESQL", "[DESTSOURCE]", "DSN=OldDb", "USERNAME=reader",
                           "PASS=", "DSNTYPE=ACCESS"}));
    EXPECT_EQ(file.permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              QFile::Permissions());

    CopySettings loaded;
    ASSERT_TRUE(LoadCopySettings(path, loaded));
    EXPECT_EQ(loaded.target.dsn, "NewDb");
    EXPECT_EQ(loaded.target.password, "p;w=d'x");
    EXPECT_EQ(loaded.target.kind, DatabaseKind::PostgreSQL);
    EXPECT_EQ(loaded.source.user, "reader");
    EXPECT_EQ(loaded.source.kind, DatabaseKind::Access);
}

TEST(CopySettingsFile, AKindTextInOtherLetterCaseLeavesTheKind)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("DataSource.ini");
    {
        CIniFile ini(path);
        ini.Set("HOSTSOURCE", "DSNTYPE", "access");
        ini.Set("DESTSOURCE", "DSNTYPE", "ORACLE");
    }
    CopySettings settings;
    ASSERT_TRUE(LoadCopySettings(path, settings));
    EXPECT_EQ(settings.target.kind, DatabaseKind::SqlServer);
    EXPECT_EQ(settings.source.kind, DatabaseKind::Oracle);
    EXPECT_TRUE(settings.target.dsn.isEmpty());
}

} // namespace
