#pragma once
// TUrlInQueue: the scheduler's queue of URLs waiting to be fetched. Rows are appended at the
// end and may be taken from anywhere (the oldest, the first priority entry, or the deepest);
// each row carries the crawl bookkeeping that travels with its URL.
//
// The rows live in a plain vector of (URL, TUrlObject) pairs. The library's sorted string list
// is not used here: the queue is never sorted or searched by text, and its objects are records
// rather than 32-bit values.

#include "sifton/getthr.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What travels with one queued URL.
struct TUrlObject {
    int32_t DepthSearchLevel = 0;
    bool Priority = false;     // taken before ordinary entries
    int32_t CountArea = 0;
    char LinkKind = 0;         // blank: the start URL; "H": a meta-refresh target
    TGetAction GetAction = STORE_TO_DATASTRING;
    int32_t RetriesDone = 0;   // failed attempts so far
    std::string Referer;       // the queue's own copy
    int32_t CallerTag = 0;     // handed to the scheduler's start hook
};

class TUrlInQueue {
public:
    // Room reserved up front so that large crawls do not regrow the list.
    static constexpr size_t kInitialCapacity = 32000;

    struct TRow {
        std::string Url;
        TUrlObject Object;
    };

    TUrlInQueue() { List.reserve(kInitialCapacity); }

    // Appends one row. `Tag` is accepted for the callers' symmetry and ignored.
    void Add(int32_t Tag, std::string_view Url, std::string_view Referer, int32_t DepthSearchLevel,
             int32_t RetriesDone, char LinkKind, TGetAction GetAction, int32_t CountArea, bool Priority,
             int32_t CallerTag);
    // Removes the row at `Index` (0-based) with its object; an index out of range is ignored.
    void Delete(int32_t Index);
    // Removes every row.
    void Clear();

    [[nodiscard]] int32_t Count() const { return int32_t(List.size()); }

    std::vector<TRow> List;
};
