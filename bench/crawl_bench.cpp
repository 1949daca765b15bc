// Crawl throughput: a generated site (a start page linking to every other page), each answered after 100 ms by the test
// server, crawled in-process at concurrency 10. Prints pages per second (up to the last page
// received) next to the ceiling the design allows, and the crawler's main-thread CPU time per
// page. A figure, not a test.
#include "platform/coreapp.h"
#include "sifton/sifton.h"
#include "tests/support/httpserver.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

using namespace std::chrono;

namespace {

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    platform::TCoreApplication app(argc, argv);
    constexpr int kPages = 300;
    constexpr int kConcurrency = 10;
    constexpr auto kDelay = milliseconds(100);

    testsupport::HttpServer server;
    for (int i = 0; i < kPages; ++i) {
        std::string body = "<html><head><title>Page " + std::to_string(i) + "</title></head><body>";
        // The start page links to every other page, so that all fetch slots have work at once.
        for (int child = 1; i == 0 && child < kPages; ++child)
            body += "<a href=\"p" + std::to_string(child) + ".html\">page " + std::to_string(child) + "</a>\n";
        for (int k = 0; k < 3; ++k)
            body += "<img src=\"img/" + std::to_string(i) + "_" + std::to_string(k) + ".jpg\">\n";
        body += "</body></html>";
        server.route("/p" + std::to_string(i) + ".html", testsupport::Response::html(body).withHeaderDelay(kDelay));
    }

    TSifton crawler;
    crawler.ResultFile = RESULTS_NOTHING;
    crawler.SetDepthSearchLevel(100);
    crawler.SetConcurrentDownloads(kConcurrency);
    crawler.SetProxyType(PROXY_DIRECT);
    int pages = 0;
    steady_clock::time_point lastPage;
    crawler.OnPageReceived = [&](TSifton *, const std::string &, const std::string &, const std::string &,
                                 const std::string &) {
        ++pages;
        lastPage = steady_clock::now();
    };
    QEventLoop loop;
    crawler.OnWorking = [&](TKvDwnld *, bool working) {
        if (!working)
            QTimer::singleShot(0, &loop, &QEventLoop::quit);
    };

    const double cpuBefore = threadCpuSeconds();
    const auto start = steady_clock::now();
    if (!crawler.Start(server.url("/p0.html")))
        return 1;
    loop.exec();
    const double cpu = threadCpuSeconds() - cpuBefore;
    const double seconds = duration<double>(lastPage - start).count();

    // A fetch slot turns over in whole 200 ms ticks: the tick that starts the fetch, as many as
    // the answer takes, then one tick that sees the fetch ended, one that delivers the page and
    // frees the slot, and the next tick starts the next fetch. The naive ceiling counts only
    // the ticks the answer takes.
    const double tick = 0.2;
    const double answerTicks = std::max(1.0, std::ceil(duration<double>(kDelay).count() / tick));
    const double ceiling = kConcurrency / ((answerTicks + 2) * tick);
    const double naiveCeiling = kConcurrency / (answerTicks * tick);
    std::printf("crawl of %d pages (%d received), concurrency %d, %lld ms per answer\n", kPages, pages, kConcurrency,
                static_cast<long long>(kDelay.count()));
    std::printf("  pages per second:          %.1f\n", pages / seconds);
    std::printf("  ceiling of the tick cycle: %.1f (ratio %.2f); with no ticks between fetches: %.1f (ratio %.2f)\n",
                ceiling, (pages / seconds) / ceiling, naiveCeiling, (pages / seconds) / naiveCeiling);
    std::printf("  main-thread CPU per page:  %.3f ms\n", 1000.0 * cpu / std::max(1, pages));
    return pages == kPages ? 0 : 1;
}
