#pragma once
// TKvStringList: an indexed list of texts, each with a 32-bit object value, that keeps itself
// in ASCII case-insensitive order through its own binary-search Find (with insertion) and its
// own Sort. The crawler's visited-address list, robots host list and filter lists are of this
// kind.
//
// Inside, the entries live in a sequence of blocks of at most a few hundred entries, with the
// index of each block's first entry kept alongside. Reaching entry i is a binary search over the
// block starts; inserting or deleting moves entries within one block only and shifts the starts
// of the blocks after it. That keeps positional access cheap and insertion far from quadratic on
// lists of a million entries, where one flat array would move half the list on every insert.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>


// ASCII case-insensitive comparison: a to z are upper-cased, every other byte is compared as an
// unsigned byte; a proper prefix is the smaller. Returns <0, 0 or >0 like strcmp.
[[nodiscard]] int CompareKvStrings(std::string_view a, std::string_view b);

class TKvStringList {
public:
    TKvStringList() = default;

    // When set, Sort and Find work in descending order.
    bool Descending = false;
    // When set, Sort first removes every empty entry.
    bool RemoveBlankLinesOnSort = true;

    [[nodiscard]] int Count() const { return count_; }

    // A hint of how many entries the list will hold; never smaller than Count().
    [[nodiscard]] int Capacity() const { return capacity_ > count_ ? capacity_ : count_; }
    // A value below Count() is ignored.
    void SetCapacity(int capacity);

    // Positional access. An index outside 0..Count()-1 throws std::out_of_range.
    [[nodiscard]] const std::string& Strings(int index) const;
    void SetStrings(int index, std::string_view text);
    [[nodiscard]] const std::string& operator[](int index) const { return Strings(index); }
    // The reference stays valid until the list is next changed.
    [[nodiscard]] std::string& operator[](int index);
    [[nodiscard]] int32_t Objects(int index) const;
    void SetObjects(int index, int32_t object);

    // Appends an entry and returns its index.
    int Add(std::string_view text, int32_t object = 0);
    // Inserts before `index` (0..Count(); Count() appends); otherwise throws std::out_of_range.
    void Insert(int index, std::string_view text, int32_t object = 0);
    // Removes one entry; an index outside 0..Count()-1 throws std::out_of_range.
    void Delete(int index);
    void Clear();

    // The whole list as one text: every entry followed by CR LF.
    [[nodiscard]] std::string Text() const;
    // Replaces the list with the lines of `text`, split at CR LF, LF or a lone CR. A line
    // break at the very end does not start another entry; empty lines inside are kept.
    void SetText(std::string_view text);

    // Binary search for `key` by CompareKvStrings (mirrored when Descending is set). Returns
    // whether the key is present. found is its index or -1; insert is the index where it
    // belongs when it is missing, or -1 when it was found. When it is missing and `add` is set,
    // the key is inserted there with object value 0.
    bool Find(std::string_view key, int& found, int& insert, bool add);

    // RemoveBlankLinesOnSort: PRemoveBlankLines first. Then a quicksort by CompareKvStrings
    // (reversed when Descending is set); object values move with their texts; entries that
    // compare equal end in no particular order.
    void Sort();

    // Deletes every entry whose text is empty (an entry of blanks stays).
    void PRemoveBlankLines();

private:
    struct Entry {
        std::string text;
        int32_t object = 0;
    };
    using Block = std::vector<Entry>;

    struct Position {
        std::size_t block;
        std::size_t offset;
    };

    [[nodiscard]] static Block NewBlock();
    [[nodiscard]] Position Locate(int index) const;
    [[nodiscard]] Position CheckedLocate(int index) const;
    [[nodiscard]] int CompareForOrder(std::string_view a, std::string_view b) const;
    void InsertAt(int index, Entry entry);
    void ShiftStartsAfter(std::size_t block, int delta);
    void SplitIfFull(std::size_t block);
    void MergeIfSparse(std::size_t block);
    void RebuildFrom(std::vector<Entry>&& entries);
    [[nodiscard]] std::vector<Entry> TakeAll();

    std::vector<Block> blocks_;
    std::vector<int> starts_; // starts_[b]: index of the first entry of blocks_[b]
    int count_ = 0;
    int capacity_ = 0;
};

