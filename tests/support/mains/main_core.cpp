// Test main for tests without widgets: a QCoreApplication lives for the whole run, so
// queued calls, timers and QProcess work in every test.
#include "tests/support/testenv.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    testenv::installPrivateFolders();
    return RUN_ALL_TESTS();
}
