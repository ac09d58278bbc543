#include "settings/IniFile.h"
#include "settings/Password.h"
#include "TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

namespace tessera {
namespace {

QString scrambled(const QString& text)
{
    const std::optional<QString> out = ScramblePassword(text, kPasswordScrambleKey);
    EXPECT_TRUE(out.has_value()) << text.toStdString();
    return out.value_or(QString());
}

TEST(ScramblePassword, OutputIsWholeBlocksOfTheKeyLength)
{
    EXPECT_EQ(scrambled("").size(), 0);
    EXPECT_EQ(scrambled("a").size(), 5);
    EXPECT_EQ(scrambled("abcde").size(), 5);
    EXPECT_EQ(scrambled("abcdef").size(), 10);
    EXPECT_EQ(scrambled("abcdefghij").size(), 10);
    EXPECT_EQ(scrambled("abcdefghijk").size(), 15);
    EXPECT_EQ(ScramblePassword("abc", "XY")->size(), 4);
}

TEST(ScramblePassword, MatchesHandComputedValues)
{
    // k(75)+'8'(24)=99->4 '$'; e(69)+'0'(16)=85 'u'; s(83)+'2'(18)=101->6 '&';
    // t(84)+'6'(22)=106->11 '+'; r(82)+'4'(20)=102->7 '\''; a(65)+24=89 'y';
    // the padding blanks give the key itself.
    EXPECT_EQ(scrambled("kestra"), "$u&+'y0264");
    // g(71)+'8'(24)=95->0, which is written as '*' rather than a blank.
    EXPECT_EQ(scrambled("g"), "*0264");
    // ~(94)+24=118->23 '7': the sum wraps around the 95 printable characters.
    EXPECT_EQ(scrambled("~~~~~"), "7/153");
}

TEST(ScramblePassword, NeverProducesABlankOrAnythingOutsidePrintableAscii)
{
    // Every printable character at every key position.
    for (char16_t c = 32; c <= 126; ++c) {
        const QString out = scrambled(QString(5, QChar(c)));
        for (QChar o : out) {
            EXPECT_GE(o.unicode(), 33) << int(c);
            EXPECT_LE(o.unicode(), 126) << int(c);
        }
    }
}

TEST(ScramblePassword, ScrambledPasswordsSurviveTheSettingsFile)
{
    // Stored values are compared with fresh output, so the file must give
    // back exactly what was stored, whatever the password.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("DataSource.ini");
    std::mt19937 rng(1899);
    std::uniform_int_distribution<int> length(0, 20);
    std::uniform_int_distribution<int> printable(32, 126);
    for (int n = 0; n < 200; ++n) {
        QString password;
        for (int i = length(rng); i > 0; --i)
            password += QChar(char16_t(printable(rng)));
        const QString stored = scrambled(password);
        {
            CIniFile ini(path);
            ASSERT_TRUE(ini.Set("USER", "PASS", stored)) << password.toStdString();
        }
        CIniFile ini(path);
        EXPECT_EQ(ini.Get("USER", "PASS"), stored) << password.toStdString();
    }
}

TEST(ScramblePassword, RefusesCharactersOutsidePrintableAscii)
{
    EXPECT_FALSE(ScramblePassword(QStringLiteral("口令"), kPasswordScrambleKey).has_value());
    EXPECT_FALSE(ScramblePassword(QStringLiteral("abc\tdef"), kPasswordScrambleKey).has_value());
    EXPECT_FALSE(ScramblePassword(QStringLiteral("caf\u00e9"), kPasswordScrambleKey).has_value());
    EXPECT_FALSE(ScramblePassword("abc", "").has_value());
    EXPECT_FALSE(ScramblePassword("abc", QStringLiteral("钥匙")).has_value());

    EXPECT_TRUE(isScramblable(""));
    EXPECT_TRUE(isScramblable(" !Az~"));
    EXPECT_FALSE(isScramblable(QString(QChar(127))));
    EXPECT_FALSE(isScramblable(QString(QChar(31))));
    EXPECT_FALSE(isScramblable(QStringLiteral("口令")));
}

} // namespace
} // namespace tessera
