// The crawler's page analysis against libgumbo on real-world pages, in the same run: MB/s of
// NormalizeMarkup, LocalizeHrefSrc and the link pass (post-marking step + ParseHtml's scan)
// each alone, of the whole analysis, and of gumbo parsing the same pages and pulling out the
// same href, src and value attributes. Then the ratio of the whole analysis to gumbo, and the
// heap allocations of one whole analysis of every page (the analysis must not allocate per
// byte: a handful per page is the budget).
//
// Pages: html/gumbo/*.html and html/scrapinghub/*.html.gz (gunzipped here with zlib) of the
// shared corpus.

#include "sifton/htmlscan.h"

#include <benchmark/benchmark.h>
#include <gumbo.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

namespace {

std::atomic<long> g_allocations{0};

} // namespace

void *operator new(std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }

namespace {

std::string ReadGzip(const std::filesystem::path &path)
{
    std::string out;
    gzFile file = gzopen(path.c_str(), "rb");
    if (!file)
        return out;
    char buffer[65536];
    int n;
    while ((n = gzread(file, buffer, sizeof buffer)) > 0)
        out.append(buffer, size_t(n));
    gzclose(file);
    return out;
}

std::string ReadPlain(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Corpus {
    std::vector<std::string> pages;
    size_t bytes = 0;
    Corpus()
    {
        namespace fs = std::filesystem;
        const fs::path root = fs::path(TRAWLIX_CORPUS_DIR) / "html";
        for (const char *folder : {"gumbo", "scrapinghub"}) {
            std::error_code ec;
            for (const auto &entry : fs::directory_iterator(root / folder, ec)) {
                const std::string name = entry.path().filename().string();
                std::string page;
                if (name.ends_with(".html.gz"))
                    page = ReadGzip(entry.path());
                else if (name.ends_with(".html"))
                    page = ReadPlain(entry.path());
                if (!page.empty()) {
                    bytes += page.size();
                    pages.push_back(std::move(page));
                }
            }
        }
        if (pages.empty()) {
            std::fprintf(stderr, "htmlscan_bench: no pages under %s\n", root.c_str());
            std::exit(1);
        }
        std::printf("corpus: %zu pages, %.1f MB\n", pages.size(), bytes / 1e6);
    }
};

const Corpus &Pages()
{
    static const Corpus corpus;
    return corpus;
}

// Normalised and marked texts, prepared once for the passes measured alone.
struct Prepared {
    std::vector<std::string> normalized, marked;
    size_t normalizedBytes = 0;
    Prepared()
    {
        for (const auto &page : Pages().pages) {
            normalized.push_back(NormalizeMarkup(page, true, false));
            normalizedBytes += normalized.back().size();
            marked.push_back(normalized.back());
            (void)LocalizeHrefSrc(marked.back());
        }
    }
};

const Prepared &Prep()
{
    static const Prepared prepared;
    return prepared;
}

size_t LinkPass(std::string &text, int32_t &areas)
{
    size_t links = 0;
    KvSiftonPostLocalizeHrefSrc(text);
    ScanMarkedText(
        text, areas, [] { return false; }, [&](char, std::string_view link, bool) { links += link.size() + 1; });
    return links;
}

size_t WholeAnalysis(std::string &work)
{
    size_t links = 0;
    int32_t areas = 0;
    for (const auto &page : Pages().pages) {
        NormalizeMarkupInto(work, page, true, false);
        if (LocalizeHrefSrc(work))
            links += LinkPass(work, areas);
    }
    return links;
}

void CollectGumbo(const GumboNode *node, size_t &links)
{
    if (node->type != GUMBO_NODE_ELEMENT)
        return;
    const GumboVector &attributes = node->v.element.attributes;
    for (unsigned i = 0; i < attributes.length; ++i) {
        const auto *a = static_cast<const GumboAttribute *>(attributes.data[i]);
        const std::string_view name(a->name);
        if (name == "href" || name == "src" || name == "value")
            links += std::string_view(a->value).size() + 1;
    }
    const GumboVector &children = node->v.element.children;
    for (unsigned i = 0; i < children.length; ++i)
        CollectGumbo(static_cast<const GumboNode *>(children.data[i]), links);
}

size_t GumboAnalysis()
{
    size_t links = 0;
    for (const auto &page : Pages().pages) {
        GumboOutput *output = gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size());
        CollectGumbo(output->root, links);
        gumbo_destroy_output(&kGumboDefaultOptions, output);
    }
    return links;
}

void BM_NormalizeMarkup(benchmark::State &state)
{
    std::string work;
    for (auto _ : state) {
        for (const auto &page : Pages().pages) {
            NormalizeMarkupInto(work, page, true, false);
            benchmark::DoNotOptimize(work.data());
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Pages().bytes));
}
BENCHMARK(BM_NormalizeMarkup)->Unit(benchmark::kMillisecond);

// The copy into the working buffer (a memcpy, far faster than the pass) is included.
void BM_LocalizeHrefSrc(benchmark::State &state)
{
    std::string work;
    for (auto _ : state) {
        for (const auto &text : Prep().normalized) {
            work.assign(text);
            benchmark::DoNotOptimize(LocalizeHrefSrc(work));
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Prep().normalizedBytes));
}
BENCHMARK(BM_LocalizeHrefSrc)->Unit(benchmark::kMillisecond);

void BM_ParseHtmlLinkPass(benchmark::State &state)
{
    std::string work;
    int32_t areas = 0;
    for (auto _ : state) {
        for (const auto &text : Prep().marked) {
            work.assign(text);
            benchmark::DoNotOptimize(LinkPass(work, areas));
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Prep().normalizedBytes));
}
BENCHMARK(BM_ParseHtmlLinkPass)->Unit(benchmark::kMillisecond);

void BM_WholeAnalysis(benchmark::State &state)
{
    std::string work;
    for (auto _ : state)
        benchmark::DoNotOptimize(WholeAnalysis(work));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Pages().bytes));
}
BENCHMARK(BM_WholeAnalysis)->Unit(benchmark::kMillisecond);

void BM_GumboHrefSrcValue(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(GumboAnalysis());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Pages().bytes));
}
BENCHMARK(BM_GumboHrefSrcValue)->Unit(benchmark::kMillisecond);

template <class F>
double BestSeconds(F &&f, int runs)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(f());
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        best = std::min(best, s);
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    (void)Pages();
    (void)Prep();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::string work;
    (void)WholeAnalysis(work); // warm the working buffer up to the largest page
    const long before = g_allocations.load();
    const size_t links = WholeAnalysis(work);
    const long allocations = g_allocations.load() - before;
    const double ours = BestSeconds([&] { return WholeAnalysis(work); }, 5);
    const double gumbo = BestSeconds([] { return GumboAnalysis(); }, 5);
    const double mb = Pages().bytes / 1e6;
    std::printf("whole analysis %.0f MB/s, gumbo %.0f MB/s: %.1f times as fast\n", mb / ours, mb / gumbo,
                gumbo / ours);
    std::printf("allocations in one whole analysis of %zu pages (%.1f MB, %zu link bytes): %ld\n",
                Pages().pages.size(), mb, links, allocations);
    return 0;
}
