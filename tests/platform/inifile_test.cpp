#include "platform/inifile.h"
#include "tests/support/childprocess.h"
#include "tests/support/testenv.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

using platform::IniFileError;
using platform::TIniFile;

QString iniPath()
{
    return testenv::root() + QStringLiteral("/version.ini");
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// A version file as the update server might send it, written on Windows.
const QByteArray kVersionFile =
    "; offered versions\r\n"
    "[Trawlix]\r\n"
    "VersionInt=105\r\n"
    "Version = 1.05 \r\n"
    "Date=\"2003-05-01\"\r\n"
    "Description=  Faster downloads; fewer crashes  \r\n"
    "\r\n"
    "[ glimmo ]\r\n"
    "versionint = 0x6A\r\n"
    "Version=\r\n"
    "VersionInt=999\r\n"
    "[Trawlix]\r\n"
    "Later=ignored\r\n";

TEST(IniFile, ReadsTheUsualIniRules)
{
    writeBytes(iniPath(), kVersionFile);
    const TIniFile ini(iniPath());
    EXPECT_EQ(ini.ReadInteger("Trawlix", "VersionInt", 100), 105);
    EXPECT_EQ(ini.ReadString("TRAWLIX", "version", ""), "1.05") << "names case-insensitive, values trimmed";
    EXPECT_EQ(ini.ReadString("Trawlix", "Date", ""), "2003-05-01") << "one pair of enclosing quotes goes";
    EXPECT_EQ(ini.ReadString("Trawlix", "Description", ""), "Faster downloads; fewer crashes")
        << "a ; inside a value is not a comment";
    EXPECT_EQ(ini.ReadInteger("Glimmo", "VersionInt", 100), 0x6A) << "trimmed section name; first key wins";
    EXPECT_EQ(ini.ReadString("Glimmo", "Version", "default"), "") << "an empty value is a value";
    EXPECT_EQ(ini.ReadString("Trawlix", "Later", "first section only"), "first section only");
    EXPECT_EQ(ini.ReadString("Trawlix", "; offered versions", "none"), "none");
}

TEST(IniFile, MissingFileSectionOrKeyGivesTheDefault)
{
    const TIniFile absent(testenv::root() + "/nothing.ini");
    EXPECT_EQ(absent.ReadInteger("Trawlix", "VersionInt", 100), 100);
    EXPECT_EQ(absent.ReadString("Trawlix", "Version", ""), "");
    EXPECT_FALSE(absent.SectionExists("Trawlix"));
    EXPECT_TRUE(absent.ReadSections().isEmpty());

    writeBytes(iniPath(), kVersionFile);
    const TIniFile ini(iniPath());
    EXPECT_EQ(ini.ReadInteger("Nope", "VersionInt", 100), 100);
    EXPECT_EQ(ini.ReadInteger("Trawlix", "Nope", -7), -7);
    EXPECT_FALSE(ini.ValueExists("Trawlix", "Nope"));
    EXPECT_TRUE(ini.ValueExists("trawlix", "DATE"));
}

TEST(IniFile, IntegerTexts)
{
    const struct {
        const char *text;
        int32_t expected; // 555 is the default, given for a text that is not a number
    } cases[] = {
        {"105", 105}, {" 42 ", 42}, {"-3", -3}, {"+8", 8}, {"0x1F", 31}, {"$ff", 255},
        {"0xFFFFFFFF", -1}, {"2147483647", 2147483647}, {"-2147483648", INT32_MIN},
        {"2147483648", 555}, {"0x100000000", 555}, {"105abc", 555}, {"1.5", 555}, {"", 555},
        {"0x", 555}, {"abc", 555}, {"--1", 555}, {"٣", 555},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        writeBytes(iniPath(), QByteArray("[s]\nk=") + c.text + "\n");
        EXPECT_EQ(TIniFile(iniPath()).ReadInteger("s", "k", 555), c.expected);
    }
}

TEST(IniFile, BooleansAreIntegers)
{
    writeBytes(iniPath(), "[s]\non=1\noff=0\nother=7\ntext=yes\n");
    const TIniFile ini(iniPath());
    EXPECT_TRUE(ini.ReadBool("s", "on", false));
    EXPECT_FALSE(ini.ReadBool("s", "off", true));
    EXPECT_TRUE(ini.ReadBool("s", "other", false));
    EXPECT_TRUE(ini.ReadBool("s", "text", true)) << "not a number: the default";
    EXPECT_FALSE(ini.ReadBool("s", "missing", false));
}

TEST(IniFile, ListsSectionsAndKeysInFileOrderOnce)
{
    writeBytes(iniPath(), kVersionFile);
    const TIniFile ini(iniPath());
    EXPECT_EQ(ini.ReadSections(), QStringList({"Trawlix", "glimmo"}));
    EXPECT_EQ(ini.ReadSection("Glimmo"), QStringList({"versionint", "Version"}));
    EXPECT_TRUE(ini.SectionExists("GLIMMO"));
}

TEST(IniFile, WritesChangeOnlyTheirLinesAndKeepCommentsAndLineEnds)
{
    writeBytes(iniPath(), kVersionFile);
    TIniFile ini(iniPath());
    ini.WriteInteger("trawlix", "versionint", 106);
    ini.WriteString("Trawlix", "Added", "new");
    ini.WriteBool("Renovo", "Checked", true);
    QByteArray expected = kVersionFile;
    expected.replace("VersionInt=105\r\n", "VersionInt=106\r\n");
    expected.replace("Description=  Faster downloads; fewer crashes  \r\n",
                     "Description=  Faster downloads; fewer crashes  \r\nAdded=new\r\n");
    expected += "\r\n[Renovo]\r\nChecked=1\r\n";
    EXPECT_EQ(readBytes(iniPath()), expected);
    EXPECT_EQ(ini.ReadInteger("Trawlix", "VersionInt", 0), 106);
}

TEST(IniFile, ValuesThatTrimmingWouldChangeAreQuotedAndRoundTrip)
{
    const QString cases[] = {
        "  padded  ", "\"quoted\"", "'single'", "a=b", "; not a comment", "Grüße 日本", "", "[x]",
    };
    TIniFile ini(iniPath());
    for (const QString &value : cases) {
        SCOPED_TRACE(value.toStdString());
        ini.WriteString("s", "k", value);
        EXPECT_EQ(TIniFile(iniPath()).ReadString("s", "k", "default"), value);
    }
}

TEST(IniFile, RefusesWhatALineCannotHold)
{
    writeBytes(iniPath(), "[s]\nk=v\n");
    TIniFile ini(iniPath());
    const struct {
        const char *section, *key;
        QString value;
    } cases[] = {
        {"s", "k", "two\nlines"}, {"s", "k", "cr\rhere"}, {"s", "k", QString::fromUtf16(u"nul\0", 4)},
        {"s", "a=b", "v"}, {"s", "", "v"}, {"s", "[k", "v"}, {"a]b", "k", "v"}, {"", "k", "v"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.section) + " / " + c.key);
        EXPECT_THROW(ini.WriteString(c.section, c.key, c.value), IniFileError);
    }
    EXPECT_EQ(readBytes(iniPath()), "[s]\nk=v\n");
}

TEST(IniFile, EraseSectionAndDeleteKey)
{
    writeBytes(iniPath(), "[a]\nx=1\nx=2\ny=3\n\n[b]\nz=4\n[A]\nw=5\n");
    TIniFile ini(iniPath());
    ini.DeleteKey("a", "X");
    EXPECT_FALSE(ini.ValueExists("a", "x")) << "a second line of the key does not show through";
    EXPECT_EQ(ini.ReadInteger("a", "y", 0), 3);
    ini.EraseSection("A");
    EXPECT_EQ(ini.ReadSections(), QStringList({"b"})) << "every section of the name goes";
    EXPECT_EQ(readBytes(iniPath()), "[b]\nz=4\n");
    ini.DeleteKey("b", "z");
    EXPECT_FALSE(ini.SectionExists("b")) << "as in TIniFile, a section without keys does not exist";
    EXPECT_EQ(ini.ReadSections(), QStringList({"b"}));
}

TEST(IniFile, NonUtf8TextIsReadAsLatin1AndKeptOnRewrite)
{
    writeBytes(iniPath(), "[s]\nd=caf\xE9\nk=1\n");
    TIniFile ini(iniPath());
    EXPECT_EQ(ini.ReadString("s", "d", ""), QStringLiteral("café"));
    ini.WriteInteger("s", "k", 2);
    EXPECT_EQ(readBytes(iniPath()), "[s]\nd=caf\xE9\nk=2\n") << "untouched lines keep their bytes";
}

TEST(IniFile, UnreadableFileRaisesAnError)
{
    QDir().mkpath(iniPath());
    const TIniFile ini(iniPath());
    EXPECT_THROW((void)ini.ReadString("s", "k", ""), IniFileError);
}

TEST(IniFile, FailedWriteRaisesAndKeepsTheOldFile)
{
    TIniFile inMissingFolder(testenv::root() + "/no/such/folder/x.ini");
    EXPECT_THROW(inMissingFolder.WriteString("s", "k", "v"), IniFileError);

    writeBytes(iniPath(), kVersionFile);
    ::chmod(QFile::encodeName(iniPath()).constData(), 0640);
    testsupport::ChildProcess child([] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit small{static_cast<rlim_t>(kVersionFile.size()) + 8, static_cast<rlim_t>(kVersionFile.size()) + 8};
        if (::setrlimit(RLIMIT_FSIZE, &small) != 0)
            return 90;
        try {
            TIniFile(iniPath()).WriteString("Trawlix", "Description", QString(500, u'd'));
            return 1;
        } catch (const IniFileError &) {
            return 0;
        }
    });
    EXPECT_EQ(child.wait(), 0);
    EXPECT_EQ(readBytes(iniPath()), kVersionFile);
    EXPECT_TRUE(QDir(testenv::root()).entryList({"version.ini.tmp-*"}, QDir::Files).isEmpty());

    TIniFile(iniPath()).WriteString("Trawlix", "Date", "2004");
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(iniPath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u) << "a rewrite keeps the file's permissions";
}

TEST(IniFile, WritersInTwoProcessesLoseNothing)
{
    constexpr int kEach = 25;
    auto writer = [](const char *section) {
        return [section] {
            TIniFile ini(iniPath());
            for (int i = 0; i < kEach; ++i)
                ini.WriteInteger(section, QStringLiteral("k%1").arg(i), i);
            return 0;
        };
    };
    testsupport::ChildProcess first(writer("one"));
    testsupport::ChildProcess second(writer("two"));
    ASSERT_EQ(first.wait(), 0);
    ASSERT_EQ(second.wait(), 0);
    const TIniFile ini(iniPath());
    for (const char *section : {"one", "two"}) {
        EXPECT_EQ(ini.ReadSection(section).size(), kEach) << section;
        for (int i = 0; i < kEach; ++i)
            EXPECT_EQ(ini.ReadInteger(section, QStringLiteral("k%1").arg(i), -1), i);
    }
}

} // namespace
