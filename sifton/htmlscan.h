#pragma once
// The page analysis of the crawler, without the component around it: the normalisation of a
// page body, the marking of link attributes and link areas with one-byte markers, the default
// post-marking step, and the link pass over the marked text. It is not a parser: two single
// passes over the bytes, no regular expressions, no tree, and nothing allocated per byte.
//
// Texts are byte strings; upper-casing is ASCII only (a to z).

#include <cstdint>
#include <string>
#include <string_view>

// Marker bytes written into the working text by LocalizeHrefSrc. The normalisation removes
// every byte below 32, so after it the markers are the only such bytes.
enum : char {
    MARK_HREF = 4,       // an HREF value, or the argument of an OPENWIN( call
    MARK_VALUE = 5,      // a VALUE value
    MARK_SRC = 6,        // a SRC value
    MARK_BASEHREF = 7,   // a BASE HREF value: the page's base address changes
    MARK_AREA_OPEN = 14, // a link area opens (counted)
    MARK_AREA_OPEN_IN = 15, // a link area opens, counted, and sets the in-area flag
    MARK_AREA_CLOSE = 16,   // a link area closes
};

// Drops control characters (a line feed becomes a blank when `LineFeedToBlank`), turns double
// quotes, apostrophes and commas into blanks when `QuotesToBlank`, and drops every blank that
// follows "=" or precedes a blank or "=" in the input.
[[nodiscard]] std::string NormalizeMarkup(std::string_view Text, bool QuotesToBlank, bool LineFeedToBlank);
// The same into `Result`, re-using its storage.
void NormalizeMarkupInto(std::string &Result, std::string_view Text, bool QuotesToBlank, bool LineFeedToBlank);

// Searches the fourteen upper-case link patterns in one pass over `Text` (case-insensitively)
// and overwrites the last character of every match with the pattern's marker. True when at
// least one pattern matched. The length of the text never changes.
[[nodiscard]] bool LocalizeHrefSrc(std::string &Text);

// The default post-marking step: closes every open link area before the next one opens, by
// overwriting the character before a second opening marker with MARK_AREA_CLOSE.
void KvSiftonPostLocalizeHrefSrc(std::string &Body_);

// False when the link holds any of "(", ")", "+", "[", "]".
[[nodiscard]] bool IsPlainLink(std::string_view Link);
// False when the value holds a blank or ";"; otherwise whether it holds a "/".
[[nodiscard]] bool IsPathValue(std::string_view Value);

// Turns the raw text collected after an attribute marker into the link handed on, or returns
// false when it is not one: a "top.window" text, a text with brackets or "+" left after the
// unwrapping of a "(...)" call, a lone "=", or a VALUE that does not look like a path.
[[nodiscard]] bool CleanMarkedLink(std::string_view Raw, char Kind, std::string_view &Link);

// The link pass over a marked text. For every link found, `onLink(kind, link, inArea)` is
// called with the cleaned link (a view into `Text`). `AreaCount` is incremented for every area
// opening. `stop()` is asked before every byte; when it returns true the pass ends there.
template <class Stop, class OnLink>
void ScanMarkedText(std::string_view Text, int32_t &AreaCount, Stop &&stop, OnLink &&onLink)
{
    bool inArea = false;
    char kind = ' ';
    bool collecting = false;
    size_t linkStart = 0; // valid while collecting and the link is not empty
    bool linkEmpty = true;
    for (size_t p = 0; p < Text.size(); ++p) {
        if (stop())
            return;
        const char c = Text[p];
        if (c == MARK_AREA_OPEN || c == MARK_AREA_OPEN_IN) {
            if (c == MARK_AREA_OPEN_IN)
                inArea = true;
            collecting = false;
            AreaCount = int32_t(uint32_t(AreaCount) + 1u); // a 32-bit counter: wraps, never traps
            continue;
        }
        if (c == MARK_AREA_CLOSE) {
            inArea = false;
            collecting = false;
            continue;
        }
        if (static_cast<unsigned char>(c) <= 12) {
            kind = c;
            collecting = true;
            linkEmpty = true;
            continue;
        }
        if (!collecting)
            continue;
        if (linkEmpty) {
            if (c != ' ') {
                linkEmpty = false;
                linkStart = p;
            }
            continue;
        }
        if (c != ' ' && c != '>')
            continue;
        collecting = false;
        std::string_view link;
        if (CleanMarkedLink(Text.substr(linkStart, p - linkStart), kind, link))
            onLink(kind, link, inArea);
    }
}
