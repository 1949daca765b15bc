// The private folders are what keeps tests from reading or writing the user's settings.
#include "tests/support/testenv.h"

#include <QDir>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(PrivateFolders, PointHomeXdgAndRegistryIntoTheTestsOwnFolder)
{
    const QString root = testenv::root();
    ASSERT_FALSE(root.isEmpty());
    EXPECT_TRUE(QDir(root).exists());
    EXPECT_EQ(QString::fromLocal8Bit(std::getenv("HOME")), root);
    EXPECT_EQ(QString::fromLocal8Bit(std::getenv("KELDANE_REGISTRY_DIR")), testenv::registryDir());
    EXPECT_TRUE(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).startsWith(root));
    EXPECT_TRUE(QStandardPaths::writableLocation(QStandardPaths::ConfigLocation).startsWith(QFileInfo(root).path()));
}

} // namespace
