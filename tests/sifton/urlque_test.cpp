// The URL queue: rows keep their order and every field that travels with the URL, and can be
// taken from anywhere.
#include "sifton/urlque.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> urls(const TUrlInQueue &queue)
{
    std::vector<std::string> result;
    for (const auto &row : queue.List)
        result.push_back(row.Url);
    return result;
}

TEST(UrlQueueTest, StartsEmptyWithRoomForALargeCrawl)
{
    TUrlInQueue queue;
    EXPECT_EQ(queue.Count(), 0);
    EXPECT_GE(queue.List.capacity(), TUrlInQueue::kInitialCapacity);
}

TEST(UrlQueueTest, AddAppendsARowWithEveryFieldAndItsOwnRefererCopy)
{
    TUrlInQueue queue;
    std::string referer = "http://from.test/page.html";
    queue.Add(1, "http://a.test/", referer, 3, 2, 'H', STORE_TO_FILE, 9, true, 42);
    queue.Add(99, "http://b.test/", "", 1, 0, ' ', STORE_TO_DATASTRING, 0, false, -1);
    referer.assign("overwritten");

    ASSERT_EQ(queue.Count(), 2);
    EXPECT_EQ(urls(queue), (std::vector<std::string>{"http://a.test/", "http://b.test/"}));
    const TUrlObject &first = queue.List[0].Object;
    EXPECT_EQ(first.DepthSearchLevel, 3);
    EXPECT_TRUE(first.Priority);
    EXPECT_EQ(first.CountArea, 9);
    EXPECT_EQ(first.LinkKind, 'H');
    EXPECT_EQ(first.GetAction, STORE_TO_FILE);
    EXPECT_EQ(first.RetriesDone, 2);
    EXPECT_EQ(first.Referer, "http://from.test/page.html") << "the queue keeps its own copy";
    EXPECT_EQ(first.CallerTag, 42);
    const TUrlObject &second = queue.List[1].Object;
    EXPECT_FALSE(second.Priority);
    EXPECT_EQ(second.LinkKind, ' ');
    EXPECT_EQ(second.CallerTag, -1);
}

TEST(UrlQueueTest, DeleteTakesAnyRowAndIgnoresIndexesOutOfRange)
{
    TUrlInQueue queue;
    for (const char *url : {"u0", "u1", "u2", "u3"})
        queue.Add(0, url, std::string("ref-") + url, 1, 0, ' ', STORE_TO_DATASTRING, 0, false, -1);
    queue.Delete(2);
    EXPECT_EQ(urls(queue), (std::vector<std::string>{"u0", "u1", "u3"}));
    EXPECT_EQ(queue.List[2].Object.Referer, "ref-u3") << "objects move with their rows";
    queue.Delete(0);
    EXPECT_EQ(urls(queue), (std::vector<std::string>{"u1", "u3"}));
    queue.Delete(-1);
    queue.Delete(2);
    EXPECT_EQ(queue.Count(), 2);
    queue.Clear();
    EXPECT_EQ(queue.Count(), 0);
    queue.Add(0, "again", "", 1, 0, ' ', STORE_TO_DATASTRING, 0, false, -1);
    EXPECT_EQ(urls(queue), std::vector<std::string>{"again"});
}

} // namespace
