#include "sifton/tools.h"

#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QDir>

#include <ctime>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// ---- URL, path and character helpers -------------------------------------------------------

TEST(LastChar, PositionOfTheLastOccurrence)
{
    EXPECT_EQ(LastChar('/', ""), 0);
    EXPECT_EQ(LastChar('/', "/"), 1);
    EXPECT_EQ(LastChar('/', "/a/b"), 3);
    EXPECT_EQ(LastChar('.', "abc"), 0);
    EXPECT_EQ(LastChar('\0', std::string_view("a\0b", 3)), 2);
}

TEST(ReplaceChars, ReplaceEveryOccurrenceInPlace)
{
    std::string text = "a:b:c";
    ReplaceCharInString(':', '.', text);
    EXPECT_EQ(text, "a.b.c");
    std::string empty;
    ReplaceCharInString(':', '.', empty);
    EXPECT_EQ(empty, "");

    std::string name = "h/a:b|c=d*e;f,g<h>i";
    ReplaceCharsInString(name, "|=*:;,<>", '$');
    EXPECT_EQ(name, "h/a$b$c$d$e$f$g$h$i");
    std::string untouched = "abc";
    ReplaceCharsInString(untouched, "", '$');
    EXPECT_EQ(untouched, "abc");
}

TEST(CreatePathFromUrl, FilePathOfAUrlUnderARoot)
{
    struct Case {
        const char *root;
        const char *hostAndPath;
        const char *expected;
    };
    const Case cases[] = {
        {"/tmp/dl", "pics.example.com/a/b/", "/tmp/dl/pics.example.com/a/b/index.html"},
        {"/tmp/dl", "pics.example.com/", "/tmp/dl/pics.example.com/index.html"},
        {"/tmp/dl", "pics.example.com/a/pic.jpg", "/tmp/dl/pics.example.com/a/pic.jpg"},
        {"/tmp/dl/", "host/", "/tmp/dl/host/index.html"},
        {"/tmp/dl", "host", "/tmp/dl/host/index.html"},
        {"/tmp/dl/", "host", "/tmp/dl/host/index.html"},
        // A backslash is an ordinary character of a Linux file name.
        {"/tmp/dl", "host/a\\..\\b.jpg", "/tmp/dl/host/a\\..\\b.jpg"},
        // Dot segments never lead out of the host folder.
        {"/tmp/dl", "host/./a/./b.jpg", "/tmp/dl/host/a/b.jpg"},
        {"/tmp/dl", "host/a/../b.jpg", "/tmp/dl/host/b.jpg"},
        {"/tmp/dl", "host/../../../etc/passwd", "/tmp/dl/host/etc/passwd"},
        {"/tmp/dl", "host/a/..", "/tmp/dl/host/index.html"},
        {"/tmp/dl", "host/..", "/tmp/dl/host/index.html"},
        {"/tmp/dl", "../x", "/tmp/dl/__/x"},
        {"/tmp/dl", "..", "/tmp/dl/__/index.html"},
        {"/tmp/dl", "./", "/tmp/dl/_/index.html"},
        // Names that only look like dot segments are kept.
        {"/tmp/dl", "host/...jpg/..a", "/tmp/dl/host/...jpg/..a"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.root) + " + " + c.hostAndPath);
        EXPECT_EQ(CreatePathFromUrl(c.root, c.hostAndPath), c.expected);
    }
}

TEST(CreatePathFromUrl, AssignVariantReusesTheResult)
{
    std::string result = "old text that is replaced";
    AssignPathFromUrl(result, "/r", "h/a.jpg");
    EXPECT_EQ(result, "/r/h/a.jpg");
}

TEST(CreateSubFilePathFromUrl, RelativePathWithUnsafeCharactersReplaced)
{
    struct Case {
        const char *url;
        const char *expected;
    };
    const Case cases[] = {
        {"http://pics.example.com/a/b.jpg?x=1", "pics.example.com/a/b.jpg"},
        {"http://h/a:b|c", "h/a$b$c"},
        {"pics.example.com/a", ""},
        {"http://h/a#frag?x", "h/a"},
        {"http://h/a?x#frag", "h/a"},
        {"http://user:pw@h:81/a;b,c<d>e=f*g", "user$pw@h$81/a$b$c$d$e$f$g"},
        {"http://h/dir/", "h/dir/"},
        {"http://h/../../etc/passwd", "h/etc/passwd"},
        {"http://h/a/./b/../c", "h/a/c"},
        {"//", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(CreateSubFilePathFromUrl(c.url), c.expected);
    }
}

class TreeTest : public ::testing::Test {
protected:
    std::string root = testenv::root().toStdString() + "/tree";
};

TEST_F(TreeTest, CreatesMissingLevelsAndReturnsTheFolder)
{
    const std::string file = root + "/dl/host/img.jpg";
    EXPECT_EQ(CreateandReturnTreeFromFilePath(file), root + "/dl/host");
    EXPECT_TRUE(IsDirectory(root + "/dl/host"));
    EXPECT_FALSE(IsDirectory(file)); // the file itself is not made
    // Existing levels are left alone: a file in them survives.
    { std::ofstream(root + "/dl/host/keep.txt") << "x"; }
    EXPECT_EQ(CreateandReturnTreeFromFilePath(root + "/dl/host/sub/a.jpg"), root + "/dl/host/sub");
    EXPECT_TRUE(std::ifstream(root + "/dl/host/keep.txt").good());
    EXPECT_TRUE(IsDirectory(root + "/dl/host/sub"));
}

TEST_F(TreeTest, ReturnsTheFolderEvenWhenCreationFails)
{
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(root)));
    { std::ofstream(root + "/blocker") << "a file where a folder should be"; }
    EXPECT_EQ(CreateandReturnTreeFromFilePath(root + "/blocker/sub/f.jpg"), root + "/blocker/sub");
    EXPECT_FALSE(IsDirectory(root + "/blocker/sub"));
}

TEST_F(TreeTest, PathsWithoutAFolderPart)
{
    const std::string cwd = testenv::root().toStdString() + "/cwd";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(cwd)));
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(cwd.c_str()), 0);
    EXPECT_EQ(CreateandReturnTreeFromFilePath("file.jpg"), "");
    EXPECT_EQ(CreateandReturnTreeFromFilePath("/file.jpg"), "");
    EXPECT_EQ(CreateandReturnTreeFromFilePath(""), "");
    // A relative folder is made under the current folder.
    EXPECT_EQ(CreateandReturnTreeFromFilePath("rel/f.jpg"), "rel");
    EXPECT_TRUE(IsDirectory(cwd + "/rel"));
    ASSERT_EQ(chdir(previous), 0);
}

TEST_F(TreeTest, IsDirectoryOnlyForFolders)
{
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(root)));
    { std::ofstream(root + "/plain") << "x"; }
    ASSERT_EQ(symlink((root).c_str(), (root + "/link").c_str()), 0);
    EXPECT_TRUE(IsDirectory(root));
    EXPECT_TRUE(IsDirectory(root + "/"));
    EXPECT_TRUE(IsDirectory(root + "/link"));
    EXPECT_FALSE(IsDirectory(root + "/plain"));
    EXPECT_FALSE(IsDirectory(root + "/missing"));
    EXPECT_FALSE(IsDirectory(""));
}

TEST(CreateFileNameFromNow, DateAndTimeName)
{
    std::tm t{};
    t.tm_year = 2001 - 1900;
    t.tm_mon = 4;
    t.tm_mday = 31;
    t.tm_hour = 14;
    t.tm_min = 22;
    t.tm_sec = 5;
    EXPECT_EQ(CreateFileNameFromTime(t), "2001-05-31_14.22.05.txt");
    t.tm_mon = 0;
    t.tm_mday = 2;
    t.tm_hour = 3;
    t.tm_min = 4;
    t.tm_sec = 9;
    EXPECT_EQ(CreateFileNameFromTime(t), "2001-01-02_03.04.09.txt");

    // The current time in the same form, and the same local date as the clock gives.
    const std::string name = CreateFileNameFromNow();
    // Same shape as "2001-05-31_14.22.05.txt": digits everywhere but at the separators.
    const std::string shape = "dddd-dd-dd_dd.dd.dd.txt";
    ASSERT_EQ(name.size(), shape.size()) << name;
    for (size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == 'd')
            EXPECT_TRUE(name[i] >= '0' && name[i] <= '9') << name;
        else
            EXPECT_EQ(name[i], shape[i]) << name;
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char year[8];
    std::strftime(year, sizeof year, "%Y", &local);
    EXPECT_EQ(name.substr(0, 4), year);
}

// ---- end of URL, path and character helpers ------------------------------------------------

} // namespace
