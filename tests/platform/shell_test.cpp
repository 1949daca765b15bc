#include "platform/shell.h"
#include "tests/support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

// A folder with a program "sibling" that writes its arguments, one per line, to
// "<folder>/marker" (atomically, so a reader never sees half of it).
class SiblingFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QFile script(dir.filePath("sibling"));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n"
                     "here=$(dirname \"$0\")\n"
                     "printf '%s\\n' \"$@\" > \"$here/marker.tmp\"\n"
                     "mv \"$here/marker.tmp\" \"$here/marker\"\n");
        script.close();
        ASSERT_TRUE(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    }

    // The arguments the sibling received, once it has run.
    QStringList receivedArguments()
    {
        const QString marker = dir.filePath("marker");
        while (!QFileInfo::exists(marker))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        QFile file(marker);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
        lines.removeLast(); // after the final line feed
        return lines;
    }

    QTemporaryDir dir;
};

TEST_F(SiblingFolder, StartsTheSiblingDetachedWithItsArgumentsUnchanged)
{
    // Glimmo gets a double quote followed by the path; spaces and non-ASCII stay as they are.
    const QStringList args{"\"/home/u/@Trawlix Downloads/red car.jpg", "updateok", "", "Bild-ä.png"};
    ASSERT_TRUE(platform::StartSibling("sibling", args, dir.path()));
    EXPECT_EQ(receivedArguments(), args);
}

TEST_F(SiblingFolder, MissingOrUnusableSiblingGivesFalse)
{
    QFile plain(dir.filePath("notes"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    const struct {
        const char *name;
    } cases[] = {{"renovo"}, {"notes"}, {"folder"}, {""}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(platform::StartSibling(c.name, {}, dir.path()));
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("marker")));
}

TEST_F(SiblingFolder, StartDetachedRunsAProgramByPath)
{
    ASSERT_TRUE(platform::StartDetached(dir.filePath("sibling"), {"ie"}));
    EXPECT_EQ(receivedArguments(), QStringList{"ie"});
    EXPECT_FALSE(platform::StartDetached(dir.filePath("no-such-program"), {}));
    EXPECT_FALSE(platform::StartDetached("", {}));
}

TEST(Shell, SiblingsLiveNextToTheRunningExecutable)
{
    const QString self = QFile::symLinkTarget("/proc/self/exe");
    EXPECT_EQ(QDir(platform::ExecutableFolder()).canonicalPath(), QFileInfo(self).canonicalPath());
    EXPECT_EQ(platform::SiblingExecutable("renovo"), QDir(platform::ExecutableFolder()).filePath("renovo"));
    EXPECT_FALSE(platform::StartSibling("renovo-that-is-not-built", {}));
}

TEST(Shell, DocumentsFolderIsCreatedUnderTheUsersHome)
{
    const QString home = testenv::root();
    ASSERT_FALSE(home.isEmpty());
    const QString documents = platform::DocumentsFolder();
    EXPECT_EQ(documents, home + "/Documents");
    EXPECT_TRUE(QFileInfo(documents).isDir());
}

TEST(Shell, DocumentsFolderFollowsTheUsersDirectoryChoice)
{
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    QFile dirs(config + "/user-dirs.dirs");
    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
    dirs.write("XDG_DOCUMENTS_DIR=\"$HOME/Papiere\"\n");
    dirs.close();
    EXPECT_EQ(platform::DocumentsFolder(), testenv::root() + "/Papiere");
    EXPECT_TRUE(QFileInfo(testenv::root() + "/Papiere").isDir());
}

TEST(Shell, DocumentsFolderThatCannotBeMadeGivesEmpty)
{
    QFile blocker(testenv::root() + "/Documents");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    EXPECT_TRUE(platform::DocumentsFolder().isEmpty());
}

} // namespace
