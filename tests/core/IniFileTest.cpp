#include "settings/CIniFile.h"
#include "platform/Platform.h"
#include "FileBytes.h"
#include "QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>

namespace tessera {
namespace {

using test::readBytes;
using test::writeBytes;

// Joins lines with the platform's line end, as the store writes them.
QByteArray fileLines(std::initializer_list<QByteArray> lines)
{
    QByteArray out;
    for (const QByteArray& line : lines)
        out += line + textLineEnd();
    return out;
}

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString path(const QString& name = QStringLiteral("DataSource.ini")) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

// What a file reads as, and what it is written back as: comments, blank and
// malformed lines are dropped; a repeated key takes the later value.
TEST_F(IniFileTest, FilesReadByTheRulesAndAreWrittenBackAsRead)
{
    const QString station = QStringLiteral("变电站　"); // ends in an ideographic blank
    const QString archive = QStringLiteral("实时数据库");
    const struct {
        const char* why;
        QByteArray file;
        std::vector<std::array<QString, 3>> lookups; // section, key, value ("?" for absent)
        QByteArray written;
    } cases[] = {
        {"comments, blank and malformed lines",
            "; settings of the maintenance tool\n[DATASOURCEINI]\n\n=orphan value\n;DSN=commented\n"
            "no equals sign here\nDSN=scada\n",
            {{"DATASOURCEINI", "DSN", "scada"}}, fileLines({"[DATASOURCEINI]", "DSN=scada"})},
        {"a repeated key", "[DATASOURCEINI]\nDSN=first\nUSERNAME=sa\nDSN=second\n",
            {{"DATASOURCEINI", "DSN", "second"}}, fileLines({"[DATASOURCEINI]", "DSN=second", "USERNAME=sa"})},
        // "[X]" and "[]" are neither headers nor entries: what follows stays in AB.
        {"a header needs two characters and comes first", "lost=0\n[AB]\nfirst=1\n[X]\nsecond=2\n[]\nthird=3\n",
            {{"AB", "lost", "?"}, {"AB", "first", "1"}, {"AB", "third", "3"}, {"X", "second", "?"}},
            fileLines({"[AB]", "first=1", "second=2", "third=3"})},
        {"a repeated section is found as the newer one, both are kept", "[S1]\nold=1\n[T1]\nt=1\n[S1]\nnew=2\n",
            {{"S1", "old", "?"}, {"S1", "new", "2"}}, fileLines({"[S1]", "old=1", "[T1]", "t=1", "[S1]", "new=2"})},
        {"blanks around the equals sign belong to key and value", "[DATASOURCEINI]\nDSN = scada\n",
            {{"DATASOURCEINI", "DSN", "?"}, {"DATASOURCEINI", "DSN ", " scada"}},
            fileLines({"[DATASOURCEINI]", "DSN = scada"})},
        // An empty value (PASS=) is present, not absent.
        {"lines are trimmed of ASCII white space, carriage returns included",
            "  [S1]\t\r\n\tDSN=scada \r\nPASS=\r\nNOTE=a\tb\r\n=\r\nNAME=" + encodeGbk(station) + "\r\n",
            {{"S1", "DSN", "scada"}, {"S1", "PASS", ""}, {"S1", "NOTE", "a\tb"}, {"S1", "NAME", station}},
            fileLines({"[S1]", "DSN=scada", "PASS=", "NOTE=a\tb", "NAME=" + encodeGbk(station)})},
        {"GBK section and key names", "[\xD2\xA3\xB2\xE2]\n\xD2\xA3\xD0\xC5=\xD2\xA3\xC2\xF6\n",
            {{QStringLiteral("遥测"), QStringLiteral("遥信"), QStringLiteral("遥脉")}},
            fileLines({"[\xD2\xA3\xB2\xE2]", "\xD2\xA3\xD0\xC5=\xD2\xA3\xC2\xF6"})},
        {"UTF-8 with a byte order mark is saved as GBK",
            "\xEF\xBB\xBF[DATASOURCEINI]\r\nDSN=" + archive.toUtf8() + "\r\n", {{"DATASOURCEINI", "DSN", archive}},
            fileLines({"[DATASOURCEINI]", "DSN=" + encodeGbk(archive)})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        writeBytes(path(), c.file);
        CIniFile ini;
        ASSERT_TRUE(ini.Load(path()));
        for (const auto& [section, key, value] : c.lookups)
            EXPECT_EQ(ini.Get(section, key, "?"), value) << (section + '/' + key).toStdString();
        EXPECT_TRUE(ini.Save());
        EXPECT_EQ(readBytes(path()), c.written);
    }
}

TEST_F(IniFileTest, SetAppendsToTheSectionTheLookupFindsInOrderOfCreation)
{
    CIniFile ini;
    EXPECT_FALSE(ini.Load(path())); // missing: an empty store that remembers the path
    ASSERT_TRUE(ini.Set("USER", "USERNAME", "wardenaccount"));
    ASSERT_TRUE(ini.Set("DATASOURCEINI", "DSN", "scada"));
    ASSERT_TRUE(ini.Set("USER", "PASS", "$u&+'y0264"));
    ASSERT_TRUE(ini.Set("USER", "USERNAME", "operator"));
    EXPECT_TRUE(ini.Save());
    EXPECT_EQ(readBytes(path()),
              fileLines({"[USER]", "USERNAME=operator", "PASS=$u&+'y0264", "[DATASOURCEINI]", "DSN=scada"}));

    // Of a repeated section, the newer one.
    writeBytes(path(), "[S1]\nold=1\n[S1]\nnew=2\n");
    CIniFile repeated(path());
    ASSERT_TRUE(repeated.Set("S1", "added", "3"));
    EXPECT_TRUE(repeated.Save());
    EXPECT_EQ(readBytes(path()), fileLines({"[S1]", "old=1", "[S1]", "new=2", "added=3"}));
}

// A load empties the store; nothing reaches the disk but through Save, in GBK.
TEST_F(IniFileTest, LoadEmptiesTheStoreAndOnlySaveWritesTheFile)
{
    writeBytes(path("a.ini"), "[A1]\nk=a\n");
    {
        CIniFile ini;
        ASSERT_TRUE(ini.Set("B1", "k", "b"));
        ASSERT_TRUE(ini.Load(path("a.ini")));
        EXPECT_EQ(ini.Get("B1", "k", "gone"), "gone");
        ASSERT_TRUE(ini.Set("A1", "k", "unsaved"));
        EXPECT_FALSE(ini.Load(path("missing.ini")));
        EXPECT_EQ(ini.Get("A1", "k", "gone"), "gone");
    }
    EXPECT_FALSE(QFile::exists(path("missing.ini")));
    EXPECT_EQ(readBytes(path("a.ini")), "[A1]\nk=a\n");

    CIniFile ini(path("a.ini"));
    ASSERT_TRUE(ini.Set("DATASOURCEINI", "DSN", QStringLiteral("实时数据库")));
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(readBytes(path("a.ini")),
              fileLines({"[A1]", "k=a", "[DATASOURCEINI]", "DSN=\xCA\xB5\xCA\xB1\xCA\xFD\xBE\xDD\xBF\xE2"}));
    EXPECT_EQ(CIniFile(path("a.ini")).Get("DATASOURCEINI", "DSN"), QStringLiteral("实时数据库"));
}

TEST_F(IniFileTest, SetRefusesWhatWouldReadBackDifferently)
{
    CIniFile ini(path());
    const struct {
        const char* why;
        QString section, key, value;
    } cases[] = {
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
    for (const auto& c : cases) {
        EXPECT_FALSE(ini.Set(c.section, c.key, c.value)) << c.why;
        EXPECT_EQ(ini.Get(c.section, c.key, "absent"), "absent") << c.why;
    }
    EXPECT_TRUE(ini.Save());
    EXPECT_EQ(readBytes(path()), QByteArray()); // nothing was taken

    // The same shapes that do read back are taken.
    EXPECT_TRUE(ini.Set("S1", "DSN ", " scada"));
    EXPECT_TRUE(ini.Set("S1", "k", "a=b;c[d]"));
    EXPECT_TRUE(ini.Set("S1", "k2", ""));
    EXPECT_TRUE(ini.Set(" S1 ", "k", "v")); // inside the brackets blanks survive
}

// --- saving ----------------------------------------------------------------

// Readable by its owner only (it holds passwords), also where the file was
// readable by everyone, and no temporary file is left behind.
TEST_F(IniFileTest, SavedFileIsReadableByItsOwnerOnlyAndAlone)
{
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
        | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    const QFileDevice::Permissions owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    writeBytes(path("wide.ini"), "[S1]\nk=v\n");
    ASSERT_TRUE(QFile::setPermissions(path("wide.ini"), owner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    for (const QString& name : {QStringLiteral("new.ini"), QStringLiteral("wide.ini")}) {
        for (int i = 0; i < 2; ++i) {
            CIniFile ini(path(name));
            ASSERT_TRUE(ini.Set("DATASOURCEINI", "PASS", QString::number(i)));
            ASSERT_TRUE(ini.Save());
        }
        EXPECT_EQ(QFile::permissions(path(name)) & (owner | others), owner) << name.toStdString();
    }
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList {"new.ini", "wide.ini"}));
    EXPECT_EQ(readBytes(path("new.ini")), fileLines({"[DATASOURCEINI]", "PASS=1"}));
}

TEST_F(IniFileTest, FailedSaveReportsIt)
{
    CIniFile ini(m_dir.filePath("no/such/folder/DataSource.ini"));
    ASSERT_TRUE(ini.Set("S1", "k", "v"));
    EXPECT_FALSE(ini.Save());
    EXPECT_FALSE(QFile::exists(m_dir.filePath("no/such/folder/DataSource.ini")));

    CIniFile pathless;
    EXPECT_FALSE(pathless.Save());
}

TEST_F(IniFileTest, UnusualFilesNeverBreakTheReader)
{
    CIniFile directory;
    EXPECT_FALSE(directory.Load(m_dir.path()));
    EXPECT_TRUE(directory.Sections().empty());

    writeBytes(path(), "");
    CIniFile empty;
    EXPECT_TRUE(empty.Load(path()));
    EXPECT_TRUE(empty.Sections().empty());

    const QByteArray longValue(1 << 20, 'x');
    writeBytes(path(), "[S1]\nlong=" + longValue + "\n" + QByteArray("nul=a\0b\n", 8) + QByteArray(300000, '\0')
                           + "\nafter=1\n");
    CIniFile odd(path());
    EXPECT_EQ(odd.Get("S1", "long").size(), longValue.size());
    EXPECT_EQ(odd.Get("S1", "nul"), QString::fromLatin1("a\0b", 3));
    EXPECT_EQ(odd.Get("S1", "after"), "1");
}

} // namespace
} // namespace tessera
