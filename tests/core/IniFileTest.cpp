#include "settings/IniFile.h"
#include "platform/Platform.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tessera {
namespace {

using test::readBytes;
using test::writeBytes;

// Joins lines with the platform's line end, as the store writes them.
QByteArray fileLines(std::initializer_list<const char*> lines)
{
    QByteArray out;
    for (const char* line : lines)
        out += QByteArray(line) + textLineEnd();
    return out;
}

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString path(const QString& name = QStringLiteral("DataSource.ini")) const
    {
        return m_dir.filePath(name);
    }

    // Loads the given bytes and saves them back; returns what was written.
    QByteArray rewrite(const QByteArray& bytes)
    {
        writeBytes(path(), bytes);
        CIniFile ini;
        EXPECT_TRUE(ini.Load(path()));
        EXPECT_TRUE(ini.Save());
        return readBytes(path());
    }

    QTemporaryDir m_dir;
};

// --- reading and writing rules ---------------------------------------------

TEST_F(IniFileTest, EmptyPasswordRoundTripWritesExactlyTheFourLines)
{
    const QByteArray original = fileLines({"[DATASOURCEINI]", "DSN=scada", "USERNAME=sa", "PASS="});
    writeBytes(path(), original);

    CIniFile ini(path());
    EXPECT_EQ(ini.Get("DATASOURCEINI", "DSN", "?"), "scada");
    EXPECT_EQ(ini.Get("DATASOURCEINI", "USERNAME", "?"), "sa");
    // Present but empty, which is not the default.
    EXPECT_EQ(ini.Get("DATASOURCEINI", "PASS", "?"), "");
    EXPECT_TRUE(ini.Save());
    EXPECT_EQ(readBytes(path()), original);
}

// What a file reads as, written back: comments, blank and malformed lines
// are dropped; a repeated key takes the later value and is written once.
TEST_F(IniFileTest, FilesAreWrittenBackAsTheyWereRead)
{
    const struct {
        QByteArray file;
        QByteArray written;
    } cases[] = {
        {"; settings of the maintenance tool\n[DATASOURCEINI]\n\n=orphan value\n;DSN=commented\n"
         "no equals sign here\nDSN=scada\n",
         fileLines({"[DATASOURCEINI]", "DSN=scada"})},
        {"[DATASOURCEINI]\nDSN=first\nUSERNAME=sa\nDSN=second\n",
         fileLines({"[DATASOURCEINI]", "DSN=second", "USERNAME=sa"})},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rewrite(c.file), c.written) << c.file.toStdString();
    EXPECT_EQ(CIniFile(path()).Get("DATASOURCEINI", "DSN"), "second");
}

TEST_F(IniFileTest, SectionHeaderNeedsTwoCharactersInBracketsAndComesFirst)
{
    writeBytes(path(), "lost=0\n[AB]\nfirst=1\n[X]\nsecond=2\n[]\nthird=3\n");
    CIniFile ini(path());
    // Entries before the first header belong nowhere.
    EXPECT_EQ(ini.Get("AB", "lost", "absent"), "absent");
    // "[X]" and "[]" are neither headers nor entries: what follows stays in AB.
    EXPECT_EQ(ini.Get("AB", "first"), "1");
    EXPECT_EQ(ini.Get("AB", "second"), "2");
    EXPECT_EQ(ini.Get("AB", "third"), "3");
    EXPECT_EQ(ini.Get("X", "second", "absent"), "absent");
    ASSERT_EQ(ini.sections().size(), 1u);
}

TEST_F(IniFileTest, RepeatedSectionIsFoundAsTheNewerOneAndBothAreKept)
{
    writeBytes(path(), "[S1]\nold=1\n[T1]\nt=1\n[S1]\nnew=2\n");
    CIniFile ini(path());
    EXPECT_EQ(ini.Get("S1", "old", "hidden"), "hidden");
    EXPECT_EQ(ini.Get("S1", "new"), "2");
    ASSERT_EQ(ini.sections().size(), 3u);
    EXPECT_EQ(ini.sections()[0].name, "S1");
    EXPECT_EQ(ini.sections()[2].name, "S1");

    // A new entry goes to the section the lookup finds.
    ASSERT_TRUE(ini.Set("S1", "added", "3"));
    EXPECT_TRUE(ini.Save());
    EXPECT_EQ(readBytes(path()),
              fileLines({"[S1]", "old=1", "[T1]", "t=1", "[S1]", "new=2", "added=3"}));
}

TEST_F(IniFileTest, KeyAndValueKeepTheBlanksAroundTheEqualsSign)
{
    writeBytes(path(), "[DATASOURCEINI]\nDSN = scada\n");
    CIniFile ini(path());
    EXPECT_EQ(ini.Get("DATASOURCEINI", "DSN", "absent"), "absent");
    EXPECT_EQ(ini.Get("DATASOURCEINI", "DSN "), " scada");
}

TEST_F(IniFileTest, LinesAreTrimmedOfAsciiWhiteSpaceIncludingCarriageReturns)
{
    const QString station = QStringLiteral("变电站　"); // ends in an ideographic blank
    writeBytes(path(), "  [S1]\t\r\n\tDSN=scada \r\nPASS=\r\nNOTE=a\tb\r\n=\r\nNAME="
                           + encodeGbk(station) + "\r\n");
    CIniFile ini(path());
    EXPECT_EQ(ini.Get("S1", "DSN"), "scada");
    EXPECT_EQ(ini.Get("S1", "PASS", "?"), "");
    EXPECT_EQ(ini.Get("S1", "NOTE"), "a\tb");
    EXPECT_EQ(ini.Get("S1", "NAME"), station);
    EXPECT_EQ(ini.sections()[0].entries.size(), 4u);
}

TEST_F(IniFileTest, SetAppendsSectionsAndEntriesInOrderOfCreation)
{
    CIniFile ini;
    EXPECT_FALSE(ini.Load(path())); // missing: an empty store that remembers the path
    EXPECT_EQ(ini.path(), QDir(m_dir.path()).absoluteFilePath("DataSource.ini"));
    ASSERT_TRUE(ini.Set("USER", "USERNAME", "wardenaccount"));
    ASSERT_TRUE(ini.Set("DATASOURCEINI", "DSN", "scada"));
    ASSERT_TRUE(ini.Set("USER", "PASS", "$u&+'y0264"));
    ASSERT_TRUE(ini.Set("USER", "USERNAME", "operator"));
    EXPECT_TRUE(ini.isChanged());
    EXPECT_TRUE(ini.Save());
    EXPECT_FALSE(ini.isChanged());
    EXPECT_EQ(readBytes(path()),
              fileLines({"[USER]", "USERNAME=operator", "PASS=$u&+'y0264", "[DATASOURCEINI]",
                         "DSN=scada"}));
}

TEST_F(IniFileTest, LoadEmptiesTheStoreAndForgetsUnsavedChanges)
{
    writeBytes(path("a.ini"), "[A1]\nk=a\n");
    CIniFile ini;
    ASSERT_TRUE(ini.Set("B1", "k", "b"));
    ASSERT_TRUE(ini.Load(path("a.ini")));
    EXPECT_FALSE(ini.isChanged());
    EXPECT_EQ(ini.Get("B1", "k", "gone"), "gone");
    EXPECT_EQ(ini.Get("A1", "k"), "a");

    EXPECT_FALSE(ini.Load(path("missing.ini")));
    EXPECT_TRUE(ini.sections().empty());
    EXPECT_FALSE(ini.lastError().isEmpty());
}

TEST_F(IniFileTest, SetRefusesWhatWouldReadBackDifferently)
{
    CIniFile ini(path());
    struct Case {
        const char* why;
        QString section, key, value;
    };
    const Case cases[] = {
        {"line break in value", "S1", "k", "a\nb"},
        {"line break in key", "S1", "k\nx", "v"},
        {"line break in section", "S\n1", "k", "v"},
        {"one-character section", "S", "k", "v"},
        {"empty section", "", "k", "v"},
        {"empty key", "S1", "", "v"},
        {"comment key", "S1", ";k", "v"},
        {"key holding '='", "S1", "a=b", "v"},
        {"key with leading blank", "S1", " k", "v"},
        {"value with trailing blank", "S1", "k", "secret "},
        {"entry that reads as a header", "S1", "[k", "v]"},
        {"character GBK lacks", "S1", "k", QString::fromUtf8("\xF0\x9F\x98\x80")},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(ini.Set(c.section, c.key, c.value)) << c.why;
        EXPECT_FALSE(ini.lastError().isEmpty()) << c.why;
    }
    EXPECT_FALSE(ini.isChanged());
    EXPECT_TRUE(ini.sections().empty());

    // The same shapes that do read back are taken.
    EXPECT_TRUE(ini.Set("S1", "DSN ", " scada"));
    EXPECT_TRUE(ini.Set("S1", "k", "a=b;c[d]"));
    EXPECT_TRUE(ini.Set("S1", "k2", ""));
    EXPECT_TRUE(ini.Set(" S1 ", "k", "v")); // inside the brackets blanks survive
}

// --- encoding --------------------------------------------------------------

TEST_F(IniFileTest, ChineseTextIsGbkOnDiskAndReadsBack)
{
    {
        CIniFile ini(path());
        ASSERT_TRUE(ini.Set("DATASOURCEINI", "DSN", QStringLiteral("实时数据库")));
    }
    const QByteArray bytes = readBytes(path());
    EXPECT_TRUE(bytes.contains("DSN=\xCA\xB5\xCA\xB1\xCA\xFD\xBE\xDD\xBF\xE2")) << bytes.toHex().toStdString();
    EXPECT_FALSE(bytes.contains(QStringLiteral("实时").toUtf8()));

    CIniFile again(path());
    EXPECT_EQ(again.Get("DATASOURCEINI", "DSN"), QStringLiteral("实时数据库"));
}

TEST_F(IniFileTest, GbkSectionAndKeyNamesAreRead)
{
    writeBytes(path(), "[\xD2\xA3\xB2\xE2]\n\xD2\xA3\xD0\xC5=\xD2\xA3\xC2\xF6\n");
    CIniFile ini(path());
    EXPECT_EQ(ini.Get(QStringLiteral("遥测"), QStringLiteral("遥信")), QStringLiteral("遥脉"));
}

TEST_F(IniFileTest, Utf8FileWithByteOrderMarkIsReadAndSavedAsGbk)
{
    const QByteArray utf8 = "\xEF\xBB\xBF[DATASOURCEINI]\r\nDSN=" + QStringLiteral("实时数据库").toUtf8() + "\r\n";
    const QByteArray written = rewrite(utf8);
    {
        CIniFile ini(path());
        EXPECT_EQ(ini.Get("DATASOURCEINI", "DSN"), QStringLiteral("实时数据库"));
    }
    EXPECT_FALSE(written.startsWith("\xEF\xBB\xBF"));
    EXPECT_EQ(written, "[DATASOURCEINI]" + QByteArray(textLineEnd()) + "DSN=" +
                           encodeGbk(QStringLiteral("实时数据库")) + textLineEnd());
}

// --- saving ----------------------------------------------------------------

TEST_F(IniFileTest, SavedFileIsReadableByItsOwnerOnly)
{
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup
        | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::WriteOther
        | QFileDevice::ExeOther;
    const QFileDevice::Permissions owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

    // A new file, and an existing one that was readable by everyone.
    writeBytes(path("wide.ini"), "[S1]\nk=v\n");
    ASSERT_TRUE(QFile::setPermissions(path("wide.ini"), owner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    for (const QString& name : {QStringLiteral("new.ini"), QStringLiteral("wide.ini")}) {
        CIniFile ini(path(name));
        ASSERT_TRUE(ini.Set("DATASOURCEINI", "PASS", "secret"));
        ASSERT_TRUE(ini.Save()) << ini.lastError().toStdString();
        const QFileDevice::Permissions mode = QFile::permissions(path(name));
        EXPECT_EQ(mode & others, QFileDevice::Permissions()) << name.toStdString();
        EXPECT_EQ(mode & owner, owner) << name.toStdString();
    }
}

TEST_F(IniFileTest, SavingLeavesNoTemporaryFilesBehind)
{
    writeBytes(path(), "[S1]\nk=old\n");
    for (int i = 0; i < 3; ++i) {
        CIniFile ini(path());
        ASSERT_TRUE(ini.Set("S1", "k", QString::number(i)));
        ASSERT_TRUE(ini.Save());
    }
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"DataSource.ini"});
    EXPECT_EQ(readBytes(path()), fileLines({"[S1]", "k=2"}));
}

TEST_F(IniFileTest, ChangedStoreWritesItselfWhenDestroyed)
{
    {
        CIniFile ini(path());
        ASSERT_TRUE(ini.Set("USER", "USERNAME", "wardenaccount"));
    }
    EXPECT_EQ(readBytes(path()), fileLines({"[USER]", "USERNAME=wardenaccount"}));
}

TEST_F(IniFileTest, UnchangedStoreLeavesTheFileAlone)
{
    const QByteArray original = "; kept because nobody rewrites the file\n[S1]\nk=v\n";
    writeBytes(path(), original);
    {
        CIniFile ini(path());
        EXPECT_EQ(ini.Get("S1", "k"), "v");
    }
    EXPECT_EQ(readBytes(path()), original);
}

TEST_F(IniFileTest, FailedSaveReportsAndClearsTheChangedFlag)
{
    CIniFile ini(m_dir.filePath("no/such/folder/DataSource.ini"));
    ASSERT_TRUE(ini.Set("S1", "k", "v"));
    EXPECT_FALSE(ini.Save());
    EXPECT_FALSE(ini.lastError().isEmpty());
    EXPECT_FALSE(ini.isChanged());
    EXPECT_FALSE(QFile::exists(m_dir.filePath("no/such/folder/DataSource.ini")));

    CIniFile pathless;
    EXPECT_FALSE(pathless.Save());
    EXPECT_FALSE(pathless.lastError().isEmpty());
}

TEST_F(IniFileTest, UnusualFilesNeverBreakTheReader)
{
    CIniFile directory;
    EXPECT_FALSE(directory.Load(m_dir.path()));
    EXPECT_TRUE(directory.sections().empty());

    writeBytes(path(), "");
    CIniFile empty;
    EXPECT_TRUE(empty.Load(path()));
    EXPECT_TRUE(empty.sections().empty());

    const QByteArray longValue(1 << 20, 'x');
    writeBytes(path(), "[S1]\nlong=" + longValue + "\n" + QByteArray("nul=a\0b\n", 8)
                           + QByteArray(300000, '\0') + "\nafter=1\n");
    CIniFile odd(path());
    EXPECT_EQ(odd.Get("S1", "long").size(), longValue.size());
    EXPECT_EQ(odd.Get("S1", "nul"), QString::fromLatin1("a\0b", 3));
    EXPECT_EQ(odd.Get("S1", "after"), "1");
}

} // namespace
} // namespace tessera
