// Cracks the same list of real-world URLs with TCrackUrl::CrackUrl and with libcurl's URL API
// (curl_url_set of the URL, then curl_url_get of scheme, host, port, user, password, path,
// query and fragment, decoded where CrackUrl decodes), in one run, and prints URLs per second
// of each and their ratio.
#include "platform/url.h"
#include "sifton/crkurl.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

const std::vector<std::string> &corpus()
{
    static const std::vector<std::string> urls = [] {
        std::vector<std::string> list;
        std::ifstream in(TRAWLIX_CORPUS_DIR "/urls/kasztp.txt");
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("\xEF\xBB\xBF", 0) == 0)
                line.erase(0, 3); // byte-order mark
            if (!line.empty())
                list.push_back(line);
        }
        return list;
    }();
    return urls;
}

void BM_CrackUrl(benchmark::State &state)
{
    const auto &urls = corpus();
    TCrackUrl record;
    size_t cracked = 0;
    for (auto _ : state) {
        for (const auto &url : urls) {
            cracked += record.CrackUrl(url, "") ? 1 : 0;
            benchmark::DoNotOptimize(record.Domain.data());
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * urls.size()));
    state.counters["cracked_per_pass"] = static_cast<double>(cracked) / static_cast<double>(state.iterations());
}

void BM_SplitUrlOnly(benchmark::State &state)
{
    const auto &urls = corpus();
    static char buffers[6][1024];
    size_t cracked = 0;
    for (auto _ : state) {
        for (const auto &url : urls) {
            platform::URL_COMPONENTSA c;
            c.lpszScheme = buffers[0];
            c.lpszHostName = buffers[1];
            c.lpszUserName = buffers[2];
            c.lpszPassword = buffers[3];
            c.lpszUrlPath = buffers[4];
            c.lpszExtraInfo = buffers[5];
            c.dwSchemeLength = c.dwHostNameLength = c.dwUserNameLength = 1024;
            c.dwPasswordLength = c.dwUrlPathLength = c.dwExtraInfoLength = 1024;
            cracked += platform::SplitUrl(url, c, true) ? 1 : 0;
            benchmark::DoNotOptimize(c.nPort);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * urls.size()));
    state.counters["cracked_per_pass"] = static_cast<double>(cracked) / static_cast<double>(state.iterations());
}

void BM_CurlUrlApi(benchmark::State &state)
{
    const auto &urls = corpus();
    CURLU *handle = curl_url();
    struct Part {
        CURLUPart part;
        unsigned flags;
    };
    const Part parts[] = {
        {CURLUPART_SCHEME, 0},
        {CURLUPART_HOST, CURLU_URLDECODE},
        {CURLUPART_PORT, CURLU_DEFAULT_PORT},
        {CURLUPART_USER, CURLU_URLDECODE},
        {CURLUPART_PASSWORD, CURLU_URLDECODE},
        {CURLUPART_PATH, CURLU_URLDECODE},
        {CURLUPART_QUERY, CURLU_URLDECODE},
        {CURLUPART_FRAGMENT, CURLU_URLDECODE},
    };
    size_t cracked = 0;
    for (auto _ : state) {
        for (const auto &url : urls) {
            if (curl_url_set(handle, CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
                continue;
            ++cracked;
            for (const auto &p : parts) {
                char *text = nullptr;
                if (curl_url_get(handle, p.part, &text, p.flags) == CURLUE_OK) {
                    benchmark::DoNotOptimize(text);
                    curl_free(text);
                }
            }
        }
    }
    curl_url_cleanup(handle);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * urls.size()));
    state.counters["cracked_per_pass"] = static_cast<double>(cracked) / static_cast<double>(state.iterations());
}

BENCHMARK(BM_CrackUrl)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplitUrlOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CurlUrlApi)->Unit(benchmark::kMillisecond);

// Prints the usual table, then the ratio of the URL rates measured in this run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const auto &run : runs) {
            const auto it = run.counters.find("items_per_second");
            if (it == run.counters.end())
                continue;
            // With --benchmark_repetitions the median stands for the benchmark; otherwise its run.
            if (run.run_type == Run::RT_Iteration && !m_fromMedian.count(run.run_name.function_name))
                m_rates[run.run_name.function_name] = it->second.value;
            else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                m_rates[run.run_name.function_name] = it->second.value;
                m_fromMedian.insert(run.run_name.function_name);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const auto ours = m_rates.find("BM_CrackUrl");
        const auto theirs = m_rates.find("BM_CurlUrlApi");
        std::printf("\nURLs in the corpus: %zu\n", corpus().size());
        for (const auto &[name, rate] : m_rates)
            std::printf("%-20s %12.0f URLs/s\n", name.c_str(), rate);
        if (ours != m_rates.end() && theirs != m_rates.end() && theirs->second > 0)
            std::printf("CrackUrl / libcurl URL API: %.2f\n", ours->second / theirs->second);
    }

private:
    std::map<std::string, double> m_rates;
    std::set<std::string> m_fromMedian;
};

} // namespace

int main(int argc, char **argv)
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchmark::Initialize(&argc, argv);
    if (corpus().empty()) {
        std::fprintf(stderr, "crackurl_bench: no URLs in %s\n", TRAWLIX_CORPUS_DIR "/urls/kasztp.txt");
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    curl_global_cleanup();
    return 0;
}
