#include "sifton/tools.h"

#include "tests/support/testenv.h"

#include <QDir>
#include <QFile>
#include <QThread>
#include <QElapsedTimer>

#include "platform/registry.h"
#include "tests/support/testenv.h"

#include <QFile>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {


TEST(KvStrToInt, DigitTextsAndDefaults)
{
    struct Case {
        std::string text;
        int32_t expected;
    };
    const Case cases[] = {
        {"42", 42},
        {"0", 0},
        {"007", 7},
        {"2147483647", 2147483647},
        {"000000000000000000000000123", 123},
        {"", 7},
        {"-5", 7},
        {"+5", 7},
        {" 5", 7},
        {"5 ", 7},
        {"4x", 7},
        {"0x10", 7},
        {"1.5", 7},
        {"1e3", 7},
        {"\xd9\xa1", 7}, // a non-ASCII digit
        {std::string("4\0" "2", 3), 7},
        {"-2147483648", 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("\"" + c.text + "\"");
        EXPECT_EQ(KvStrToInt(c.text, 7), c.expected);
    }
}

TEST(KvStrToInt, DigitTextTooLargeIsAConversionError)
{
    for (const char* text : {"2147483648", "4294967296", "99999999999999999999999999999"}) {
        SCOPED_TRACE(text);
        EXPECT_THROW((void)KvStrToInt(text, 7), std::out_of_range);
    }
}

class SizeOfFileTest : public ::testing::Test {
protected:
    std::string PathOf(const char* name) const { return (testenv::root() + "/" + name).toStdString(); }

    std::string Write(const char* name, const std::string& bytes) const
    {
        const std::string path = PathOf(name);
        QFile f(QString::fromStdString(path));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        EXPECT_EQ(f.write(bytes.data(), static_cast<qint64>(bytes.size())), static_cast<qint64>(bytes.size()));
        return path;
    }
};

TEST_F(SizeOfFileTest, GivesTheSizeOfARegularFile)
{
    EXPECT_EQ(SizeOfFile(Write("empty", "")), 0);
    EXPECT_EQ(SizeOfFile(Write("five", "12345")), 5);
    EXPECT_EQ(SizeOfFile(Write("binary", std::string("a\0b\r\n", 5))), 5);
    const std::string target = Write("target", std::string(70000, 'x'));
    const std::string link = PathOf("link");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    EXPECT_EQ(SizeOfFile(link), 70000);
}

TEST_F(SizeOfFileTest, IsMinusOneForWhatIsNoReadableFile)
{
    EXPECT_EQ(SizeOfFile(PathOf("missing")), -1);
    EXPECT_EQ(SizeOfFile(""), -1);
    EXPECT_EQ(SizeOfFile(testenv::root().toStdString()), -1); // a folder
    const std::string dangling = PathOf("dangling");
    ASSERT_EQ(::symlink(PathOf("nowhere").c_str(), dangling.c_str()), 0);
    EXPECT_EQ(SizeOfFile(dangling), -1);
    // A path with a NUL must not quietly stand for the file named by its first part.
    const std::string real = Write("real", "abc");
    EXPECT_EQ(SizeOfFile(real + std::string("\0.txt", 5)), -1);
}

TEST_F(SizeOfFileTest, ANamedPipeGivesMinusOneWithoutBlocking)
{
    const std::string fifo = PathOf("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(SizeOfFile(fifo), -1); // a blocking open would hang here for good
}

TEST_F(SizeOfFileTest, AnUnreadableFileGivesMinusOne)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    const std::string path = Write("secret", "abc");
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    EXPECT_EQ(SizeOfFile(path), -1);
}

TEST_F(SizeOfFileTest, SizesBeyondFourGigabytesAreNotTruncated)
{
    // Sparse files: no disk space is used.
    struct Case {
        const char* name;
        int64_t size;
    };
    const Case cases[] = {
        {"2g", 2147483648LL}, {"3g", 3221225472LL}, {"4g", 4294967296LL}, {"5g", 5368709121LL}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = PathOf(c.name);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        const bool sized = ::ftruncate(fd, c.size) == 0;
        ::close(fd);
        if (!sized)
            GTEST_SKIP() << "this file system has no sparse files that large";
        EXPECT_EQ(SizeOfFile(path), c.size);
        ::unlink(path.c_str());
    }
}

// Waits for a started process to leave its mark; a process that never starts fails here.
QByteArray WaitForFile(const QString& path)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 20000) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly)) {
            const QByteArray content = f.readAll();
            if (content.endsWith('\n'))
                return content;
        }
        QThread::msleep(10);
    }
    return {};
}

class RunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedDir_ = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(testenv::root()));
    }
    void TearDown() override { QDir::setCurrent(savedDir_); }

    QString Path(const char* name) const { return testenv::root() + "/" + name; }

    // An executable shell script whose output goes to <script>.out, written only when the
    // script is done (so a reader never sees half of it).
    QString WriteScript(const char* name, const char* body) const
    {
        const QString path = Path(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n{\n");
        f.write(body);
        f.write("} > \"$0.tmp\"\nmv \"$0.tmp\" \"$0.out\"\n");
        f.close();
        EXPECT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        return path;
    }

private:
    QString savedDir_;
};

TEST_F(RunTest, Run2ExeStartsTheCommandLineWithItsArguments)
{
    // The probe writes its arguments, an inherited variable and its folder, one a line.
    const QString script = WriteScript("args.sh",
                                       "for a in \"$@\"; do echo \"[$a]\"; done\n"
                                       "echo \"$TRAWLIX_RUN_TEST\"\n"
                                       "pwd\n");
    ::setenv("TRAWLIX_RUN_TEST", "from-caller", 1);
    // The program is the first word; double quotes keep a word with blanks together.
    ASSERT_TRUE(Run2Exe(("\"" + script + "\" zero \"one two\"  three").toStdString(), "title"));
    ::unsetenv("TRAWLIX_RUN_TEST");
    EXPECT_EQ(WaitForFile(script + ".out"),
              ("[zero]\n[one two]\n[three]\nfrom-caller\n" + QDir::currentPath() + "\n").toUtf8());
}

TEST_F(RunTest, Run2ExeFindsAProgramThroughPath)
{
    ASSERT_TRUE(Run2Exe("sh -c \"echo found > on-path.txt\"", ""));
    EXPECT_EQ(WaitForFile(Path("on-path.txt")), "found\n");
}

TEST_F(RunTest, TheStartedProcessInheritsNoDescriptorOfTheCaller)
{
    // A descriptor opened without close-on-exec, as a library might leave one.
    const QString secret = Path("held-open.txt");
    QFile(secret).open(QIODevice::WriteOnly);
    const int fd = ::open(secret.toLocal8Bit().constData(), O_RDONLY);
    ASSERT_GE(fd, 3);
    const QString script = WriteScript("fds.sh", "readlink /proc/$$/fd/$1 || echo closed\n");
    ASSERT_TRUE(Run2Exe((script + " " + QString::number(fd)).toStdString(), ""));
    const QByteArray out = WaitForFile(script + ".out");
    ::close(fd);
    ASSERT_FALSE(out.isEmpty());
    EXPECT_NE(out.trimmed(), secret.toLocal8Bit()) << "descriptor " << fd << " was inherited";
}

TEST_F(RunTest, Run2ExeDoesNotWaitForTheProcess)
{
    // The child blocks until the test writes into the pipe: a Run2Exe that waited would
    // never return.
    const std::string fifo = Path("gate").toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_TRUE(Run2Exe("/bin/sh -c \"cat gate > passed.txt\"", ""));
    const int fd = ::open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "through\n", 8), 8);
    ::close(fd);
    EXPECT_EQ(WaitForFile(Path("passed.txt")), "through\n");
}

TEST_F(RunTest, Run2ExeFailsWhenNothingCanBeStarted)
{
    const char* lines[] = {"", "   ", "/nonexistent/program --flag", "\"\" arg",
                           "trawlix-no-such-program-on-path"};
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        EXPECT_FALSE(Run2Exe(line, "title"));
    }
}

TEST_F(RunTest, RunExeStartsTheProgramWithoutArgumentsAtIdlePriority)
{
    // Field 19 of /proc/PID/stat is the nice value.
    const QString script = WriteScript("probe.sh", "echo \"$# $(cut -d' ' -f19 /proc/$$/stat)\"\n");
    const int callerPriority = ::getpriority(PRIO_PROCESS, 0);
    ASSERT_TRUE(RunExe(script.toStdString(), "title"));
    EXPECT_EQ(WaitForFile(script + ".out"), "0 19\n");
    // Only the started program runs at idle priority, not the caller.
    EXPECT_EQ(::getpriority(PRIO_PROCESS, 0), callerPriority);
}

TEST_F(RunTest, RunExeFailsWhenNothingCanBeStarted)
{
    EXPECT_FALSE(RunExe("", "title"));
    EXPECT_FALSE(RunExe(Path("missing-program").toStdString(), "title"));
    const QString notExecutable = Path("plain.txt");
    {
        QFile f(notExecutable);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a program\n");
    }
    EXPECT_FALSE(RunExe(notExecutable.toStdString(), "title"));
}

TEST(SetConcDwnlds, WritesTheTwoConnectionLimitsOfTheCurrentUser)
{
    struct Case {
        int32_t count, perServer, per10Server;
    };
    for (const Case c : {Case{6, 6, 8}, Case{-1, 2, 4}, Case{10, 10, 12}}) {
        SCOPED_TRACE(c.count);
        SetConcDwnlds(c.count);
        platform::TRegistry registry;
        registry.SetRootKey(platform::HKEY_CURRENT_USER);
        ASSERT_TRUE(registry.OpenKeyReadOnly("\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"));
        EXPECT_EQ(registry.ReadInteger("MaxConnectionsPerServer"), c.perServer);
        EXPECT_EQ(registry.ReadInteger("MaxConnectionsPer1_0Server"), c.per10Server);
    }
    // Nothing else of the hive is disturbed, and a damaged hive is left alone without an error.
    const QString hive = testenv::registryDir() + "/HKEY_CURRENT_USER.reg";
    QFile file(hive);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("this is not a registry file\n");
    file.close();
    EXPECT_NO_THROW(SetConcDwnlds(4));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("this is not a registry file\n"));
}

} // namespace
