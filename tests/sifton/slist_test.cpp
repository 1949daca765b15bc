#include "sifton/slist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {


int Sign(int v)
{
    return (v > 0) - (v < 0);
}

std::vector<std::string> Texts(const TKvStringList& list)
{
    std::vector<std::string> texts;
    for (int i = 0; i < list.Count(); ++i)
        texts.push_back(list[i]);
    return texts;
}

TKvStringList ListOf(const std::vector<std::string>& texts)
{
    TKvStringList list;
    for (const auto& t : texts)
        list.Add(t);
    return list;
}

TEST(CompareKvStrings, FoldsAsciiLettersOnly)
{
    struct Case {
        std::string a;
        std::string b;
        int sign;
    };
    const Case cases[] = {
        {"abc", "ABC", 0},
        {"ab", "abc", -1},
        {"", "", 0},
        {"", "a", -1},
        {"_x", "ax", 1},   // '_' (95) against 'A' (65)
        {"[", "a", 1},     // '[' (91) against 'A' (65)
        {"{", "z", 1},     // '{' is no letter: 123 against 'Z' (90)
        {"@", "`", -1},    // neither is a letter
        {"\xe9", "z", 1},  // bytes compare unsigned
        {"\xe9", "\xc9", 1}, // and beyond ASCII nothing is folded
        {std::string("a\0b", 3), std::string("a\0c", 3), -1},
        {"http://A.com/X", "HTTP://a.COM/x", 0},
        {"abd", "ABC", 1},
        {"https://www.example.com/a", "https://www.example.com/b", -1},
        {"https://www.example.com/", "HTTPS://WWW.EXAMPLE.COM/", 0},
        {"https://www.example.com/x", "https://www.example.com/", 1},
        {"12345678abcdefgh_", "12345678ABCDEFGHa", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a + " vs " + c.b);
        EXPECT_EQ(Sign(CompareKvStrings(c.a, c.b)), c.sign);
        EXPECT_EQ(Sign(CompareKvStrings(c.b, c.a)), -c.sign);
    }
}

// The comparison byte by byte as the list defines it.
int ReferenceCompare(std::string_view a, std::string_view b)
{
    auto up = [](unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; };
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const int d = up(static_cast<unsigned char>(a[i])) - up(static_cast<unsigned char>(b[i]));
        if (d != 0)
            return d;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

TEST(CompareKvStrings, AgreesWithTheBytewiseDefinitionOnLongTexts)
{
    // Texts of up to 40 bytes that mostly share a prefix, with case flips and high bytes.
    std::mt19937 rng(9);
    const std::string alphabet = "aAbBzZ_[{@\x80\xff/.";
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> len(0, 40);
    for (int round = 0; round < 20000; ++round) {
        std::string a;
        for (int i = len(rng); i > 0; --i)
            a += alphabet[pick(rng)];
        std::string b = a;
        for (int flips = std::uniform_int_distribution<int>(0, 2)(rng); flips > 0 && !b.empty(); --flips)
            b[std::uniform_int_distribution<std::size_t>(0, b.size() - 1)(rng)] = alphabet[pick(rng)];
        if (round % 3 == 0)
            b.resize(std::uniform_int_distribution<std::size_t>(0, b.size())(rng));
        ASSERT_EQ(Sign(CompareKvStrings(a, b)), Sign(ReferenceCompare(a, b))) << a << " / " << b;
    }
}

TEST(TKvStringList, StartsEmptyWithItsFlags)
{
    TKvStringList list;
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(list.Descending);
    EXPECT_TRUE(list.RemoveBlankLinesOnSort);
    EXPECT_EQ(list.Text(), "");
}

TEST(TKvStringList, IndexedAccessAndObjects)
{
    TKvStringList list;
    EXPECT_EQ(list.Add("one", 1), 0);
    EXPECT_EQ(list.Add("three", INT32_MIN), 1);
    list.Insert(1, "two", INT32_MAX);
    list.Insert(0, "zero");
    list.Insert(4, "four", -7);
    ASSERT_EQ(Texts(list), (std::vector<std::string>{"zero", "one", "two", "three", "four"}));
    EXPECT_EQ(list.Objects(0), 0);
    EXPECT_EQ(list.Objects(2), INT32_MAX);
    EXPECT_EQ(list.Objects(3), INT32_MIN);
    EXPECT_EQ(list.Objects(4), -7);

    list.SetStrings(2, "TWO");
    list[3] = "THREE";
    list.SetObjects(0, 42);
    EXPECT_EQ(list.Strings(2), "TWO");
    EXPECT_EQ(list[3], "THREE");
    EXPECT_EQ(list.Objects(0), 42);

    list.Delete(0);
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"one", "TWO", "THREE", "four"}));
    EXPECT_EQ(list.Objects(1), INT32_MAX);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(TKvStringList, IndexOutsideTheListThrows)
{
    TKvStringList list = ListOf({"a", "b"});
    EXPECT_THROW((void)list.Strings(-1), std::out_of_range);
    EXPECT_THROW((void)list.Strings(2), std::out_of_range);
    EXPECT_THROW((void)list[2], std::out_of_range);
    EXPECT_THROW((void)list.Objects(2), std::out_of_range);
    EXPECT_THROW(list.SetObjects(-1, 1), std::out_of_range);
    EXPECT_THROW(list.SetStrings(5, "x"), std::out_of_range);
    EXPECT_THROW(list.Insert(3, "x"), std::out_of_range);
    EXPECT_THROW(list.Insert(-1, "x"), std::out_of_range);
    EXPECT_THROW(list.Delete(2), std::out_of_range);
    EXPECT_THROW(list.Delete(-1), std::out_of_range);
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"a", "b"})); // untouched
    TKvStringList empty;
    EXPECT_THROW((void)empty.Strings(0), std::out_of_range);
    EXPECT_THROW(empty.Delete(0), std::out_of_range);
}

TEST(TKvStringList, CapacityIsAHintNeverBelowCount)
{
    TKvStringList list;
    list.SetCapacity(32000);
    EXPECT_EQ(list.Capacity(), 32000);
    for (int i = 0; i < 5; ++i)
        list.Add("x");
    list.SetCapacity(3); // below Count: ignored
    EXPECT_EQ(list.Capacity(), 32000);
    EXPECT_EQ(list.Count(), 5);
}

TEST(TKvStringList, TextIsOneEntryPerLineEachEndedByCrLf)
{
    TKvStringList list = ListOf({"cats", "", " ", "dogs"});
    EXPECT_EQ(list.Text(), "cats\r\n\r\n \r\ndogs\r\n");
}

TEST(TKvStringList, SetTextSplitsAtEveryKindOfLineBreak)
{
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> entries;
    };
    const Case cases[] = {
        {"empty", "", {}},
        {"one line without break", "abc", {"abc"}},
        {"final break starts no entry", "abc\r\n", {"abc"}},
        {"CR LF", "a\r\nb\r\nc", {"a", "b", "c"}},
        {"LF", "a\nb\n", {"a", "b"}},
        {"lone CR", "a\rb", {"a", "b"}},
        {"empty lines inside stay", "Cats\r\n\r\ndogs", {"Cats", "", "dogs"}},
        {"LF LF", "a\n\nb", {"a", "", "b"}},
        {"LF CR is two breaks", "a\n\rb", {"a", "", "b"}},
        {"only a break", "\r\n", {""}},
        {"two breaks", "\r\n\r\n", {"", ""}},
        {"blanks kept", "  \r\n x ", {"  ", " x "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TKvStringList list = ListOf({"old", "entries"});
        list.SetText(c.text);
        EXPECT_EQ(Texts(list), c.entries);
        for (int i = 0; i < list.Count(); ++i)
            EXPECT_EQ(list.Objects(i), 0);
    }
}

TEST(TKvStringList, TextRoundTrips)
{
    TKvStringList list = ListOf({"count", "hitbox", "", "referer", "stat", "track"});
    TKvStringList copy;
    copy.SetText(list.Text());
    EXPECT_EQ(Texts(copy), Texts(list));
}

// A filter list as the crawler sets it: lower-cased text, loaded, sorted.
TEST(TKvStringList, FilterListFromAMultiLineText)
{
    TKvStringList list;
    list.SetText("cats\r\n\r\ndogs");
    list.Sort();
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"cats", "dogs"}));
    EXPECT_EQ(list.Text(), "cats\r\ndogs\r\n");
}

struct FindCase {
    const char* name;
    std::vector<std::string> before;
    std::string key;
    bool add;
    bool result;
    int found;
    int insert;
    std::vector<std::string> after;
};

TEST(TKvStringList, FindReportsFoundAndInsertIndexes)
{
    const FindCase cases[] = {
        {"missing in the middle", {"a", "c"}, "b", false, false, -1, 1, {"a", "c"}},
        {"missing, added", {"a", "c"}, "b", true, false, -1, 1, {"a", "b", "c"}},
        {"found regardless of case", {"abc"}, "ABC", true, true, 0, -1, {"abc"}},
        {"empty list", {}, "key", false, false, -1, 0, {}},
        {"empty list, added", {}, "key", true, false, -1, 0, {"key"}},
        {"before all", {"b", "c", "d"}, "A", true, false, -1, 0, {"A", "b", "c", "d"}},
        {"after all", {"b", "c", "d"}, "E", true, false, -1, 3, {"b", "c", "d", "E"}},
        {"prefix sorts first", {"ab", "abc"}, "a", false, false, -1, 0, {"ab", "abc"}},
        {"longer sorts later", {"ab", "abd"}, "abc", false, false, -1, 1, {"ab", "abd"}},
        {"underscore after letters", {"ax", "bx"}, "_x", false, false, -1, 2, {"ax", "bx"}},
        {"empty key", {"a", "b"}, "", true, false, -1, 0, {"", "a", "b"}},
        {"last of many", {"a", "b", "c", "d", "e", "f", "g"}, "G", false, true, 6, -1,
         {"a", "b", "c", "d", "e", "f", "g"}},
        {"first of many", {"a", "b", "c", "d", "e", "f", "g"}, "a", false, true, 0, -1,
         {"a", "b", "c", "d", "e", "f", "g"}},
        // Equal entries: the halving search stops at the first probe that matches.
        {"equal entries: the middle one", {"x", "X", "x"}, "x", false, true, 1, -1,
         {"x", "X", "x"}},
    };
    for (const FindCase& c : cases) {
        SCOPED_TRACE(c.name);
        TKvStringList list = ListOf(c.before);
        int found = 123;
        int insert = 456;
        EXPECT_EQ(list.Find(c.key, found, insert, c.add), c.result);
        EXPECT_EQ(found, c.found);
        EXPECT_EQ(insert, c.insert);
        EXPECT_EQ(Texts(list), c.after);
        if (!c.result && c.add) {
            EXPECT_EQ(list.Objects(c.insert), 0);
        }
    }
}

TEST(TKvStringList, FindMirrorsEveryComparisonWhenDescending)
{
    const FindCase cases[] = {
        {"missing in the middle", {"c", "a"}, "b", true, false, -1, 1, {"c", "b", "a"}},
        {"before all", {"c", "b"}, "D", true, false, -1, 0, {"D", "c", "b"}},
        {"after all", {"c", "b"}, "a", true, false, -1, 2, {"c", "b", "a"}},
        {"found", {"c", "b", "a"}, "A", true, true, 2, -1, {"c", "b", "a"}},
        {"longer sorts first", {"abd", "ab"}, "abc", false, false, -1, 1, {"abd", "ab"}},
    };
    for (const FindCase& c : cases) {
        SCOPED_TRACE(c.name);
        TKvStringList list = ListOf(c.before);
        list.Descending = true;
        int found = 0;
        int insert = 0;
        EXPECT_EQ(list.Find(c.key, found, insert, c.add), c.result);
        EXPECT_EQ(found, c.found);
        EXPECT_EQ(insert, c.insert);
        EXPECT_EQ(Texts(list), c.after);
    }
}

TEST(TKvStringList, FindKeepsObjectsOfTheEntriesItMoves)
{
    TKvStringList list;
    list.Add("a", 1);
    list.Add("c", 3);
    int found = 0;
    int insert = 0;
    ASSERT_FALSE(list.Find("b", found, insert, true));
    list.SetObjects(insert, 2);
    EXPECT_EQ(list.Objects(0), 1);
    EXPECT_EQ(list.Objects(1), 2);
    EXPECT_EQ(list.Objects(2), 3);
}

TEST(TKvStringList, SortRemovesEmptyEntriesAndIgnoresCase)
{
    TKvStringList list = ListOf({"b", "", "A", "a"});
    list.Sort();
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(CompareKvStrings(list[0], "a"), 0);
    EXPECT_EQ(CompareKvStrings(list[1], "a"), 0);
    EXPECT_EQ(list[2], "b");
}

TEST(TKvStringList, SortKeepsBlankEntriesWhenAsked)
{
    TKvStringList list = ListOf({"b", "", " ", "a", ""});
    list.RemoveBlankLinesOnSort = false;
    list.Sort();
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"", "", " ", "a", "b"}));
}

TEST(TKvStringList, SortDescending)
{
    TKvStringList list = ListOf({"b", "D", "a", "c", ""});
    list.Descending = true;
    list.Sort();
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"D", "c", "b", "a"}));
}

TEST(TKvStringList, PRemoveBlankLinesRemovesOnlyEmptyEntries)
{
    TKvStringList list;
    list.Add("", 1);
    list.Add(" ", 2);
    list.Add("x", 3);
    list.Add("", 4);
    list.Add("\t", 5);
    list.PRemoveBlankLines();
    ASSERT_EQ(Texts(list), (std::vector<std::string>{" ", "x", "\t"}));
    EXPECT_EQ(list.Objects(0), 2);
    EXPECT_EQ(list.Objects(1), 3);
    EXPECT_EQ(list.Objects(2), 5);
}

// Sorting large inputs of the shapes that break naive quicksorts (quadratic time or a deep
// stack) must finish and give a sorted permutation with every object still on its text.
TEST(TKvStringList, SortHandlesAdversarialShapesAndCarriesObjects)
{
    constexpr int n = 200000;
    auto key = [](int i) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "k%08d", i);
        return std::string(buf);
    };
    struct Shape {
        const char* name;
        std::function<std::string(int)> text;
    };
    const Shape shapes[] = {
        {"ascending", [&](int i) { return key(i); }},
        {"descending", [&](int i) { return key(n - i); }},
        {"all equal, mixed case", [](int i) { return std::string(i % 2 ? "SAME" : "same"); }},
        {"organ pipe", [&](int i) { return key(i < n / 2 ? i : n - i); }},
        {"few distinct", [&](int i) { return key(i % 3); }},
        {"random", [&](int i) { return key(static_cast<int>((i * 2654435761u) % n)); }},
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        TKvStringList list;
        std::vector<std::pair<std::string, int32_t>> expected;
        for (int i = 0; i < n; ++i) {
            const std::string t = shape.text(i);
            list.Add(t, i);
            expected.emplace_back(t, i);
        }
        list.Sort();
        ASSERT_EQ(list.Count(), n);
        std::vector<std::pair<std::string, int32_t>> got;
        for (int i = 0; i < n; ++i) {
            if (i > 0) {
                ASSERT_LE(CompareKvStrings(list[i - 1], list[i]), 0) << "at " << i;
            }
            got.emplace_back(list[i], list.Objects(i));
        }
        std::sort(expected.begin(), expected.end());
        std::sort(got.begin(), got.end());
        EXPECT_TRUE(got == expected);
    }
}

// ---- The list against a plain std::vector model over random operations ------------------

using Model = std::vector<std::pair<std::string, int32_t>>;

// Random keys from a small alphabet in random case, so that hits and case-only
// differences are frequent.
std::string RandomKey(std::mt19937& rng)
{
    static const char letters[] = "abcdeABCDE_/.0";
    std::uniform_int_distribution<int> len(0, 6);
    std::uniform_int_distribution<int> pick(0, sizeof letters - 2);
    std::string key;
    for (int i = len(rng); i > 0; --i)
        key += letters[pick(rng)];
    return key;
}

void ExpectSame(const TKvStringList& list, const Model& model)
{
    ASSERT_EQ(list.Count(), static_cast<int>(model.size()));
    for (int i = 0; i < list.Count(); ++i) {
        ASSERT_EQ(list[i], model[static_cast<std::size_t>(i)].first) << "at " << i;
        ASSERT_EQ(list.Objects(i), model[static_cast<std::size_t>(i)].second) << "at " << i;
    }
}

class SortedListModel : public ::testing::TestWithParam<bool> {};

// The list kept in order through Find with insertion, with deletes, in-order inserts and
// object changes in between: every Find must agree with std::lower_bound on the model.
TEST_P(SortedListModel, FindAgreesWithLowerBound)
{
    const bool descending = GetParam();
    auto less = [descending](const auto& entry, const std::string& key) {
        const int c = CompareKvStrings(entry.first, key);
        return descending ? c > 0 : c < 0;
    };
    std::mt19937 rng(descending ? 7 : 11);
    TKvStringList list;
    list.Descending = descending;
    Model model;
    int hits = 0;
    std::size_t largest = 0;
    for (int op = 0; op < 12000; ++op) {
        SCOPED_TRACE(op);
        // Grow to a few thousand entries (several inner blocks), shrink to nothing, grow again.
        const bool shrinking = (op / 4000) % 2 == 1;
        const int action = std::uniform_int_distribution<int>(0, 9)(rng);
        if (!model.empty() && action < (shrinking ? 7 : 1)) {
            const auto at = std::uniform_int_distribution<std::size_t>(0, model.size() - 1)(rng);
            list.Delete(static_cast<int>(at));
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
        } else if (!model.empty() && action == 9) {
            const auto at = std::uniform_int_distribution<std::size_t>(0, model.size() - 1)(rng);
            list.SetObjects(static_cast<int>(at), op);
            model[at].second = op;
        } else {
            const std::string key = RandomKey(rng) + RandomKey(rng);
            const auto lb = std::lower_bound(model.begin(), model.end(), key, less);
            const bool present = lb != model.end() && CompareKvStrings(lb->first, key) == 0;
            const int at = static_cast<int>(lb - model.begin());
            if (action == 8 && !present) {
                // An insert at an arbitrary index that happens to keep the order.
                list.Insert(at, key, -op);
                model.insert(lb, {key, -op});
            } else {
                const bool add = action != 7;
                int found = 0;
                int insert = 0;
                ASSERT_EQ(list.Find(key, found, insert, add), present);
                if (present) {
                    ++hits;
                    EXPECT_EQ(found, at);
                    EXPECT_EQ(insert, -1);
                } else {
                    EXPECT_EQ(found, -1);
                    EXPECT_EQ(insert, at);
                    if (add)
                        model.insert(lb, {key, 0});
                }
            }
        }
        largest = std::max(largest, model.size());
        if (op % 25 == 0)
            ExpectSame(list, model);
    }
    ExpectSame(list, model);
    EXPECT_GT(hits, 100);      // the key mix does exercise found keys
    EXPECT_GT(largest, 2000u); // and lists of many inner blocks
}

INSTANTIATE_TEST_SUITE_P(AscendingAndDescending, SortedListModel, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Descending" : "Ascending"; });

// The halving search exactly as the list defines it, on the model.
void ModelFind(const Model& model, const std::string& key, bool descending, int& found,
               int& insert)
{
    found = -1;
    insert = -1;
    if (model.empty()) {
        insert = 0;
        return;
    }
    std::function<void(int, int)> search = [&](int lo, int hi) {
        found = -1;
        const int mid = (lo + hi) / 2;
        int c = CompareKvStrings(model[static_cast<std::size_t>(mid)].first, key);
        if (descending)
            c = -c;
        if (c < 0) {
            if (mid < hi)
                search(mid + 1, hi);
            else
                insert = mid + 1;
        } else if (c == 0) {
            found = mid;
        } else {
            if (lo < mid)
                search(lo, mid - 1);
            else
                insert = mid;
        }
    };
    search(0, static_cast<int>(model.size()) - 1);
}

// Inserts and deletes at arbitrary indexes leave the list unsorted; Find must still probe
// exactly the entries the halving search defines, which checks the index mapping of the
// inner blocks as they split and merge.
TEST(TKvStringList, ArbitraryEditsMatchTheModelAndTheDefinedSearch)
{
    std::mt19937 rng(3);
    TKvStringList list;
    Model model;
    std::size_t largest = 0;
    for (int op = 0; op < 12000; ++op) {
        SCOPED_TRACE(op);
        const bool shrinking = (op / 4000) % 2 == 1;
        const int action = std::uniform_int_distribution<int>(0, 9)(rng);
        if (!model.empty() && action < (shrinking ? 7 : 1)) {
            const auto at = std::uniform_int_distribution<std::size_t>(0, model.size() - 1)(rng);
            list.Delete(static_cast<int>(at));
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
        } else if (action < 8 || model.empty()) {
            const auto at = std::uniform_int_distribution<std::size_t>(0, model.size())(rng);
            const std::string key = RandomKey(rng);
            if (at == model.size() && action % 2 == 0) {
                EXPECT_EQ(list.Add(key, op), static_cast<int>(at));
            } else {
                list.Insert(static_cast<int>(at), key, op);
            }
            model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), {key, op});
        } else if (action == 8) {
            const auto at = std::uniform_int_distribution<std::size_t>(0, model.size() - 1)(rng);
            const std::string key = RandomKey(rng);
            list.SetStrings(static_cast<int>(at), key);
            model[at].first = key;
        } else {
            const bool descending = std::uniform_int_distribution<int>(0, 1)(rng) == 1;
            list.Descending = descending;
            const std::string key = RandomKey(rng);
            int found = 0;
            int insert = 0;
            int modelFound = 0;
            int modelInsert = 0;
            ModelFind(model, key, descending, modelFound, modelInsert);
            EXPECT_EQ(list.Find(key, found, insert, false), modelFound != -1);
            EXPECT_EQ(found, modelFound);
            EXPECT_EQ(insert, modelInsert);
        }
        largest = std::max(largest, model.size());
        if (op % 10 == 0)
            ExpectSame(list, model);
    }
    ExpectSame(list, model);
    EXPECT_GT(largest, 2000u);
}

// A visited list built through Find with insertion from keys in random order is sorted,
// and every key is then found at its own index.
TEST(TKvStringList, VisitedListBuiltByFindIsSortedAndComplete)
{
    constexpr int n = 30000;
    std::vector<std::string> keys;
    for (int i = 0; i < n; ++i)
        keys.push_back("http://host" + std::to_string(i % 97) + ".example/p/" + std::to_string(i));
    std::shuffle(keys.begin(), keys.end(), std::mt19937(5));
    TKvStringList list;
    list.SetCapacity(32000);
    int found = 0;
    int insert = 0;
    for (const auto& k : keys)
        ASSERT_FALSE(list.Find(k, found, insert, true));
    ASSERT_EQ(list.Count(), n);
    for (int i = 1; i < n; ++i)
        ASSERT_LT(CompareKvStrings(list[i - 1], list[i]), 0) << "at " << i;
    for (int i = 0; i < n; i += 7) {
        std::string upper = list[i];
        std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
        ASSERT_TRUE(list.Find(upper, found, insert, true));
        ASSERT_EQ(found, i);
    }
    EXPECT_EQ(list.Count(), n);
    // Sorting an already sorted list keeps it as it is.
    const std::string before = list.Text();
    list.Sort();
    EXPECT_EQ(list.Text(), before);
}

} // namespace
