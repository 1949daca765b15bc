// Test main for widget tests: the programs' application object on the offscreen platform
// unless the caller chose another one. An exception that escapes an event handler fails the
// running test (tests that throw on purpose set their own reporter).
#include "platform/gui/app.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    platform::TApplication app(argc, argv);
    app.SetReporter([](const QString &, const QString &message) {
        ADD_FAILURE() << "exception escaped an event handler: " << message.toStdString();
    });
    testenv::installPrivateFolders();
    return RUN_ALL_TESTS();
}
