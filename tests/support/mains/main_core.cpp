// Test main for tests without widgets: the programs' console application object lives for the
// whole run, so queued calls, timers and QProcess work in every test. An exception that
// escapes an event handler fails the running test (tests that throw on purpose set their own
// reporter).
#include "platform/coreapp.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    platform::TCoreApplication app(argc, argv);
    app.SetReporter([](const QString &, const QString &message) {
        ADD_FAILURE() << "exception escaped an event handler: " << message.toStdString();
    });
    testenv::installPrivateFolders();
    return RUN_ALL_TESTS();
}
