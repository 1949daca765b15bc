// How Trawlix starts: the argument table, and the real program started the ways the user,
// the updater and a browser grab start it.
#include "trawlix/startup.h"

#include "tests/support/testenv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

namespace {

TEST(TrawlixStart, OnlyUpdateokAndIeOpenTheWindow)
{
    struct Case {
        QString argument;
        bool normal;
        bool browserImport;
    } cases[] = {
        {"updateok", true, false}, {"ie", true, true},         {"", false, false},
        {"UPDATEOK", false, false}, {"IE", false, false},      {"updateok ", false, false},
        {" ie", false, true},      {"-updateok", false, false}, {"movie", false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.argument.toStdString());
        EXPECT_EQ(trawlix::IsNormalStart(c.argument), c.normal);
        EXPECT_EQ(trawlix::WantsBrowserImport({c.argument}), c.browserImport);
    }
    EXPECT_FALSE(trawlix::WantsBrowserImport({}));
    EXPECT_FALSE(trawlix::WantsBrowserImport({"updateok", "ie"})); // only the first argument counts
}

// The real program, copied into a private folder so that its sibling "renovo" is a stand-in
// that records each start.
class TrawlixProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = testenv::root() + "/install";
        ASSERT_TRUE(QDir().mkpath(folder));
        program = folder + "/trawlix";
        ASSERT_TRUE(QFile::copy(QStringLiteral(TRAWLIX_PATH), program));
        marker = testenv::root() + "/renovo-started";
    }

    void installRenovo()
    {
        QFile script(folder + "/renovo");
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(("#!/bin/sh\necho \"args:$#\" >> '" + marker + "'\n").toUtf8());
        script.close();
        ASSERT_TRUE(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    // Runs the program; its exit code, or -1 when it was still running after `limitMs`.
    int run(const QStringList &args, int limitMs = 20000)
    {
        QProcess process;
        process.start(program, args);
        EXPECT_TRUE(process.waitForStarted());
        if (!process.waitForFinished(limitMs)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    }

    QString renovoStarts()
    {
        // The stand-in runs detached: give it a moment to write.
        QElapsedTimer timer;
        timer.start();
        while (!QFileInfo::exists(marker) && timer.elapsed() < 5000)
            QThread::msleep(20);
        QFile file(marker);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QString folder, program, marker;
};

TEST_F(TrawlixProgram, APlainStartOnlyStartsTheUpdater)
{
    installRenovo();
    for (const QStringList &args : {QStringList{}, QStringList{"UPDATEOK"}, QStringList{"--help"}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        QFile::remove(marker);
        EXPECT_EQ(run(args), 0);
        EXPECT_EQ(renovoStarts(), "args:0\n");
    }
    // No window means no settings were read or written either.
    EXPECT_FALSE(QFileInfo::exists(testenv::registryDir() + "/HKEY_LOCAL_MACHINE.reg"));
}

TEST_F(TrawlixProgram, AMissingUpdaterEndsThePlainStartQuietly)
{
    EXPECT_EQ(run({}), 0);
    EXPECT_FALSE(QFileInfo::exists(marker));
}

TEST_F(TrawlixProgram, UpdateokOpensTheWindowWithoutTheUpdater)
{
    installRenovo();
    EXPECT_EQ(run({"updateok"}, 3000), -1); // still running: the window's event loop
    EXPECT_FALSE(QFileInfo::exists(marker));
    // The window's start-up made the default folders and read the store.
    EXPECT_TRUE(QFileInfo(testenv::root() + "/Documents/@Trawlix Downloads").isDir());
}

} // namespace
