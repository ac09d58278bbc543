#include "OdbcTestEnvironment.h"

#include <QApplication>

#include <gtest/gtest.h>

// main() of the GUI tests: the test ODBC environment, then a real
// QApplication on the offscreen platform unless another one was asked for.
int main(int argc, char** argv)
{
    tessera::test::installOdbcTestEnvironment();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
