#include "sifton/slist.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>


namespace {

// A block splits when it reaches kMaxBlock entries; two neighbours whose sizes add up to no
// more than kMinPair merge, so the number of blocks stays near Count() / (kMaxBlock / 2).
constexpr std::size_t kMaxBlock = 512;
constexpr std::size_t kMinPair = kMaxBlock / 2;
// Entries per block when the whole list is laid out anew (Sort, SetText): room left for
// insertions without an immediate split.
constexpr std::size_t kFillBlock = kMaxBlock * 3 / 4;



constexpr unsigned char UpperAscii(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

[[noreturn]] void ThrowIndex(int index)
{
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
}

} // namespace

int CompareKvStrings(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t i = 0;
    // URLs share long exact prefixes ("https://www.", the same host): skip them eight bytes
    // at a time, then decide byte by byte.
    while (i + 8 <= n) {
        uint64_t x;
        uint64_t y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y)
            break;
        i += 8;
    }
    for (; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (ca == cb)
            continue;
        const int d = int(UpperAscii(ca)) - int(UpperAscii(cb));
        if (d != 0)
            return d;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

// A block made by a split: it will grow back towards kMaxBlock entries.
TKvStringList::Block TKvStringList::NewBlock()
{
    Block block;
    block.reserve(kMaxBlock);
    return block;
}

int TKvStringList::CompareForOrder(std::string_view a, std::string_view b) const
{
    const int c = CompareKvStrings(a, b);
    return Descending ? -c : c;
}

void TKvStringList::SetCapacity(int capacity)
{
    if (capacity < count_)
        return;
    capacity_ = capacity;
    blocks_.reserve(static_cast<std::size_t>(capacity) / kMinPair + 1);
    starts_.reserve(blocks_.capacity());
}

TKvStringList::Position TKvStringList::Locate(int index) const
{
    // The last block whose first entry is at or before `index`.
    const auto it = std::upper_bound(starts_.begin(), starts_.end(), index);
    const auto block = static_cast<std::size_t>(it - starts_.begin()) - 1;
    return {block, static_cast<std::size_t>(index - starts_[block])};
}

TKvStringList::Position TKvStringList::CheckedLocate(int index) const
{
    if (index < 0 || index >= count_)
        ThrowIndex(index);
    return Locate(index);
}

const std::string& TKvStringList::Strings(int index) const
{
    const Position p = CheckedLocate(index);
    return blocks_[p.block][p.offset].text;
}

std::string& TKvStringList::operator[](int index)
{
    const Position p = CheckedLocate(index);
    return blocks_[p.block][p.offset].text;
}

void TKvStringList::SetStrings(int index, std::string_view text)
{
    (*this)[index].assign(text);
}

int32_t TKvStringList::Objects(int index) const
{
    const Position p = CheckedLocate(index);
    return blocks_[p.block][p.offset].object;
}

void TKvStringList::SetObjects(int index, int32_t object)
{
    const Position p = CheckedLocate(index);
    blocks_[p.block][p.offset].object = object;
}

int TKvStringList::Add(std::string_view text, int32_t object)
{
    const int index = count_;
    InsertAt(index, Entry{std::string(text), object});
    return index;
}

void TKvStringList::Insert(int index, std::string_view text, int32_t object)
{
    if (index < 0 || index > count_)
        ThrowIndex(index);
    InsertAt(index, Entry{std::string(text), object});
}

void TKvStringList::ShiftStartsAfter(std::size_t block, int delta)
{
    for (std::size_t b = block + 1; b < starts_.size(); ++b)
        starts_[b] += delta;
}

void TKvStringList::InsertAt(int index, Entry entry)
{
    if (blocks_.empty()) {
        blocks_.emplace_back();
        starts_.push_back(0);
    }
    Position p;
    if (index == count_)
        p = {blocks_.size() - 1, blocks_.back().size()};
    else
        p = Locate(index);
    Block& block = blocks_[p.block];
    // Grow by doubling but never past kMaxBlock: a block splits when full, and the half that
    // stays would otherwise keep twice the room it can use. A small list stays small.
    if (block.size() == block.capacity())
        block.reserve(std::min(kMaxBlock, std::max<std::size_t>(4, block.capacity() * 2)));
    block.insert(block.begin() + static_cast<std::ptrdiff_t>(p.offset), std::move(entry));
    ++count_;
    ShiftStartsAfter(p.block, +1);
    SplitIfFull(p.block);
}

void TKvStringList::SplitIfFull(std::size_t b)
{
    if (blocks_[b].size() < kMaxBlock)
        return;
    Block upper = NewBlock();
    const auto half = static_cast<std::ptrdiff_t>(blocks_[b].size() / 2);
    std::move(blocks_[b].begin() + half, blocks_[b].end(), std::back_inserter(upper));
    blocks_[b].erase(blocks_[b].begin() + half, blocks_[b].end());
    const int upperStart = starts_[b] + static_cast<int>(half);
    blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(b) + 1, std::move(upper));
    starts_.insert(starts_.begin() + static_cast<std::ptrdiff_t>(b) + 1, upperStart);
}

void TKvStringList::Delete(int index)
{
    const Position p = CheckedLocate(index);
    Block& block = blocks_[p.block];
    block.erase(block.begin() + static_cast<std::ptrdiff_t>(p.offset));
    --count_;
    ShiftStartsAfter(p.block, -1);
    if (block.empty()) {
        blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(p.block));
        starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(p.block));
        return;
    }
    MergeIfSparse(p.block);
}

void TKvStringList::MergeIfSparse(std::size_t b)
{
    // Merge with the right neighbour, then with the left one, while the pair is small.
    auto mergeIntoLeft = [this](std::size_t left) {
        Block& into = blocks_[left];
        Block& from = blocks_[left + 1];
        if (into.size() + from.size() > kMinPair)
            return false;
        std::move(from.begin(), from.end(), std::back_inserter(into));
        blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(left) + 1);
        starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(left) + 1);
        return true;
    };
    if (b + 1 < blocks_.size())
        mergeIntoLeft(b);
    if (b > 0)
        mergeIntoLeft(b - 1);
}

void TKvStringList::Clear()
{
    blocks_.clear();
    starts_.clear();
    count_ = 0;
}

std::string TKvStringList::Text() const
{
    std::size_t length = 0;
    for (const Block& block : blocks_)
        for (const Entry& e : block)
            length += e.text.size() + 2;
    std::string text;
    text.reserve(length);
    for (const Block& block : blocks_) {
        for (const Entry& e : block) {
            text += e.text;
            text += "\r\n";
        }
    }
    return text;
}

void TKvStringList::SetText(std::string_view text)
{
    std::vector<Entry> entries;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = pos;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        entries.push_back(Entry{std::string(text.substr(pos, end - pos)), 0});
        if (end < text.size()) {
            const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
            end += crlf ? 2 : 1;
        }
        pos = end;
    }
    RebuildFrom(std::move(entries));
}

bool TKvStringList::Find(std::string_view key, int& found, int& insert, bool add)
{
    found = -1;
    insert = -1;
    if (count_ == 0) {
        insert = 0;
    } else {
        // The halving search on lo..hi, as a loop. The block holding the last probe is kept,
        // since the later probes of a search fall close together.
        int lo = 0;
        int hi = count_ - 1;
        std::size_t block = 0;
        int blockStart = 0;
        int blockEnd = -1; // one past the last index of `block`; empty until the first probe
        for (;;) {
            const int mid = lo + (hi - lo) / 2;
            if (mid < blockStart || mid >= blockEnd) {
                block = Locate(mid).block;
                blockStart = starts_[block];
                blockEnd = blockStart + static_cast<int>(blocks_[block].size());
            }
            const std::string& entry = blocks_[block][static_cast<std::size_t>(mid - blockStart)].text;
            const int c = CompareForOrder(entry, key);
            if (c < 0) {
                if (mid < hi) {
                    lo = mid + 1;
                    continue;
                }
                insert = mid + 1;
            } else if (c == 0) {
                found = mid;
            } else {
                if (lo < mid) {
                    hi = mid - 1;
                    continue;
                }
                insert = mid;
            }
            break;
        }
    }
    if (found == -1 && add)
        InsertAt(insert, Entry{std::string(key), 0});
    return found != -1;
}

std::vector<TKvStringList::Entry> TKvStringList::TakeAll()
{
    std::vector<Entry> all;
    all.reserve(static_cast<std::size_t>(count_));
    for (Block& block : blocks_)
        std::move(block.begin(), block.end(), std::back_inserter(all));
    Clear();
    return all;
}

void TKvStringList::RebuildFrom(std::vector<Entry>&& entries)
{
    Clear();
    const std::size_t n = entries.size();
    blocks_.reserve(n / kFillBlock + 1);
    starts_.reserve(n / kFillBlock + 1);
    for (std::size_t first = 0; first < n; first += kFillBlock) {
        const std::size_t last = std::min(n, first + kFillBlock);
        Block& block = blocks_.emplace_back();
        block.reserve(last - first);
        std::move(entries.begin() + static_cast<std::ptrdiff_t>(first),
                  entries.begin() + static_cast<std::ptrdiff_t>(last), std::back_inserter(block));
        starts_.push_back(static_cast<int>(first));
    }
    count_ = static_cast<int>(n);
}

void TKvStringList::PRemoveBlankLines()
{
    std::vector<Entry> all = TakeAll();
    std::erase_if(all, [](const Entry& e) { return e.text.empty(); });
    RebuildFrom(std::move(all));
}

void TKvStringList::Sort()
{
    if (RemoveBlankLinesOnSort)
        PRemoveBlankLines();
    std::vector<Entry> a = TakeAll();
    const bool descending = Descending;
    auto cmp = [descending](const Entry& x, const Entry& y) {
        const int c = CompareKvStrings(x.text, y.text);
        return descending ? -c : c;
    };
    auto less = [&cmp](const Entry& x, const Entry& y) { return cmp(x, y) < 0; };

    // Quicksort with the middle entry as pivot, moved to the start of the range, and the
    // two-index partition that stops on entries equal to the pivot: sorted, reversed and
    // all-equal input all split in halves. The larger side waits on an explicit stack while the
    // smaller one is sorted first, so that stack holds at most log2 n ranges; past a depth of
    // 2 log2 n a range is heap-sorted, so no input can make the sort quadratic.
    struct Range {
        int lo;
        int hi;
        int depth;
    };
    int depthLimit = 0;
    for (std::size_t n = a.size(); n > 1; n >>= 1)
        depthLimit += 2;
    std::vector<Range> pending;
    if (a.size() > 1)
        pending.push_back({0, static_cast<int>(a.size()) - 1, depthLimit});
    while (!pending.empty()) {
        Range r = pending.back();
        pending.pop_back();
        while (r.hi > r.lo) {
            if (r.hi - r.lo < 16) {
                for (int i = r.lo + 1; i <= r.hi; ++i) {
                    for (int j = i; j > r.lo && less(a[j], a[j - 1]); --j)
                        std::swap(a[j], a[j - 1]);
                }
                break;
            }
            if (r.depth == 0) {
                std::make_heap(a.begin() + r.lo, a.begin() + r.hi + 1, less);
                std::sort_heap(a.begin() + r.lo, a.begin() + r.hi + 1, less);
                break;
            }
            const int mid = r.lo + (r.hi - r.lo) / 2;
            std::swap(a[r.lo], a[mid]);
            const Entry& pivot = a[r.lo];
            int i = r.lo + 1;
            int j = r.hi;
            for (;;) {
                while (i <= j && cmp(a[i], pivot) < 0)
                    ++i;
                while (i <= j && cmp(a[j], pivot) > 0)
                    --j;
                if (i >= j)
                    break;
                std::swap(a[i], a[j]);
                ++i;
                --j;
            }
            std::swap(a[r.lo], a[j]);
            // Now lo..j-1 <= pivot = a[j] <= j+1..hi.
            Range left{r.lo, j - 1, r.depth - 1};
            Range right{j + 1, r.hi, r.depth - 1};
            if (left.hi - left.lo < right.hi - right.lo)
                std::swap(left, right);
            pending.push_back(left); // the larger side waits on the explicit stack
            r = right;
        }
    }
    RebuildFrom(std::move(a));
}

