#pragma once
// The table of known file extensions. A link whose extension is in the table is a file of a
// known type; any other link is taken for an HTML page. Only the row numbers of exact matches
// are used by the crawler; the descriptions are there for people.

#include <array>
#include <string_view>


struct TType {
    std::string_view Extension;   // lower case, without the dot
    std::string_view Description; // at most 62 characters
};

// Exactly 550 rows, numbered 1 to 550 like the table they mirror; row 0 does not exist.
class TArrayTypes {
public:
    static constexpr int Low = 1;
    static constexpr int High = 550;

    explicit constexpr TArrayTypes(const std::array<TType, High>& rows) : rows_(rows) {}

    // Row `row` (1 to 550); any other row throws std::out_of_range.
    [[nodiscard]] const TType& operator[](int row) const;
    [[nodiscard]] static constexpr int size() { return High; }
    [[nodiscard]] const TType* begin() const { return rows_.data(); }
    [[nodiscard]] const TType* end() const { return rows_.data() + rows_.size(); }

private:
    std::array<TType, High> rows_;
};

// The library's one file-type table, stored in ascending order of CompareTypeExtensions.
extern const TArrayTypes Types;

// The order the table is stored in: byte order, except that "@" sorts right after "$" and
// before every digit, so "@@@" (row 2) falls between "$$$" (row 1) and "123" (row 3).
// Returns <0, 0 or >0 like strcmp.
[[nodiscard]] int CompareTypeExtensions(std::string_view a, std::string_view b);

// Binary search of rows lo..hi for the extension equal to `extension` byte for byte
// (case-sensitive: "JPG" is not found). Returns the row number, or -1. Callers pass 1 and 550;
// a range reaching outside the table is clipped to it.
[[nodiscard]] int QuickFindType(std::string_view extension, int lo, int hi);

