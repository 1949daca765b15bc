// Test main for widget tests: a QApplication on the offscreen platform unless the caller
// chose another one.
#include "tests/support/testenv.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    testenv::installPrivateFolders();
    return RUN_ALL_TESTS();
}
