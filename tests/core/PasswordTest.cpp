#include "settings/Password.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace tessera {
namespace {

QString scrambled(const QString& text)
{
    const std::optional<QString> out = ScramblePassword(text, kPasswordScrambleKey);
    EXPECT_TRUE(out.has_value()) << text.toStdString();
    return out.value_or(QString());
}

// Whole blocks of the key's length, each character shifted by the key's.
TEST(ScramblePassword, MatchesHandComputedValues)
{
    const std::pair<int, int> blocksOfLength[] = {{0, 0}, {5, 1}, {10, 2}, {11, 3}};
    for (const auto& [length, blocks] : blocksOfLength)
        EXPECT_EQ(scrambled(QString(length, u'a')).size(), blocks * 5) << length;
    EXPECT_EQ(ScramblePassword("abc", "XY")->size(), 4);
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
        for (QChar o : scrambled(QString(5, QChar(c))))
            EXPECT_TRUE(o.unicode() >= 33 && o.unicode() <= 126) << int(c);
    }
}

TEST(ScramblePassword, RefusesCharactersOutsidePrintableAscii)
{
    for (const QString& password : {QStringLiteral("口令"), QStringLiteral("abc\tdef"), QStringLiteral("caf\u00e9")})
        EXPECT_FALSE(ScramblePassword(password, kPasswordScrambleKey).has_value()) << password.toStdString();
    EXPECT_FALSE(ScramblePassword("abc", "").has_value());
    EXPECT_FALSE(ScramblePassword("abc", QStringLiteral("钥匙")).has_value());

    EXPECT_TRUE(isScramblable(""));
    EXPECT_TRUE(isScramblable(" !Az~"));
    for (const QString& text : {QString(QChar(127)), QString(QChar(31)), QStringLiteral("口令")})
        EXPECT_FALSE(isScramblable(text)) << text.toStdString();
}

} // namespace
} // namespace tessera
