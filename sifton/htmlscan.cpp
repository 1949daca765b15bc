#include "sifton/htmlscan.h"

#include <array>
#include <bit>

namespace {

[[nodiscard]] constexpr char UpCase(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

struct Pattern {
    std::string_view text;
    char marker;
};

// Searched in this order: when two patterns end on the same byte, the later marker stays
// ("BASE HREF=" overrides " HREF=").
constexpr std::array<Pattern, 14> kPatterns{{
    {" HREF=", MARK_HREF},
    {" SRC=", MARK_SRC},
    {"<A", MARK_AREA_OPEN},
    {"/A>", MARK_AREA_CLOSE},
    {"A/>", MARK_AREA_CLOSE},
    {"<FRAME", MARK_AREA_OPEN},
    {"</FRAME", MARK_AREA_CLOSE},
    {"OPENWIN( ", MARK_HREF},
    {"BASE HREF=", MARK_BASEHREF},
    {"<OPTION", MARK_AREA_OPEN},
    {"/OPTION>", MARK_AREA_CLOSE},
    {"<APPLET", MARK_AREA_OPEN},
    {"/APPLET>", MARK_AREA_CLOSE},
    {" VALUE=", MARK_VALUE},
}};

// For every byte (either case), the rows whose pattern starts with it. A row that has matched
// nothing yet can only move on such a byte, so each byte looks only at these rows and at the
// rows part way through a match; on most bytes that is no row at all.
constexpr std::array<uint32_t, 256> kRowsStartingWith = [] {
    std::array<uint32_t, 256> table{};
    for (size_t r = 0; r < kPatterns.size(); ++r) {
        const unsigned char first = static_cast<unsigned char>(kPatterns[r].text[0]);
        table[first] |= 1u << r;
        if (first >= 'A' && first <= 'Z')
            table[first - 'A' + 'a'] |= 1u << r;
    }
    return table;
}();

[[nodiscard]] bool ContainsUpperCased(std::string_view text, std::string_view upperNeedle)
{
    if (upperNeedle.size() > text.size())
        return false;
    for (size_t i = 0; i + upperNeedle.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < upperNeedle.size() && UpCase(text[i + k]) == upperNeedle[k])
            ++k;
        if (k == upperNeedle.size())
            return true;
    }
    return false;
}

} // namespace

void NormalizeMarkupInto(std::string &Result, std::string_view Text, bool QuotesToBlank, bool LineFeedToBlank)
{
    Result.clear();
    Result.reserve(Text.size());
    char previous = 'X';
    const size_t n = Text.size();
    for (size_t i = 0; i < n; ++i) {
        char c = Text[i];
        if (static_cast<unsigned char>(c) < 32) {
            if (c == '\n' && LineFeedToBlank)
                c = ' ';
            else
                continue;
        } else if (QuotesToBlank && (c == '"' || c == '\'' || c == ',')) {
            c = ' ';
        }
        if (c == ' ') {
            if (previous == '=')
                continue;
            // The look-ahead is at the input as received, before any conversion.
            if (i + 1 < n && (Text[i + 1] == ' ' || Text[i + 1] == '='))
                continue;
        }
        Result.push_back(c);
        previous = c;
    }
}

std::string NormalizeMarkup(std::string_view Text, bool QuotesToBlank, bool LineFeedToBlank)
{
    std::string result;
    NormalizeMarkupInto(result, Text, QuotesToBlank, LineFeedToBlank);
    return result;
}

bool LocalizeHrefSrc(std::string &Text)
{
    // Match index of each row: how many characters of its pattern have matched so far.
    std::array<uint8_t, kPatterns.size()> matched{};
    uint32_t partial = 0; // bit r set while row r has matched at least one character
    bool any = false;
    const size_t n = Text.size();
    for (size_t p = 0; p < n; ++p) {
        // Matching reads the byte before any marker is written at p, so markers never
        // disturb the search.
        const char c = UpCase(Text[p]);
        // Ascending row order, so that of two patterns ending here the later marker stays.
        uint32_t rows = partial | kRowsStartingWith[static_cast<unsigned char>(Text[p])];
        while (rows != 0) {
            const unsigned r = unsigned(std::countr_zero(rows));
            rows &= rows - 1;
            const std::string_view pattern = kPatterns[r].text;
            if (c == pattern[matched[r]]) {
                if (++matched[r] == pattern.size()) {
                    Text[p] = kPatterns[r].marker;
                    matched[r] = 0;
                    any = true;
                }
            } else {
                // The restart looks only at the pattern's first character.
                matched[r] = (c == pattern[0]) ? 1 : 0;
            }
            if (matched[r])
                partial |= 1u << r;
            else
                partial &= ~(1u << r);
        }
    }
    return any;
}

void KvSiftonPostLocalizeHrefSrc(std::string &Body_)
{
    bool open = false;
    for (size_t i = 0; i < Body_.size(); ++i) {
        const char c = Body_[i];
        if (c == MARK_AREA_OPEN) {
            if (!open) {
                open = true;
            } else if (i >= 2) {
                // Close the open area just before this one; the close marker is read next,
                // then this opening again.
                Body_[i - 1] = MARK_AREA_CLOSE;
                i -= 2;
            }
        } else if (c == MARK_AREA_CLOSE) {
            open = false;
        }
    }
}

bool IsPlainLink(std::string_view Link)
{
    return Link.find_first_of("()+[]") == std::string_view::npos;
}

bool IsPathValue(std::string_view Value)
{
    if (Value.find_first_of(" ;") != std::string_view::npos)
        return false;
    return Value.find('/') != std::string_view::npos;
}

bool CleanMarkedLink(std::string_view Raw, char Kind, std::string_view &Link)
{
    bool ok = !ContainsUpperCased(Raw, "TOP.WINDOW");
    std::string_view link = Raw;
    // A call such as openWin(x.html) hands on its argument.
    const size_t open = link.find('(');
    if (open != std::string_view::npos && open > 0) {
        link = link.substr(open + 1, 32000);
        const size_t close = link.find(')');
        if (close != std::string_view::npos && close > 0)
            link = link.substr(0, close);
    }
    link = link.substr(0, link.find('<'));
    link = link.substr(0, link.find('>'));
    if (ok) {
        ok = IsPlainLink(link);
        if (ok && link == "=")
            ok = false;
        if (ok && Kind == MARK_VALUE)
            ok = IsPathValue(link);
    }
    Link = link;
    return ok;
}
