// Building the crawler's visited-address list: TKvStringList::Find with insertion against a
// std::set with the same case-insensitive order, on the same 1,000,000 distinct URLs in the
// same random order, in the same run. Prints the usual table and then the ratio of the two.
//
// The URLs are the real-world list in the shared corpus (urls/kasztp.txt), made up to a
// million distinct ones by adding numbered query variants.

#include "sifton/slist.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kUrlCount = 1000000;

// Bytes currently allocated from the heap, for the memory per entry of each container.
double HeapInUse()
{
    return double(mallinfo2().uordblks) + double(mallinfo2().hblkhd);
}

struct CaseLess {
    bool operator()(const std::string& a, const std::string& b) const
    {
        return CompareKvStrings(a, b) < 0;
    }
};

const std::vector<std::string>& Urls()
{
    static const std::vector<std::string> urls = [] {
        std::ifstream in(TRAWLIX_CORPUS_DIR "/urls/kasztp.txt", std::ios::binary);
        std::vector<std::string> base;
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("\xEF\xBB\xBF", 0) == 0)
                line.erase(0, 3);
            while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
                line.pop_back();
            if (!line.empty())
                base.push_back(line);
        }
        if (base.empty()) {
            std::fprintf(stderr, "no URLs in %s\n", TRAWLIX_CORPUS_DIR "/urls/kasztp.txt");
            std::exit(1);
        }
        // Distinct under the list's own order, so that every insert is a real insert.
        std::set<std::string, CaseLess> distinct;
        std::vector<std::string> out;
        out.reserve(kUrlCount);
        for (int round = 0; out.size() < kUrlCount; ++round) {
            for (const std::string& url : base) {
                if (out.size() == kUrlCount)
                    break;
                std::string candidate = url;
                if (round > 0)
                    candidate += (url.find('?') == std::string::npos ? "?v=" : "&v=") + std::to_string(round);
                if (distinct.insert(candidate).second)
                    out.push_back(std::move(candidate));
            }
        }
        std::shuffle(out.begin(), out.end(), std::mt19937_64(20261211));
        std::size_t bytes = 0;
        for (const auto& u : out)
            bytes += u.size();
        std::fprintf(stderr, "%zu distinct URLs from %zu in the corpus, %.1f bytes on average\n",
                     out.size(), base.size(), double(bytes) / double(out.size()));
        return out;
    }();
    return urls;
}

void BM_KvStringListFindInsert(benchmark::State& state)
{
    const auto& urls = Urls();
    for (auto _ : state) {
        const double heapBefore = HeapInUse();
        auto list = std::make_unique<TKvStringList>();
        list->SetCapacity(32000);
        int found = 0;
        int insert = 0;
        for (const std::string& url : urls)
            benchmark::DoNotOptimize(list->Find(url, found, insert, true));
        state.PauseTiming();
        state.counters["heap_bytes_per_entry"] = (HeapInUse() - heapBefore) / double(urls.size());
        if (list->Count() != static_cast<int>(urls.size()))
            state.SkipWithError("not every URL was inserted");
        list.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * urls.size()));
}

void BM_StdSetInsert(benchmark::State& state)
{
    const auto& urls = Urls();
    for (auto _ : state) {
        const double heapBefore = HeapInUse();
        auto set = std::make_unique<std::set<std::string, CaseLess>>();
        for (const std::string& url : urls)
            benchmark::DoNotOptimize(set->insert(url));
        state.PauseTiming();
        state.counters["heap_bytes_per_entry"] = (HeapInUse() - heapBefore) / double(urls.size());
        if (set->size() != urls.size())
            state.SkipWithError("not every URL was inserted");
        set.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * urls.size()));
}

// Looking up addresses already seen: the crawler's other use of the visited list.
void BM_KvStringListFindExisting(benchmark::State& state)
{
    const auto& urls = Urls();
    TKvStringList list;
    int found = 0;
    int insert = 0;
    for (const std::string& url : urls)
        (void)list.Find(url, found, insert, true);
    for (auto _ : state) {
        for (const std::string& url : urls)
            benchmark::DoNotOptimize(list.Find(url, found, insert, false));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * urls.size()));
}

void BM_StdSetFindExisting(benchmark::State& state)
{
    const auto& urls = Urls();
    std::set<std::string, CaseLess> set(urls.begin(), urls.end());
    for (auto _ : state) {
        for (const std::string& url : urls)
            benchmark::DoNotOptimize(set.find(url));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * urls.size()));
}

BENCHMARK(BM_KvStringListFindInsert)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StdSetInsert)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_KvStringListFindExisting)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StdSetFindExisting)->Unit(benchmark::kMillisecond)->Iterations(3);

// The console table, plus the mean real time per benchmark for the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                seconds_[run.benchmark_name()] = {run.real_accumulated_time / double(run.iterations),
                                                  run.cpu_accumulated_time / double(run.iterations)};
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatio(const char* what, const std::string& ours, const std::string& theirs) const
    {
        const auto a = seconds_.find(ours);
        const auto b = seconds_.find(theirs);
        if (a == seconds_.end() || b == seconds_.end() || b->second.first <= 0 || b->second.second <= 0)
            return;
        std::printf("%s: TKvStringList %.0f ms (CPU %.0f ms), std::set %.0f ms (CPU %.0f ms), "
                    "ratio %.2f (CPU %.2f)\n",
                    what, a->second.first * 1e3, a->second.second * 1e3, b->second.first * 1e3,
                    b->second.second * 1e3, a->second.first / b->second.first,
                    a->second.second / b->second.second);
    }

private:
    std::map<std::string, std::pair<double, double>> seconds_; // real, CPU seconds per run
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    (void)Urls(); // built once, before any timing
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatio("build from 1,000,000 URLs", "BM_KvStringListFindInsert/iterations:3",
                        "BM_StdSetInsert/iterations:3");
    reporter.PrintRatio("find 1,000,000 known URLs", "BM_KvStringListFindExisting/iterations:3",
                        "BM_StdSetFindExisting/iterations:3");
    benchmark::Shutdown();
    return 0;
}
