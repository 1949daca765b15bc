#include "platform/atomicfile.h"
#include "platform/regfile.h"
#include "platform/registry.h"
#include "tests/support/childprocess.h"
#include "tests/support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using platform::RegistryError;
using platform::TRegistry;

const QString kTrawlixKey = QStringLiteral("Software\\Keldane\\@Trawlix");

QString hivePath(const QString &root = QStringLiteral("HKEY_CURRENT_USER"))
{
    return testenv::registryDir() + u'/' + root + QStringLiteral(".reg");
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QStringList leftoverTemporaries(const QString &root = QStringLiteral("HKEY_CURRENT_USER"))
{
    return QDir(testenv::registryDir()).entryList({root + QStringLiteral(".reg.tmp-*")}, QDir::Files | QDir::Hidden);
}

mode_t modeOf(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return info.st_mode & 07777;
}

TRegistry openTrawlix()
{
    TRegistry reg;
    reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(reg.OpenKey(kTrawlixKey, true));
    return reg;
}

// --- values ---

TEST(Registry, ValuesWrittenByOneObjectAreReadByAnother)
{
    {
        TRegistry reg = openTrawlix();
        reg.WriteString("Edit8", "proxy.example");
        reg.WriteInteger("UpDown1", 4);
        reg.WriteInteger("Negative", -1);
        reg.WriteBool("CheckBox3", true);
        reg.WriteBool("CheckBox4", false);
        reg.CloseKey();
    }
    TRegistry reg = openTrawlix();
    EXPECT_EQ(reg.ReadString("Edit8"), "proxy.example");
    EXPECT_EQ(reg.ReadInteger("UpDown1"), 4);
    EXPECT_EQ(reg.ReadInteger("Negative"), -1);
    EXPECT_TRUE(reg.ReadBool("CheckBox3"));
    EXPECT_FALSE(reg.ReadBool("CheckBox4"));
    EXPECT_EQ(reg.ReadInteger("CheckBox3"), 1) << "booleans are stored as the integers 1 and 0";
    EXPECT_EQ(reg.GetValueNames(), QStringList({"Edit8", "UpDown1", "Negative", "CheckBox3", "CheckBox4"}));
}

TEST(Registry, AnyNonZeroIntegerReadsAsTrue)
{
    TRegistry reg = openTrawlix();
    for (int32_t stored : {1, 2, -1, 0x7FFFFFFF}) {
        SCOPED_TRACE(stored);
        reg.WriteInteger("Toolbar", stored);
        EXPECT_TRUE(reg.ReadBool("Toolbar"));
    }
    reg.WriteInteger("Toolbar", 0);
    EXPECT_FALSE(reg.ReadBool("Toolbar"));
}

TEST(Registry, RewritingAValueReplacesItsTypeAndKeepsItsPlace)
{
    TRegistry reg = openTrawlix();
    reg.WriteString("A", "x");
    reg.WriteString("B", "y");
    reg.WriteInteger("a", 5);
    EXPECT_EQ(reg.ReadInteger("A"), 5);
    EXPECT_EQ(reg.GetValueNames(), QStringList({"A", "B"})) << "the first spelling and the order stay";
}

TEST(Registry, NamesAndKeysAreCaseInsensitive)
{
    TRegistry writer = openTrawlix();
    writer.WriteString("MaskEdit1", "secret");
    TRegistry reader;
    reader.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reader.OpenKey("SOFTWARE\\keldane\\@TRAWLIX", false));
    EXPECT_TRUE(reader.ValueExists("maskedit1"));
    EXPECT_EQ(reader.ReadString("MASKEDIT1"), "secret");
    EXPECT_TRUE(reader.KeyExists("\\software\\KELDANE"));
}

TEST(Registry, MissingValues)
{
    TRegistry reg = openTrawlix();
    EXPECT_FALSE(reg.ValueExists("Version"));
    EXPECT_EQ(reg.ReadString("Version"), "") << "a missing string reads as empty, as in TRegistry";
    EXPECT_THROW((void)reg.ReadInteger("VersionInt"), RegistryError);
    EXPECT_THROW((void)reg.ReadBool("FS"), RegistryError);
}

TEST(Registry, ReadingTheOtherTypeRaisesAnErrorNamingTheValue)
{
    TRegistry reg = openTrawlix();
    reg.WriteString("Edit9", "8080");
    reg.WriteInteger("RadioGroup1", 1);
    try {
        (void)reg.ReadInteger("Edit9");
        FAIL() << "no error for an integer read of a string";
    } catch (const RegistryError &e) {
        EXPECT_TRUE(e.message().contains("Edit9")) << e.what();
        EXPECT_TRUE(e.message().contains("HKEY_LOCAL_MACHINE\\Software\\Keldane\\@Trawlix")) << e.what();
    }
    EXPECT_THROW((void)reg.ReadString("RadioGroup1"), RegistryError);
    EXPECT_THROW((void)reg.ReadBool("Edit9"), RegistryError);
}

// Texts that the format must escape or carry unchanged, each used as a value name and as a
// value: CR LF joined lists (how "History" and "Memo9" are stored), quotes, backslashes,
// non-ASCII text, brackets and the characters of the format itself.
TEST(Registry, TrickyTextsRoundTripAsNamesAndValues)
{
    const QString cases[] = {
        QStringLiteral("red car\r\nblue bike\r\n"),
        QStringLiteral("line feed only\nsecond"),
        QStringLiteral("a lone \r in the middle"),
        QStringLiteral("say \"hi\""),
        QStringLiteral("C:\\Pics\\"),
        QStringLiteral("\\\"\\\\\"\""),
        QStringLiteral("Grüße, 日本語, emoji 😀"),
        QStringLiteral("  padded  "),
        QStringLiteral("tab\there"),
        QStringLiteral("[HKEY_CURRENT_USER\\fake]"),
        QStringLiteral("\"x\"=dword:00000001"),
        QStringLiteral("@"),
        QStringLiteral(";not a comment"),
        QStringLiteral("="),
    };
    {
        TRegistry reg = openTrawlix();
        for (const QString &text : cases) {
            reg.WriteString(text, text);
            reg.WriteString("value", text);
            ASSERT_EQ(reg.ReadString("value"), text);
        }
        reg.WriteString("", "the default value");
        reg.WriteString("empty", "");
    }
    TRegistry reg = openTrawlix();
    for (const QString &text : cases) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_TRUE(reg.ValueExists(text));
        EXPECT_EQ(reg.ReadString(text), text);
    }
    EXPECT_EQ(reg.ReadString(""), "the default value");
    EXPECT_TRUE(reg.ValueExists("empty"));
    EXPECT_EQ(reg.ReadString("empty"), "");
    EXPECT_FALSE(readBytes(hivePath("HKEY_LOCAL_MACHINE")).contains('\r'))
        << "line breaks inside texts are escaped, so every entry stays on one line";
}

TEST(Registry, TextsWithNulAreRefusedAndTheHiveStaysAsItWas)
{
    TRegistry reg = openTrawlix();
    reg.WriteString("kept", "yes");
    const QByteArray before = readBytes(hivePath("HKEY_LOCAL_MACHINE"));
    EXPECT_THROW(reg.WriteString("bad", QString::fromUtf16(u"a\0b", 3)), RegistryError);
    EXPECT_THROW(reg.WriteString(QString::fromUtf16(u"a\0b", 3), "x"), RegistryError);
    EXPECT_EQ(readBytes(hivePath("HKEY_LOCAL_MACHINE")), before);
}

// --- keys ---

TEST(Registry, OpenKeyFollowsTRegistryPathRules)
{
    TRegistry reg;
    EXPECT_EQ(reg.RootKey(), platform::HKEY_CURRENT_USER) << "the default root";
    EXPECT_FALSE(reg.OpenKey("Software\\Microsoft", false)) << "missing and not to be created";
    EXPECT_FALSE(reg.HasCurrentKey());
    ASSERT_TRUE(reg.OpenKey("\\Software\\Microsoft\\Windows\\CurrentVersion\\", true));
    EXPECT_EQ(reg.CurrentPath(), "Software\\Microsoft\\Windows\\CurrentVersion");
    EXPECT_TRUE(reg.KeyExists("\\Software\\Microsoft")) << "parents are created with the key";
    EXPECT_TRUE(reg.KeyExists("\\Software"));

    ASSERT_TRUE(reg.OpenKey("Internet Settings", true)) << "relative to the open key";
    EXPECT_EQ(reg.CurrentPath(), "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings");
    EXPECT_FALSE(reg.OpenKey("\\Nowhere", false));
    EXPECT_EQ(reg.CurrentPath(), "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings")
        << "a failed open leaves the current key";

    reg.CloseKey();
    ASSERT_TRUE(reg.OpenKey("Software\\Microsoft", false)) << "after CloseKey paths start at the root";
    EXPECT_EQ(reg.GetKeyNames(), QStringList({"Windows"}));
}

TEST(Registry, EachRootIsItsOwnFileNamedAfterIt)
{
    const std::pair<platform::HKEY, QString> roots[] = {
        {platform::HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
        {platform::HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
        {platform::HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
    };
    for (const auto &[root, name] : roots) {
        TRegistry reg;
        reg.SetRootKey(root);
        ASSERT_TRUE(reg.OpenKey(".jpg", true));
        reg.WriteString("", name);
    }
    for (const auto &[root, name] : roots) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(QFileInfo::exists(hivePath(name)));
        EXPECT_TRUE(readBytes(hivePath(name)).contains("[" + name.toUtf8() + "\\.jpg]"));
        TRegistry reg;
        reg.SetRootKey(root);
        ASSERT_TRUE(reg.OpenKey(".jpg", false));
        EXPECT_EQ(reg.ReadString(""), name);
    }
}

TEST(Registry, SettingTheRootClosesTheKey)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software", true));
    reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(reg.HasCurrentKey());
    EXPECT_FALSE(reg.KeyExists("Software")) << "HKEY_CURRENT_USER's key is not in HKEY_LOCAL_MACHINE";
}

TEST(Registry, ReadOnlyKeysRefuseWrites)
{
    (void)openTrawlix();
    TRegistry reg;
    reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(reg.OpenKeyReadOnly("Software\\Keldane\\@Glimmo")) << "read-only never creates";
    ASSERT_TRUE(reg.OpenKeyReadOnly(kTrawlixKey));
    EXPECT_THROW(reg.WriteString("Edit8", "x"), RegistryError);
    EXPECT_THROW((void)reg.DeleteValue("Edit8"), RegistryError);
}

TEST(Registry, DeleteValueAndDeleteKey)
{
    TRegistry reg = openTrawlix();
    reg.WriteString("Edit8", "a");
    reg.WriteString("Edit9", "b");
    EXPECT_TRUE(reg.DeleteValue("EDIT8"));
    EXPECT_FALSE(reg.DeleteValue("Edit8"));
    EXPECT_EQ(reg.GetValueNames(), QStringList({"Edit9"}));

    reg.CloseKey();
    ASSERT_TRUE(reg.OpenKey("Software\\Keldane\\@Glimmo\\Deeper", true));
    reg.CloseKey();
    EXPECT_TRUE(reg.DeleteKey("Software\\Keldane"));
    EXPECT_FALSE(reg.KeyExists(kTrawlixKey)) << "subkeys go with the key";
    EXPECT_FALSE(reg.KeyExists("Software\\Keldane\\@Glimmo\\Deeper"));
    EXPECT_TRUE(reg.KeyExists("Software"));
    EXPECT_FALSE(reg.DeleteKey("Software\\Keldane"));
}

// --- the file ---

TEST(Registry, TheHiveIsReadableRegTextWithMode0600)
{
    TRegistry reg = openTrawlix();
    reg.WriteString("Edit10", "/home/u/@Trawlix Downloads/");
    reg.WriteString("Memo9", "sex\r\nxxx");
    reg.WriteString("Quote", "a \"b\" c:\\d");
    reg.WriteInteger("UpDown2", 10);
    reg.WriteInteger("Negative", -2);
    reg.WriteString("", "default");
    EXPECT_EQ(readBytes(hivePath("HKEY_LOCAL_MACHINE")),
              "REGEDIT4\n"
              "\n[HKEY_LOCAL_MACHINE\\Software]\n"
              "\n[HKEY_LOCAL_MACHINE\\Software\\Keldane]\n"
              "\n[HKEY_LOCAL_MACHINE\\Software\\Keldane\\@Trawlix]\n"
              "\"Edit10\"=\"/home/u/@Trawlix Downloads/\"\n"
              "\"Memo9\"=\"sex\\r\\nxxx\"\n"
              "\"Quote\"=\"a \\\"b\\\" c:\\\\d\"\n"
              "\"UpDown2\"=dword:0000000a\n"
              "\"Negative\"=dword:fffffffe\n"
              "@=\"default\"\n");
    EXPECT_EQ(modeOf(hivePath("HKEY_LOCAL_MACHINE")), 0600u);
    EXPECT_EQ(modeOf(hivePath("HKEY_LOCAL_MACHINE") + ".lock"), 0600u);
}

TEST(Registry, ReadsHiveTextWrittenOnWindows)
{
    writeBytes(hivePath(),
               "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
               "\r\n"
               "; exported by hand\r\n"
               "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\r\n"
               "\"Personal\" = \"C:\\\\Users\\\\Me\\\\Documents\"\r\n"
               "\"Count\"=DWORD:0000001F\r\n"
               "@=\"d\xC3\xA9\x66\x61ut\"\r\n");
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", false));
    EXPECT_EQ(reg.ReadString("Personal"), "C:\\Users\\Me\\Documents");
    EXPECT_EQ(reg.ReadInteger("Count"), 31);
    EXPECT_EQ(reg.ReadString(""), QStringLiteral("défaut"));
    EXPECT_TRUE(reg.KeyExists("\\Software\\Microsoft")) << "parents of a listed key exist";
}

TEST(Registry, HiveFolderComesFromTheEnvironment)
{
    const QString base = testenv::root();
    ::setenv("KELDANE_REGISTRY_DIR", QFile::encodeName(base + "/chosen").constData(), 1);
    EXPECT_EQ(platform::RegistryDirectory(), base + "/chosen");

    ::unsetenv("KELDANE_REGISTRY_DIR");
    ::setenv("XDG_CONFIG_HOME", QFile::encodeName(base + "/xdg").constData(), 1);
    EXPECT_EQ(platform::RegistryDirectory(), base + "/xdg/keldane");
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("Software", true));
        reg.WriteInteger("n", 1);
    }
    EXPECT_TRUE(QFileInfo::exists(base + "/xdg/keldane/HKEY_CURRENT_USER.reg")) << "the folder is made on first write";
    EXPECT_EQ(modeOf(base + "/xdg/keldane"), 0700u);

    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    ::setenv("HOME", QFile::encodeName(base + "/home2").constData(), 1);
    EXPECT_EQ(platform::RegistryDirectory(), base + "/home2/.config/keldane");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(platform::RegistryDirectory(), base + "/home2/.config/keldane");
}

// --- damaged and unreadable hives ---

struct MalformedCase {
    const char *what;
    const char *text;
    int line;
};

TEST(Registry, MalformedHiveIsReportedWithFileAndLineAndNeverRewritten)
{
    const MalformedCase cases[] = {
        {"no header", "[HKEY_CURRENT_USER\\Software]\n", 1},
        {"unclosed key line", "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\n", 3},
        {"value before any key", "REGEDIT4\n\"a\"=\"b\"\n", 2},
        {"unclosed quote", "REGEDIT4\n[HKEY_CURRENT_USER\\S]\n\"a\"=\"b\n", 3},
        {"unknown escape", "REGEDIT4\n[HKEY_CURRENT_USER\\S]\n\"a\"=\"C:\\Pics\"\n", 3},
        {"dword too long", "REGEDIT4\r\n[HKEY_CURRENT_USER\\S]\r\n\"a\"=dword:000000001\r\n", 3},
        {"dword not hex", "REGEDIT4\n[HKEY_CURRENT_USER\\S]\n\n\"a\"=dword:0000000g\n", 4},
        {"binary value", "REGEDIT4\n[HKEY_CURRENT_USER\\S]\n\"a\"=hex:01,02\n", 3},
        {"other root", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\S]\n", 2},
        {"empty key name", "REGEDIT4\n[HKEY_CURRENT_USER\\a\\\\b]\n", 2},
        {"garbage after value", "REGEDIT4\n[HKEY_CURRENT_USER\\S]\n\"a\"=\"b\" c\n", 3},
        {"not UTF-8", "REGEDIT4\n[HKEY_CURRENT_USER\\S]\n\"a\"=\"\xE9t\xE9\"\n", 3},
        {"cut in the middle", "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n\"Edit8\"=\"pro", 4},
    };
    for (const MalformedCase &c : cases) {
        SCOPED_TRACE(c.what);
        QDir(testenv::registryDir()).removeRecursively();
        QDir().mkpath(testenv::registryDir());
        const QByteArray text(c.text);
        writeBytes(hivePath(), text);

        TRegistry reg;
        try {
            (void)reg.OpenKey("Software", true);
            ADD_FAILURE() << "no error for a malformed hive";
        } catch (const RegistryError &e) {
            EXPECT_TRUE(e.message().contains(hivePath() + ", line " + QString::number(c.line))) << e.what();
        }
        EXPECT_THROW(reg.WriteString("x", "y"), RegistryError);
        EXPECT_THROW((void)reg.ValueExists("x"), RegistryError);
        EXPECT_EQ(readBytes(hivePath()), text) << "the hive is left as it was";
        EXPECT_EQ(readBytes(hivePath() + ".malformed"), text) << "a copy is kept";
        EXPECT_TRUE(leftoverTemporaries().isEmpty());
    }
}

TEST(Registry, ADifferentDamageKeepsASecondCopy)
{
    writeBytes(hivePath(), "first damage\n");
    TRegistry reg;
    EXPECT_THROW((void)reg.KeyExists("x"), RegistryError);
    EXPECT_THROW((void)reg.KeyExists("x"), RegistryError);
    writeBytes(hivePath(), "second damage\n");
    EXPECT_THROW((void)reg.KeyExists("x"), RegistryError);
    EXPECT_EQ(readBytes(hivePath() + ".malformed"), "first damage\n");
    EXPECT_EQ(readBytes(hivePath() + ".malformed-1"), "second damage\n");
    EXPECT_FALSE(QFileInfo::exists(hivePath() + ".malformed-2")) << "the same damage is copied once";
}

TEST(Registry, UnreadableHiveRaisesAnErrorNamingTheFile)
{
    QDir().mkpath(hivePath()); // a folder where the hive should be
    TRegistry reg;
    try {
        (void)reg.OpenKey("Software", false);
        FAIL() << "no error for an unreadable hive";
    } catch (const RegistryError &e) {
        EXPECT_TRUE(e.message().contains(hivePath())) << e.what();
    }
}

TEST(Registry, EmptyFileIsAnEmptyHive)
{
    writeBytes(hivePath(), "");
    TRegistry reg;
    EXPECT_FALSE(reg.KeyExists("Software"));
    ASSERT_TRUE(reg.OpenKey("Software", true));
    reg.WriteInteger("n", 1);
    EXPECT_EQ(TRegistry().OpenKey("Software", false), true);
}

// --- failures of the disk and the folder ---

// Runs `body` as an unprivileged user so that folder permissions apply (they do not to
// root). Returns the child's exit code.
int runWithoutPrivileges(std::function<int()> body)
{
    testsupport::ChildProcess child([&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            return 90;
        return body();
    });
    return child.wait();
}

void openPathForOthers(const QString &path)
{
    // The private test folders are 0700; the unprivileged child must reach the hive.
    for (QString p = path; p.startsWith(QDir::tempPath()) && p != QDir::tempPath(); p = QFileInfo(p).path())
        ::chmod(QFile::encodeName(p).constData(), 0755);
}

TEST(Registry, UnwritableFolderFailsOpenWithCreateAndRaisesOnWrite)
{
    {
        TRegistry reg = openTrawlix();
        reg.WriteString("Edit8", "kept");
    }
    const QString hive = hivePath("HKEY_LOCAL_MACHINE");
    openPathForOthers(testenv::registryDir());
    ::chmod(QFile::encodeName(hive).constData(), 0644);
    ::unlink(QFile::encodeName(hive + ".lock").constData());
    ::chmod(QFile::encodeName(testenv::registryDir()).constData(), 0555);
    const QByteArray before = readBytes(hive);

    const int code = runWithoutPrivileges([] {
        TRegistry reg;
        reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
        if (reg.OpenKey("Software\\Keldane\\@Glimmo", true))
            return 1; // cannot be created in a read-only folder
        if (!reg.OpenKey(kTrawlixKey, true))
            return 2; // an existing key opens
        if (reg.ReadString("Edit8") != "kept")
            return 3;
        try {
            reg.WriteString("Edit8", "changed");
            return 4;
        } catch (const RegistryError &e) {
            if (!e.message().contains("Edit8"))
                return 5;
        }
        return 0;
    });
    ::chmod(QFile::encodeName(testenv::registryDir()).constData(), 0700);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(readBytes(hive), before);
}

TEST(Registry, FileSizeLimitFailsTheWriteAndKeepsTheOldHive)
{
    {
        TRegistry reg = openTrawlix();
        reg.WriteString("Edit8", "kept");
    }
    const QString hive = hivePath("HKEY_LOCAL_MACHINE");
    const QByteArray before = readBytes(hive);
    testsupport::ChildProcess child([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlim_t limit = static_cast<rlim_t>(before.size()) + 16;
        const rlimit small{limit, limit};
        if (::setrlimit(RLIMIT_FSIZE, &small) != 0)
            return 90;
        TRegistry reg;
        reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
        if (!reg.OpenKey(kTrawlixKey, false))
            return 1;
        try {
            reg.WriteString("History", QString(4000, u'x'));
            return 2;
        } catch (const RegistryError &e) {
            return e.message().contains(QString::fromLocal8Bit(std::strerror(EFBIG))) ? 0 : 3;
        }
    });
    EXPECT_EQ(child.wait(), 0);
    EXPECT_EQ(readBytes(hive), before);
    EXPECT_TRUE(leftoverTemporaries("HKEY_LOCAL_MACHINE").isEmpty());
}

// A real full disk: a 64 KB tmpfs. Needs the right to mount, so it is skipped without it.
class SmallDisk {
public:
    explicit SmallDisk(const QString &path) : m_path(QFile::encodeName(path))
    {
        QDir().mkpath(path);
        m_mounted = ::mount("tmpfs", m_path.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k,mode=0700") == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(m_path.constData(), MNT_DETACH);
    }
    [[nodiscard]] bool mounted() const { return m_mounted; }

private:
    QByteArray m_path;
    bool m_mounted = false;
};

TEST(Registry, FullDiskFailsTheWriteLoudlyAndKeepsTheOldHive)
{
    const QString folder = testenv::root() + "/smalldisk";
    SmallDisk disk(folder);
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    ::setenv("KELDANE_REGISTRY_DIR", QFile::encodeName(folder).constData(), 1);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software", true));
    reg.WriteString("Edit8", "kept");
    const QByteArray before = readBytes(folder + "/HKEY_CURRENT_USER.reg");

    // Fill the disk to the last byte.
    {
        QFile filler(folder + "/filler");
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        const QByteArray byte(1, 'f');
        while (filler.write(byte) == 1 && filler.flush()) {
        }
    }
    try {
        reg.WriteString("History", QString(20000, u'h'));
        FAIL() << "a write on a full disk reported success";
    } catch (const RegistryError &e) {
        EXPECT_TRUE(e.message().contains(QString::fromLocal8Bit(std::strerror(ENOSPC)))) << e.what();
    }
    EXPECT_EQ(readBytes(folder + "/HKEY_CURRENT_USER.reg"), before);
    EXPECT_TRUE(QDir(folder).entryList({"*.tmp-*"}, QDir::Files).isEmpty());

    QFile::remove(folder + "/filler");
    reg.WriteString("History", "fits again");
    EXPECT_EQ(TRegistry().OpenKey("Software", false), true);
    EXPECT_EQ(reg.ReadString("Edit8"), "kept");
}

// --- two processes ---

TEST(Registry, WriterWaitsForAnotherProcessHoldingTheLockAndBothValuesSurvive)
{
    (void)openTrawlix();
    const QString hive = hivePath("HKEY_LOCAL_MACHINE");

    // This process plays another program in the middle of its update: it holds the lock.
    platform::FileLock lock;
    ASSERT_TRUE(lock.acquire(hive + ".lock", platform::FileLock::Exclusive).ok());

    testsupport::SignalPipe ready;
    testsupport::ChildProcess child([&] {
        // The forked copy of the lock's descriptor would hold the lock for the child itself.
        lock.release();
        ready.closeReadEnd();
        TRegistry reg;
        reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
        if (!reg.OpenKey(kTrawlixKey, false))
            return 1;
        ready.send('r');
        reg.WriteString("FromChild", "B"); // must wait for the lock
        return 0;
    });
    ready.closeWriteEnd();
    ASSERT_EQ(ready.receive(), 'r');
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!testsupport::isBlockedOnFileLock(child.pid())) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the child never waited for the lock";
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    // Finish "our" update while the child waits: read, change, replace.
    platform::regfile::Hive current;
    platform::regfile::ParseError error;
    ASSERT_TRUE(platform::regfile::parse(readBytes(hive), u"HKEY_LOCAL_MACHINE", current, error));
    current.createKey(kTrawlixKey).setValue({"FromParent", platform::regfile::ValueType::String, "A", 0});
    ASSERT_TRUE(platform::WriteFileAtomically(hive, platform::regfile::serialize(current, u"HKEY_LOCAL_MACHINE")).ok());
    lock.release();

    ASSERT_EQ(child.wait(), 0);
    TRegistry reg = openTrawlix();
    EXPECT_EQ(reg.ReadString("FromParent"), "A") << "the waiting writer read the hive again under the lock";
    EXPECT_EQ(reg.ReadString("FromChild"), "B");
}

TEST(Registry, ConcurrentWritersInTwoProcessesLoseNoValue)
{
    (void)openTrawlix();
    constexpr int kValuesEach = 40;
    auto writer = [](char who) {
        return [who] {
            TRegistry reg;
            reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
            if (!reg.OpenKey(kTrawlixKey, false))
                return 1;
            for (int i = 0; i < kValuesEach; ++i) {
                reg.WriteInteger(QStringLiteral("%1%2").arg(who).arg(i), i);
                reg.WriteString(QStringLiteral("Shared"), QString(who));
            }
            return 0;
        };
    };
    testsupport::ChildProcess first(writer('a'));
    testsupport::ChildProcess second(writer('b'));
    ASSERT_EQ(first.wait(), 0);
    ASSERT_EQ(second.wait(), 0);

    TRegistry reg = openTrawlix();
    for (char who : {'a', 'b'}) {
        for (int i = 0; i < kValuesEach; ++i) {
            const QString name = QStringLiteral("%1%2").arg(who).arg(i);
            ASSERT_TRUE(reg.ValueExists(name)) << name.toStdString();
            EXPECT_EQ(reg.ReadInteger(name), i);
        }
    }
    EXPECT_EQ(reg.GetValueNames().size(), 2 * kValuesEach + 1);
    EXPECT_TRUE(leftoverTemporaries("HKEY_LOCAL_MACHINE").isEmpty());
}

// --- crashes ---

TEST(Registry, CrashBetweenTemporaryFileAndRenameLeavesTheOldHiveWhole)
{
    TRegistry reg = openTrawlix();
    reg.WriteString("Edit8", "old");
    const QString hive = hivePath("HKEY_LOCAL_MACHINE");
    const QByteArray before = readBytes(hive);
    // What a writer killed after writing its temporary file and before the rename leaves.
    const QString temporary = hive + ".tmp-Ab12Cd";
    writeBytes(temporary, before.left(before.size() / 2));

    TRegistry next = openTrawlix();
    EXPECT_EQ(next.ReadString("Edit8"), "old");
    EXPECT_EQ(readBytes(hive), before);
    next.WriteString("Edit8", "new");
    EXPECT_EQ(next.ReadString("Edit8"), "new");
    EXPECT_FALSE(QFileInfo::exists(temporary)) << "the next writer clears what the crash left";
}

TEST(Registry, KillingAWriterAtAnyMomentLosesNoCompletedWrite)
{
    (void)openTrawlix();
    std::mt19937 random(12345);
    int written = 0;
    int killsWithTemporaryLeft = 0;
    for (int round = 0; round < 12; ++round) {
        testsupport::SignalPipe acks;
        const int first = written;
        testsupport::ChildProcess child([&] {
            acks.closeReadEnd();
            TRegistry reg;
            reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
            if (!reg.OpenKey(kTrawlixKey, false))
                return 1;
            for (int i = first;; ++i) {
                reg.WriteInteger(QStringLiteral("V%1").arg(i), i);
                acks.send('w');
            }
        });
        acks.closeWriteEnd();
        const int wanted = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < wanted; ++i) {
            ASSERT_EQ(acks.receive(), 'w');
            ++written;
        }
        child.kill(SIGKILL);
        EXPECT_EQ(child.wait(), 128 + SIGKILL);
        while (acks.receive() == 'w')
            ++written; // writes completed before the kill landed
        if (!leftoverTemporaries("HKEY_LOCAL_MACHINE").isEmpty())
            ++killsWithTemporaryLeft;

        TRegistry reg = openTrawlix();
        for (int i = 0; i < written; ++i)
            ASSERT_TRUE(reg.ValueExists(QStringLiteral("V%1").arg(i))) << "round " << round << " lost V" << i;
    }
    ::testing::Test::RecordProperty("kills_that_left_a_temporary_file", killsWithTemporaryLeft);
    TRegistry reg = openTrawlix();
    reg.WriteString("after", "works");
    EXPECT_TRUE(leftoverTemporaries("HKEY_LOCAL_MACHINE").isEmpty());
}

} // namespace
