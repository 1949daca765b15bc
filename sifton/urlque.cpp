#include "sifton/urlque.h"

void TUrlInQueue::Add(int32_t, std::string_view Url, std::string_view Referer, int32_t DepthSearchLevel,
                      int32_t RetriesDone, char LinkKind, TGetAction GetAction, int32_t CountArea, bool Priority,
                      int32_t CallerTag)
{
    TRow &row = List.emplace_back();
    row.Url.assign(Url);
    row.Object.DepthSearchLevel = DepthSearchLevel;
    row.Object.Priority = Priority;
    row.Object.CountArea = CountArea;
    row.Object.LinkKind = LinkKind;
    row.Object.GetAction = GetAction;
    row.Object.RetriesDone = RetriesDone;
    row.Object.Referer.assign(Referer);
    row.Object.CallerTag = CallerTag;
}

void TUrlInQueue::Delete(int32_t Index)
{
    if (Index < 0 || Index >= Count())
        return;
    List.erase(List.begin() + Index);
}

void TUrlInQueue::Clear()
{
    // Rows are dropped in one go; the reserved room is kept for the next crawl.
    List.clear();
}
