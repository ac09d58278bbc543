#include "FileBytes.h"
#include "QtPrinters.h"

#include "copy/CopySettings.h"
#include "copy/CopyTables.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <numeric>
#include <optional>
#include <tuple>

using namespace tessera;
using namespace tessera::copy;
using tessera::test::readBytes;
using tessera::test::writeBytes;

namespace {

TEST(CopyTableList, MarksTablesForTheRange)
{
    struct Case {
        const char* what;
        bool rangeFlag;
        QDate start, end;
        std::optional<std::vector<int>> ticked; // nullopt: refused, nothing to apply
    };
    std::vector<int> everyRow(379);
    std::iota(everyRow.begin(), everyRow.end(), 0);
    const std::vector<Case> cases = {
        {"start later than end", true, QDate(2008, 3, 7), QDate(2008, 3, 5), std::nullopt},
        {"start later, box cleared", false, QDate(2008, 3, 7), QDate(2008, 3, 5), std::nullopt},
        {"different years: every row", true, QDate(2007, 3, 5), QDate(2008, 1, 10), everyRow},
        {"the same year: both ends included", true, QDate(2008, 3, 5), QDate(2008, 3, 7), {{66, 67, 68}}},
        {"impossible slots in between", true, QDate(2008, 2, 28), QDate(2008, 3, 1), {{58, 59, 60, 61, 62}}},
        {"one day", true, QDate(2008, 12, 31), QDate(2008, 12, 31), {{371}}},
        {"the box cleared", false, QDate(2007, 1, 1), QDate(2008, 1, 1), {{}}},
    };
    for (const Case& c : cases) {
        const auto marks = tablesTickedForRange(c.rangeFlag, QDateTime(c.start, QTime(10, 30, 15)),
                                              QDateTime(c.end, QTime(10, 30, 15)));
        ASSERT_EQ(marks.has_value(), c.ticked.has_value()) << c.what;
        if (!marks)
            continue;
        std::vector<int> rows;
        for (size_t i = 0; i < marks->size(); ++i)
            if ((*marks)[i])
                rows.push_back(int(i));
        EXPECT_EQ(rows, *c.ticked) << c.what;
    }
}

TEST(CopySettingsFile, KeepsBothDataSourcesInTheirSections)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("DataSource.ini");

    // No file: the settings stay as they were.
    CopySettings settings;
    settings.target.dsn = "kept";
    EXPECT_FALSE(readCopySettings(path, settings));
    EXPECT_EQ(settings.target.dsn, "kept");

    writeBytes(path, "[DATASOURCEINI]\nDSN=Working\n");
    settings.target = {"NewDb", "sa", "p;w=d'x", DatabaseKind::PostgreSQL};
    settings.source = {"OldDb", "reader", "", DatabaseKind::Access};
    ASSERT_TRUE(writeCopySettings(path, settings));

    EXPECT_EQ(QString::fromLatin1(readBytes(path)).split('\n', Qt::SkipEmptyParts),
              (QStringList{"[DATASOURCEINI]", "DSN=Working", "[HOSTSOURCE]", "DSN=NewDb", "USERNAME=sa",
                           "PASS=p;w=d'x", "DSNTYPE=POSTGRESQL", "[DESTSOURCE]", "DSN=OldDb", "USERNAME=reader",
                           "PASS=", "DSNTYPE=ACCESS"}));

    CopySettings loaded;
    ASSERT_TRUE(readCopySettings(path, loaded));
    auto fields = [](const CopyDataSource& s) { return std::tie(s.dsn, s.user, s.password, s.kind); };
    EXPECT_EQ(fields(loaded.target), fields(settings.target));
    EXPECT_EQ(fields(loaded.source), fields(settings.source));

    // A kind text in other letter case leaves the kind as it was.
    const QString other = dir.filePath("other.ini");
    writeBytes(other, "[HOSTSOURCE]\nDSNTYPE=access\n[DESTSOURCE]\nDSNTYPE=ORACLE\n");
    CopySettings fresh;
    ASSERT_TRUE(readCopySettings(other, fresh));
    EXPECT_EQ(fresh.target.kind, DatabaseKind::SqlServer);
    EXPECT_EQ(fresh.source.kind, DatabaseKind::Oracle);
    EXPECT_TRUE(fresh.target.dsn.isEmpty());
}

} // namespace
