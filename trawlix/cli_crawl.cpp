#include "trawlix/cli_crawl.h"

#include "platform/coreapp.h"
#include "sifton/sifton.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QSocketNotifier>

#include <chrono>
#include <csignal>
#include <string>
#include <unistd.h>

namespace cli {
namespace {

std::string joinLines(const std::vector<std::string> &items)
{
    std::string text;
    for (const std::string &item : items) {
        if (!text.empty())
            text += '\n';
        text += item;
    }
    return text;
}

TLinkScan scanOf(Scope scope)
{
    switch (scope) {
    case Scope::Site:
        return scanInitialSite;
    case Scope::Path:
        return scanInitialPath;
    case Scope::All:
        break;
    }
    return scanAllLinks;
}

TLinkReport reportOf(Scope scope)
{
    switch (scope) {
    case Scope::Site:
        return reportCurrentSiteLinks;
    case Scope::Path:
        return reportCurrentPathLinks;
    case Scope::All:
        break;
    }
    return reportAllLinks;
}

// Everything the crawl prints on stderr. On a terminal the statistics are one line redrawn in
// place; every other line first clears it. Elsewhere the statistics are plain lines, at most
// one a second, and the last one when the crawl ends.
class Console {
public:
    Console(std::FILE *err, bool live, bool quiet)
        : err_(err)
        , live_(live)
        , quiet_(quiet)
    {
    }

    void line(const std::string &text)
    {
        clearLive();
        std::fprintf(err_, "%s\n", text.c_str());
        std::fflush(err_);
    }

    void stats(int inQueue, int downloading, int toAnalyze, int done, int retries, int errors)
    {
        last_ = "in queue " + std::to_string(inQueue) + ", downloading " + std::to_string(downloading)
            + ", to analyze " + std::to_string(toAnalyze) + ", done " + std::to_string(done) + ", retries "
            + std::to_string(retries) + ", errors " + std::to_string(errors);
        if (quiet_)
            return;
        if (live_) {
            std::fprintf(err_, "\r\033[K%s", last_.c_str());
            std::fflush(err_);
            liveShown_ = true;
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - lastPrinted_ >= std::chrono::seconds(1)) {
            line(last_);
            lastPrinted_ = now;
            pending_ = false;
        } else {
            pending_ = true;
        }
    }

    void finish()
    {
        if (quiet_)
            return;
        if (live_ && liveShown_) {
            std::fprintf(err_, "\n");
            liveShown_ = false;
        } else if (pending_) {
            line(last_);
        }
        std::fflush(err_);
    }

private:
    void clearLive()
    {
        if (live_ && liveShown_) {
            std::fprintf(err_, "\r\033[K");
            liveShown_ = false;
        }
    }

    std::FILE *err_;
    bool live_, quiet_;
    bool liveShown_ = false;
    bool pending_ = false;
    std::string last_;
    std::chrono::steady_clock::time_point lastPrinted_{};
};

// Ctrl-C stops the crawl the way the Stop button does (running fetches are killed, the crawl
// winds down and the results file is closed); a second Ctrl-C ends the program at once.
int g_signalPipe[2] = {-1, -1};

void onInterrupt(int)
{
    const char byte = 1;
    const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
    (void)written;
}

} // namespace

int RunCrawl(const CrawlOptions &options, std::FILE *err, bool errIsTerminal)
{
    Console console(err, errIsTerminal, options.quiet);
    SetShowMessageHook([&console](const std::string &text) { console.line("trawlix-cli: " + text); });

    TSifton crawler;
    crawler.SetDepthSearchLevel(options.depth);
    crawler.SetConcurrentDownloads(options.concurrency);
    crawler.SetRetries(options.retries);
    crawler.SetTimeOut(options.timeoutSeconds);
    crawler.SetMaxQueueSize(options.maxQueueSize);
    crawler.LinkScan = scanOf(options.scope);
    crawler.LinkReport = reportOf(options.report);
    crawler.ResultFile = RESULTS_FILEOFRESULTS;
    // An absolute path, so the crawler does not move a bare name into a "Download" folder.
    crawler.SetFileOfResults(QFileInfo(QString::fromStdString(options.resultsFile)).absoluteFilePath().toStdString());
    crawler.SetKeywordsFilter(joinLines(options.keywordFilter));
    crawler.KeywordsFilterEnabled = !options.keywordFilter.empty();
    crawler.SetKeywordsLimiter(joinLines(options.keywordLimiter));
    crawler.KeywordsLimiterEnabled = !options.keywordLimiter.empty();
    if (!options.typeFilter.empty()) {
        crawler.SetTypeFilter(joinLines(options.typeFilter));
        crawler.TypeFilterEnabled = true;
    }
    crawler.SeekRobotsTxt = options.seekRobots;
    if (!options.proxyHost.empty()) {
        crawler.SetProxyType(PROXY_USEPROXY);
        crawler.SetProxyAddress(options.proxyHost);
        crawler.SetProxyPort(options.proxyPort);
    } else {
        crawler.SetProxyType(PROXY_DEFAULT);
    }
    crawler.SetProxyUser(options.proxyUser);
    crawler.SetProxyPassword(options.proxyPassword);
    crawler.SetUserName(options.user);
    crawler.SetPassword(options.password);
    if (!options.agent.empty())
        crawler.SetAgent(options.agent);

    if (options.log) {
        crawler.OnLog = [&console](TSifton *, const std::string &message) { console.line(message); };
        crawler.SetLogsEnabled(true);
    }
    if (options.meta) {
        crawler.OnMetaTag = [&console](TSifton *, const std::string &url, const std::string &, const std::string &type,
                                       const std::string &a1, const std::string &v1, const std::string &a2,
                                       const std::string &v2, const std::string &a3, const std::string &v3) {
            std::string text = "meta: " + url + " " + type;
            for (const auto &[attribute, value] : {std::pair(a1, v1), std::pair(a2, v2), std::pair(a3, v3)})
                if (!attribute.empty() || !value.empty())
                    text += " " + attribute + "=" + value;
            console.line(text);
        };
    }
    crawler.OnError = [&console, &options](TKvDwnld *, const std::string &url, uint32_t code,
                                           const std::string &message) {
        if (!options.quiet)
            console.line("error " + std::to_string(code) + ": " + url + ": " + message);
    };
    crawler.OnUpdatedStats = [&console](TSifton *, int inQueue, int downloading, int toAnalyze, int done,
                                        int retries, int errors) {
        console.stats(inQueue, downloading, toAnalyze, done, retries, errors);
    };
    // The crawl runs in a loop of its own, which ends when the crawler stops working.
    QEventLoop crawlLoop;
    crawler.OnWorking = [&crawlLoop](TKvDwnld *, bool working) {
        if (!working)
            QMetaObject::invokeMethod(&crawlLoop, &QEventLoop::quit, Qt::QueuedConnection);
    };

    // An error escaping the crawl (a results file that can no longer be written) ends it.
    int status = 0;
    auto *application = qobject_cast<platform::TCoreApplication *>(QCoreApplication::instance());
    platform::ExceptionReporter previousReporter;
    if (application) {
        previousReporter = application->Reporter();
        application->SetReporter([&](const QString &, const QString &message) {
            console.line("trawlix-cli: " + message.toStdString());
            status = 1;
            if (!crawler.Stop())
                crawlLoop.quit();
        });
    }

    if (!crawler.Start(options.url)) {
        if (application)
            application->SetReporter(previousReporter);
        SetShowMessageHook(nullptr);
        return 1;
    }

    std::unique_ptr<QSocketNotifier> interrupt;
    if (::pipe(g_signalPipe) == 0) {
        interrupt = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        int interrupts = 0;
        QObject::connect(interrupt.get(), &QSocketNotifier::activated, [&] {
            char byte;
            const ssize_t got = ::read(g_signalPipe[0], &byte, 1);
            (void)got;
            if (++interrupts == 1 && crawler.Stop()) {
                console.line("trawlix-cli: stopping (Ctrl-C again to quit at once)");
                return;
            }
            console.finish();
            std::_Exit(130);
        });
        std::signal(SIGINT, onInterrupt);
    }

    if (crawler.Working())
        crawlLoop.exec();
    console.finish();

    std::signal(SIGINT, SIG_DFL);
    interrupt.reset();
    if (g_signalPipe[0] >= 0) {
        ::close(g_signalPipe[0]);
        ::close(g_signalPipe[1]);
        g_signalPipe[0] = g_signalPipe[1] = -1;
    }
    if (application)
        application->SetReporter(previousReporter);
    SetShowMessageHook(nullptr);
    return status;
}

} // namespace cli
