// CrackUrl is called for every link of every page, so after its first call it must not
// allocate for URLs of ordinary length. This program replaces the global operator new and
// malloc family with counting versions (for this thread only, while a test asks for it) and
// cracks real-world URLs with one object.
#include "sifton/crkurl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define TRAWLIX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TRAWLIX_ASAN 1
#endif
#endif

namespace {

thread_local bool t_counting = false;
std::atomic<long> g_allocations{0};

[[maybe_unused]] void noteAllocation()
{
    if (t_counting)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
}

// Counts the allocations made on this thread while it lives.
class AllocationCounter {
public:
    AllocationCounter()
    {
        g_allocations = 0;
        t_counting = true;
    }
    ~AllocationCounter() { t_counting = false; }
    [[nodiscard]] long count() const { return g_allocations.load(); }
};

} // namespace

#ifndef TRAWLIX_ASAN
// AddressSanitizer brings its own allocator and replaces these functions itself; defining them
// here too would take its checks away from the whole program, so the sanitizer build does not
// count (the test below is skipped there).
extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *pointer, size_t size);
void __libc_free(void *pointer);

void *malloc(size_t size)
{
    noteAllocation();
    return __libc_malloc(size);
}
void *calloc(size_t count, size_t size)
{
    noteAllocation();
    return __libc_calloc(count, size);
}
void *realloc(void *pointer, size_t size)
{
    noteAllocation();
    return __libc_realloc(pointer, size);
}
void free(void *pointer)
{
    __libc_free(pointer);
}
}

namespace {
void *countedNew(size_t size)
{
    noteAllocation();
    if (void *p = __libc_malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
} // namespace

void *operator new(size_t size)
{
    return countedNew(size);
}
void *operator new[](size_t size)
{
    return countedNew(size);
}
void *operator new(size_t size, const std::nothrow_t &) noexcept
{
    noteAllocation();
    return __libc_malloc(size == 0 ? 1 : size);
}
void *operator new[](size_t size, const std::nothrow_t &) noexcept
{
    noteAllocation();
    return __libc_malloc(size == 0 ? 1 : size);
}
void operator delete(void *p) noexcept
{
    __libc_free(p);
}
void operator delete[](void *p) noexcept
{
    __libc_free(p);
}
void operator delete(void *p, size_t) noexcept
{
    __libc_free(p);
}
void operator delete[](void *p, size_t) noexcept
{
    __libc_free(p);
}
#endif

namespace {

std::vector<std::string> loadCorpus()
{
    std::vector<std::string> urls;
    std::ifstream in(TRAWLIX_CORPUS_DIR "/urls/kasztp.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("\xEF\xBB\xBF", 0) == 0)
            line.erase(0, 3); // byte-order mark on the first line
        if (!line.empty())
            urls.push_back(line);
    }
    return urls;
}

class CrackUrlAllocation : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifdef TRAWLIX_ASAN
        GTEST_SKIP() << "AddressSanitizer replaces the allocator, so allocations are not counted "
                        "in the sanitizer build";
#endif
        urls = loadCorpus();
        ASSERT_GT(urls.size(), 1000u) << "corpus of real-world URLs not found";
        // Ordinary cases beside the corpus: no path, ports, escapes, failures.
        for (const char *extra : {"http://pics.example.com", "http://example.com:81/dir/sub?x=1#top",
                                  "http://pics.example.com/a%20b/c.html", "http://intranet/", "/relative/page.html",
                                  "page.html", "mailto:a@b.example", "http://[::1]:8080/x", "http://h:99999/"})
            urls.emplace_back(extra);
    }

    std::vector<std::string> urls;
};

TEST_F(CrackUrlAllocation, CounterSeesAllocations)
{
    // The counter must see what it is meant to catch, or the tests below prove nothing.
    long counted = 0;
    {
        AllocationCounter counter;
        std::string grown(200, 'x');
        auto *p = static_cast<char *>(std::malloc(10));
        std::free(p);
        counted = counter.count();
    }
    EXPECT_GE(counted, 2);
}

TEST_F(CrackUrlAllocation, NothingAfterTheFirstCallWithoutSaveRoot)
{
    TCrackUrl url;
    (void)url.CrackUrl(urls.front(), "");
    long counted = 0;
    size_t cracked = 0;
    {
        AllocationCounter counter;
        for (const auto &text : urls)
            cracked += url.CrackUrl(text, "") ? 1 : 0;
        counted = counter.count();
    }
    EXPECT_EQ(counted, 0);
    EXPECT_GT(cracked, urls.size() - 10); // the corpus holds absolute URLs
}

TEST_F(CrackUrlAllocation, NothingAfterTheFirstCallWithSaveRoot)
{
    const std::string root = "/home/user/Documents/@Trawlix Downloads";
    TCrackUrl url;
    (void)url.CrackUrl("http://a/", root);
    long counted = 0;
    {
        AllocationCounter counter;
        for (const auto &text : urls)
            (void)url.CrackUrl(text, root);
        counted = counter.count();
    }
    EXPECT_EQ(counted, 0);
}

TEST_F(CrackUrlAllocation, CopyOfACrackedUrlAllocatesNothingOnceBuffersExist)
{
    TCrackUrl source;
    TCrackUrl copy;
    (void)source.CrackUrl("http://a/", "");
    copy.CopyTCrackedUrl(source);
    long counted = 0;
    {
        AllocationCounter counter;
        for (size_t i = 0; i < urls.size(); i += 97) {
            (void)source.CrackUrl(urls[i], "");
            copy.CopyTCrackedUrl(source);
        }
        counted = counter.count();
    }
    EXPECT_EQ(counted, 0);
}

} // namespace
