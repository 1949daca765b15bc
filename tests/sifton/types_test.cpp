#include "sifton/types.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

namespace {


TEST(Types, HasExactly550RowsFromDollarsToZoo)
{
    EXPECT_EQ(TArrayTypes::size(), 550);
    EXPECT_EQ(Types.end() - Types.begin(), 550);
    EXPECT_EQ(Types[1].Extension, "$$$");
    EXPECT_EQ(Types[1].Description, "Used by OS/2 to keep track of archived files");
    EXPECT_EQ(Types[2].Extension, "@@@");
    EXPECT_EQ(Types[2].Description, "Screen files used in the installation and instruction on ");
    EXPECT_EQ(Types[550].Extension, "zoo");
    EXPECT_EQ(Types[550].Description, "An early compressed file format");
}

TEST(Types, RowsOutsideOneTo550Throw)
{
    EXPECT_THROW((void)Types[0], std::out_of_range);
    EXPECT_THROW((void)Types[551], std::out_of_range);
    EXPECT_THROW((void)Types[-1], std::out_of_range);
}

TEST(Types, RowsKeepTheirNumbersAndDescriptions)
{
    struct Row {
        int row;
        const char* extension;
        const char* description;
    };
    const Row rows[] = {
        {3, "123", "Lotus 123 97 file"},
        {39, "asf", "Microsoft Video for Windows movie"},
        {43, "avi", "Microsoft Video for Windows movie"},
        {54, "bk", "Sometimes used to denote backup versions"},
        {55, "bk$", "Also sometimes used to denote backup versions"},
        {56, "bks", "An IBM BookManager Read bookshelf"},
        {59, "bmp", "Windows or OS/2 bitmap"},
        {168, "exe", "Executable file (program)"},
        {203, "gif", "CompuServe bitmap"},
        {231, "ico", "Windows Icon"},
        {255, "jpeg", "JPEG bitmap"},
        {256, "jpg", "JPEG bitmap"},
        {279, "mail", "e-mail address"},
        {305, "mid", "MIDI music"},
        {309, "mov", "QuickTime for Windows movie"},
        {310, "mp3", "MPEG Audio Layer 3 (AC3)"},
        {311, "mpe", "MPEG animation"},
        {312, "mpeg", "MPEG animation"},
        {313, "mpg", "MPEG animation"},
        {353, "pcx", "ZSoft PC Paintbrush bitmap"},
        {362, "pic", "PC Paint bitmap / Lotus picture / Macintosh PICT drawing"},
        {373, "png", "Portable Network Graphics bitmap / Paint Shop Pro "},
        {387, "psd", "Adobe Photoshop bitmap"},
        {399, "qt", "QuickTime Movie"},
        {403, "ra", "Real Audio sound"},
        {404, "ram", "Real Audio sound"},
        {413, "rm", "Real Audio video file"},
        {452, "tga", "Targa bitmap"},
        {456, "tif", "Tag Image File Format (TIFF) bitmap"},
        {457, "tiff", "Tag Image File Format (TIFF) bitmap"},
        {467, "txt", "Text"},
        {486, "wav", "Windows Waveform sound"},
        {504, "wmf", "Windows Metafile"},
        {549, "zip", "Zip file"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.row);
        EXPECT_EQ(Types[r.row].Extension, r.extension);
        EXPECT_EQ(Types[r.row].Description, r.description);
    }
}

TEST(Types, ExtensionsAreWellFormedUniqueAndDescribed)
{
    std::set<std::string> seen;
    for (int row = 1; row <= 550; ++row) {
        SCOPED_TRACE(row);
        const auto ext = Types[row].Extension;
        ASSERT_GE(ext.size(), 1u);
        ASSERT_LE(ext.size(), 5u);
        if (ext != "$$$" && ext != "@@@" && ext != "bk$") {
            for (const char c : ext)
                EXPECT_TRUE((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) << ext;
        }
        EXPECT_TRUE(seen.insert(std::string(ext)).second) << "duplicate " << ext;
        EXPECT_FALSE(Types[row].Description.empty());
        EXPECT_LE(Types[row].Description.size(), 62u);
    }
}

TEST(Types, StoredOrderIsStrictlyAscending)
{
    for (int row = 2; row <= 550; ++row) {
        SCOPED_TRACE(row);
        EXPECT_LT(CompareTypeExtensions(Types[row - 1].Extension, Types[row].Extension), 0)
            << Types[row - 1].Extension << " / " << Types[row].Extension;
    }
}

TEST(Types, ComparisonIsByteOrderWithAtRightAfterDollar)
{
    struct Case {
        const char* a;
        const char* b;
        int sign;
    };
    const Case cases[] = {
        {"$$$", "@@@", -1}, {"@@@", "123", -1}, {"@@@", "abc", -1}, {"bk", "bk$", -1},
        {"bk$", "bks", -1}, {"jpeg", "jpg", -1}, {"tif", "tiff", -1}, {"zip", "zoo", -1},
        {"gif", "gif", 0},  {"JPG", "jpg", -1}, {"", "a", -1},      {"z", "", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        const int r = CompareTypeExtensions(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign);
        const int back = CompareTypeExtensions(c.b, c.a);
        EXPECT_EQ((back > 0) - (back < 0), -c.sign);
    }
}

TEST(QuickFindType, FindsEveryRowAtItsOwnNumber)
{
    for (int row = 1; row <= 550; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(QuickFindType(Types[row].Extension, 1, 550), row);
    }
}

TEST(QuickFindType, KnownAndUnknownExtensions)
{
    struct Case {
        const char* extension;
        int row;
    };
    const Case cases[] = {
        {"jpg", 256}, {"jpeg", 255}, {"gif", 203}, {"$$$", 1},  {"@@@", 2},    {"bk$", 55},
        {"zoo", 550}, {"JPG", -1},   {"Gif", -1},  {"html", -1}, {"htm", -1},   {"php", -1},
        {"", -1},     {"jp", -1},    {"jpgx", -1}, {"@", -1},    {"$$$$", -1},  {"zzz", -1},
        {"0", -1},    {"jpg ", -1},  {" jpg", -1}, {"bk$$", -1}, {"aaaaaa", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extension);
        EXPECT_EQ(QuickFindType(c.extension, 1, 550), c.row);
    }
}

TEST(QuickFindType, SearchesOnlyTheGivenRange)
{
    EXPECT_EQ(QuickFindType("gif", 200, 210), 203);
    EXPECT_EQ(QuickFindType("gif", 204, 550), -1);
    EXPECT_EQ(QuickFindType("gif", 1, 202), -1);
    EXPECT_EQ(QuickFindType("gif", 203, 203), 203);
    EXPECT_EQ(QuickFindType("gif", 210, 200), -1); // empty range
}

TEST(QuickFindType, RangeOutsideTheTableIsClippedNotRead)
{
    EXPECT_EQ(QuickFindType("zoo", 1, 100000), 550);
    EXPECT_EQ(QuickFindType("$$$", -100000, 550), 1);
    EXPECT_EQ(QuickFindType("zzz", 0, 2147483647), -1);
    EXPECT_EQ(QuickFindType("a", -2147483647 - 1, -5), -1);
}

TEST(QuickFindType, AnExtensionWithANulIsNotAPrefixMatch)
{
    EXPECT_EQ(QuickFindType(std::string_view("gif\0", 4), 1, 550), -1);
    EXPECT_EQ(QuickFindType(std::string_view("\0", 1), 1, 550), -1);
}

} // namespace
