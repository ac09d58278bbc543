#include "settings/CIniFile.h"
#include "platform/Platform.h"
#include "TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

namespace tessera {
namespace {

using test::readBytes;
using test::writeBytes;

constexpr int kFiles = 3000;
// Every save syncs to disk; round-tripping a share of the files keeps the
// test fast while still covering a few hundred of them.
constexpr int kRoundTripEvery = 6;
constexpr std::uint32_t kSeed = 20080131;

// Random files that look enough like settings files to reach every branch:
// structural characters, blanks, GBK pairs and raw bytes, sometimes a BOM.
QByteArray randomFile(std::mt19937& rng)
{
    static const QByteArray structural = "[]=;\n\n\n\r \t";
    static const QByteArray ascii = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static const QByteArray gbk = encodeGbk(QStringLiteral("遥测遥信遥脉实时数据库厂站回路"));
    auto pick = [&rng](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };

    QByteArray bytes;
    if (pick(10) == 0)
        bytes += "\xEF\xBB\xBF";
    const int length = pick(400);
    while (bytes.size() < length) {
        const int roll = pick(8);
        if (roll < 2)
            bytes += structural[pick(int(structural.size()))];
        else if (roll < 5)
            bytes += ascii[pick(int(ascii.size()))];
        else if (roll == 5)
            bytes += gbk.mid(pick(int(gbk.size()) / 2) * 2, 2);
        else if (roll == 6)
            bytes += "\n[" + QByteArray(pick(4), 'S') + "]\n";
        else
            bytes += char(pick(256));
    }
    return bytes;
}

bool isLineSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

// The reading rules, stated once more from the outside.
void expectWellFormed(const CIniFile& ini, const QByteArray& file)
{
    for (const CIniFile::Section& s : ini.Sections()) {
        EXPECT_GE(s.name.size(), 2) << file.toHex().toStdString();
        EXPECT_FALSE(s.name.contains(u'\n'));
        EXPECT_EQ(s.keyIndex.size(), qsizetype(s.entries.size()));
        for (std::size_t i = 0; i < s.entries.size(); ++i) {
            const CIniFile::Entry& e = s.entries[i];
            ASSERT_FALSE(e.key.isEmpty()) << file.toHex().toStdString();
            EXPECT_FALSE(e.key.startsWith(u';'));
            EXPECT_FALSE(e.key.contains(u'='));
            EXPECT_FALSE(e.key.contains(u'\n') || e.value.contains(u'\n'));
            EXPECT_FALSE(isLineSpace(e.key.front()));
            EXPECT_TRUE(e.value.isEmpty() || !isLineSpace(e.value.back()));
            EXPECT_EQ(s.keyIndex.value(e.key, std::size_t(-1)), i);
        }
    }
}

// The store as lines "[name]" and "key=value".
QStringList contents(const CIniFile& ini)
{
    QStringList lines;
    for (const CIniFile::Section& s : ini.Sections()) {
        lines << u'[' + s.name + u']';
        for (const CIniFile::Entry& e : s.entries)
            lines << e.key + u'=' + e.value;
    }
    return lines;
}

TEST(IniFileFuzz, RandomFilesReadByTheRulesAndRoundTripStably)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("DataSource.ini");

    std::mt19937 rng(kSeed);
    int exactRoundTrips = 0;
    int entriesSeen = 0;
    for (int n = 0; n < kFiles; ++n) {
        const QByteArray bytes = randomFile(rng);
        writeBytes(path, bytes);

        CIniFile read;
        ASSERT_TRUE(read.Load(path));
        expectWellFormed(read, bytes);
        if (HasFatalFailure())
            return;
        for (const CIniFile::Section& s : read.Sections())
            entriesSeen += int(s.entries.size());

        if (n % kRoundTripEvery != 0)
            continue;
        // What it read, saved and read again, is unchanged when GBK carries
        // all of it; otherwise the first save normalises and a second one
        // changes nothing.
        ASSERT_TRUE(read.Save());
        const QByteArray firstSave = readBytes(path);
        CIniFile reread(path);
        // Whether every text of the store survives GBK, the file's encoding.
        const QString texts = contents(read).join(u'\n');
        if (decodeGbk(encodeGbk(texts)) == texts) {
            EXPECT_EQ(contents(reread), contents(read)) << bytes.toHex().toStdString();
            ++exactRoundTrips;
        }
        ASSERT_TRUE(reread.Save());
        EXPECT_EQ(readBytes(path), firstSave) << bytes.toHex().toStdString();
    }
    // The generator must actually exercise the interesting paths.
    EXPECT_GT(exactRoundTrips, kFiles / kRoundTripEvery / 4);
    EXPECT_GT(entriesSeen, kFiles);
}

} // namespace
} // namespace tessera
