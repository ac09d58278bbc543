#include "platform/Log.h"
#include "platform/Platform.h"
#include "schema/Schema.h"
#include "FileBytes.h"
#include "QtPrinters.h"
#include "ScopedEnv.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#ifndef Q_OS_WIN
#include <langinfo.h>
#endif

namespace tessera {
namespace {

using test::ScopedEnv;

// GBK as the settings file holds it is IniFileTest's; a lone lead byte at the
// end does not swallow what follows it.
TEST(Platform, GbkDecodingKeepsALoneLeadByte)
{
    EXPECT_TRUE(decodeGbk("\xD2").endsWith(QChar::ReplacementCharacter));
    EXPECT_EQ(decodeGbk(encodeGbk(kTagTypePulse)), kTagTypePulse);
}

#ifndef Q_OS_WIN
TEST(Platform, CTypeBecomesUtf8EvenUnderTheCLocale)
{
    const std::string before = std::setlocale(LC_CTYPE, nullptr);
    {
        ScopedEnv all("LC_ALL", "C");
        ensureUtf8CType();
        EXPECT_STREQ(nl_langinfo(CODESET), "UTF-8");
    }
    {
        // A UTF-8 environment is taken as it is.
        ScopedEnv all("LC_ALL", "C.UTF-8");
        std::setlocale(LC_CTYPE, "C");
        ensureUtf8CType();
        EXPECT_STREQ(nl_langinfo(CODESET), "UTF-8");
        EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "C.UTF-8");
    }
    std::setlocale(LC_CTYPE, before.c_str());
}
#endif

// The log: owner-only, rotated at its size keeping three old files, never a password.
TEST(Platform, TheLogFileIsOwnerOnlyRotatesAndKeepsNoPassword)
{
    QTemporaryDir dir;
    ASSERT_TRUE(startLogFile(dir.path(), false));
    qCWarning(lcDb, "connect failed: DSN=scada;UID=op;PWD=s3cret;Port=5432");
    const QString log = dir.filePath(kLogFileName);
    const QByteArray first = test::readBytes(log);
    EXPECT_TRUE(first.contains("warning tessera.db: connect failed: DSN=scada;UID=op;PWD=***;Port=5432")) << first.data();
    EXPECT_FALSE(first.contains("s3cret"));
    EXPECT_EQ(QFileInfo(log).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    const QString line(1000, u'x');
    for (qint64 written = 0; written < (kKeptLogFiles + 2) * kLogFileBytes; written += line.size())
        qCInfo(lcCopy, "%s", qUtf8Printable(line));
    stopLogFile();
    for (int i = 1; i <= kKeptLogFiles; ++i)
        EXPECT_TRUE(QFileInfo::exists(log + QStringLiteral(".%1").arg(i))) << i;
    EXPECT_FALSE(QFileInfo::exists(log + QStringLiteral(".%1").arg(kKeptLogFiles + 1)));
    EXPECT_LE(QFileInfo(log).size(), kLogFileBytes + 2000);
}

TEST(Platform, ProgramDirectoryHoldsTheRunningProgram)
{
    const QString dir = programDirectory();
    EXPECT_TRUE(QFileInfo(dir).isAbsolute());
    EXPECT_TRUE(QDir(dir).entryList(QDir::Files).filter("tessera_core_tests").size() > 0)
        << dir.toStdString();
}

// Beside the program when its folder takes a file and is not where packages
// install programs, else in the user's configuration folder.
TEST(Platform, ConfigurationFileLivesBesideAWritableProgramElseWithTheUser)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    ScopedEnv env("TESSERA_CONFIG_DIR");
    ScopedEnv xdg("XDG_CONFIG_HOME", tmp.filePath("xdg").toLocal8Bit());
    EXPECT_EQ(configurationFilePathFor(tmp.path()), QDir(tmp.path()).filePath("DataSource.ini"));
    // The writability probe leaves nothing behind.
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
              QStringList());

    const QString withTheUser = QDir(tmp.filePath("xdg/Tessera")).filePath("DataSource.ini");
    // A program folder that cannot take a file: missing, or a file itself.
    EXPECT_EQ(configurationFilePathFor(tmp.filePath("missing")), withTheUser);
    EXPECT_TRUE(QFileInfo(tmp.filePath("xdg/Tessera")).isDir());
    test::writeBytes(tmp.filePath("plain-file"), "x");
    EXPECT_EQ(configurationFilePathFor(tmp.filePath("plain-file")), withTheUser);
#ifndef Q_OS_WIN
    // Installed: with the user, also for root, who could write /usr/bin.
    EXPECT_EQ(configurationFilePathFor("/usr/bin"), withTheUser);
    EXPECT_EQ(configurationFilePathFor("/usr/local/bin/"), withTheUser);
    EXPECT_FALSE(QFileInfo::exists("/usr/bin/DataSource.ini"));
#endif
}

} // namespace
} // namespace tessera
