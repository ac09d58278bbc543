#include "text/DecimalText.h"

#include <gtest/gtest.h>

using namespace tessera;

TEST(DecimalText, ReadsTheLeadingNumberOnly)
{
    EXPECT_EQ(decimalInteger(QStringLiteral("  42abc")), 42);
    EXPECT_EQ(decimalInteger(QStringLiteral("-7")), -7);
    EXPECT_EQ(decimalInteger(QStringLiteral("+8 9")), 8);
    EXPECT_EQ(decimalInteger(QStringLiteral("abc")), 0);
    EXPECT_EQ(decimalInteger(QString()), 0);
    EXPECT_EQ(decimalInteger(QStringLiteral("99999999999999999999")), INT_MAX);
    EXPECT_EQ(decimalInteger(QStringLiteral("-99999999999999999999")), INT_MIN);
    EXPECT_DOUBLE_EQ(decimalReal(QStringLiteral(" 12.5kV")), 12.5);
    EXPECT_DOUBLE_EQ(decimalReal(QStringLiteral("-1.5e3x")), -1500);
    EXPECT_DOUBLE_EQ(decimalReal(QStringLiteral("遥测")), 0);
    EXPECT_DOUBLE_EQ(decimalReal(QStringLiteral("12.500000")), 12.5);
}
