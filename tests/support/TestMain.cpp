#include "OdbcTestEnvironment.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

// Test programs that touch ODBC use this main: the driver manager must see
// the test's own odbc.ini files before its first call.
int main(int argc, char** argv)
{
    tessera::test::installOdbcTestEnvironment();
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
