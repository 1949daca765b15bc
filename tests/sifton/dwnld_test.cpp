// The download scheduler, driven as its owner drives it: the tests call OnTimer and
// RefreshStats by hand (no real 200 ms ticks) and set the clock the time-out is judged by.
// Only the fetch threads' own network progress is waited for, by serving events.
#include "platform/inet.h"
#include "platform/tick.h"
#include "sifton/dwnld.h"
#include "tests/support/events.h"
#include "tests/support/httpserver.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

using testsupport::HttpServer;
using testsupport::Response;
using testsupport::serveEventsUntil;
using namespace std::chrono_literals;

namespace {

struct ErrorEvent {
    std::string url;
    uint32_t code = 0;
    std::string message;
    std::string referer;
    int tag = 0;
};

struct Page {
    std::string url, data, referer;
    int depth = 0, countArea = 0, retriesDone = 0;
    char linkKind = 0;
    bool fromDisk = false;
};

// Records everything a scheduler raises. `order` holds one short line per event, in order.
struct Recorder {
    std::vector<std::string> order;
    std::vector<ErrorEvent> errors;
    std::vector<TErrorInfo> errorInfos;
    std::vector<Page> pages;
    std::vector<std::string> logs;
    std::vector<std::pair<int, int>> starts; // (Index, CallerTag)
    std::vector<uint32_t> progress;
    int heads = 0;
    bool logSenderWasGetter = false;

    void attach(TKvDwnld &d)
    {
        d.OnUpdatedStats = [this](TKvDwnld *, int, int inQueue, int downloading, int toAnalyze, int done, int retries,
                                  int errors, int onDisk) {
            order.push_back("stats " + std::to_string(inQueue) + " " + std::to_string(downloading) + " " +
                            std::to_string(toAnalyze) + " " + std::to_string(done) + " " + std::to_string(retries) +
                            " " + std::to_string(errors) + " " + std::to_string(onDisk));
        };
        d.OnDataReceived = [this](TKvDwnld *, TKvHttpGet *get, bool fromDisk) {
            order.push_back("data " + get->Url.Url());
            pages.push_back({get->Url.Url(), get->DataString, get->Referer, get->DepthSearchLevel, get->CountArea,
                             get->RetriesDone, get->LinkKind, fromDisk});
        };
        d.OnDwnldLog = [this](TDwnldLogSender sender, const std::string &line) {
            logs.push_back(line);
            logSenderWasGetter |= std::holds_alternative<TKvHttpGet *>(sender);
        };
        d.OnGetError = [this](TKvDwnld *, int tag, const std::string &url, uint32_t code, const std::string &message,
                              const std::string &referer) {
            order.push_back("error " + std::to_string(code));
            errors.push_back({url, code, message, referer, tag});
        };
        d.OnGetError2 = [this](TKvDwnld *, TKvHttpGet *, TErrorInfo info) { errorInfos.push_back(info); };
        d.OnProgress = [this](TKvHttpGet *, uint32_t bytes) { progress.push_back(bytes); };
        d.OnStartingGet = [this](int index, int callerTag) { starts.emplace_back(index, callerTag); };
        d.OnDwnldHeadComplete = [this](THTTPGetThread *, int, const std::string &, const std::string &, int,
                                       const std::string &, int, int, bool &, int) { ++heads; };
        d.OnReinit = [this] { order.push_back("reinit"); };
        d.OnCanReinit = [this](TKvDwnld *, bool &) { order.push_back("canreinit"); };
        d.OnWorking = [this](TKvDwnld *, bool working) { order.push_back(working ? "working 1" : "working 0"); };
    }

    [[nodiscard]] size_t count(const std::string &prefix) const
    {
        size_t n = 0;
        for (const auto &line : order)
            n += line.rfind(prefix, 0) == 0;
        return n;
    }
};

// Server routes whose answer waits until the test opens the route's gate, so fetches can be
// held running. The destructor opens every gate so that server threads can finish.
class Gates {
public:
    ~Gates() { openAll(); }

    HttpServer::Handler handler(std::string body)
    {
        return [this, body](const testsupport::Request &request) {
            std::unique_lock lock(mutex_);
            ++arrived_;
            changed_.notify_all();
            changed_.wait(lock, [&] { return all_ || open_.count(request.path) > 0; });
            return Response::html(body);
        };
    }
    void open(const std::string &path)
    {
        std::lock_guard lock(mutex_);
        open_.insert(path);
        changed_.notify_all();
    }
    void openAll()
    {
        std::lock_guard lock(mutex_);
        all_ = true;
        changed_.notify_all();
    }
    // True once `count` requests are held (or were answered).
    [[nodiscard]] bool waitForArrivals(int count)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 5s, [&] { return arrived_ >= count; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::set<std::string> open_;
    bool all_ = false;
    int arrived_ = 0;
};

bool AnyGetting(const TKvDwnld &d)
{
    for (const auto &get : d.TabGets)
        if (get->State == GETHTTP_GETTING)
            return true;
    return false;
}

bool Quiet(const TKvDwnld &d)
{
    if (d.QueueCount() != 0)
        return false;
    for (const auto &get : d.TabGets)
        if (get->State != GETHTTP_WAITING && get->State != GETHTTP_NOTUSED)
            return false;
    return true;
}

// Serves the fetch threads until none of the scheduler's getters is still fetching.
[[nodiscard]] bool AwaitFetches(const TKvDwnld &d)
{
    return serveEventsUntil([&] { return !AnyGetting(d); });
}

// Ticks, letting each tick's fetches end, until the queue is empty and every getter waits.
// Returns the number of ticks it took, or -1.
int RunToQuiet(TKvDwnld &d, int maxTicks = 60)
{
    for (int n = 1; n <= maxTicks; ++n) {
        d.OnTimer();
        if (!AwaitFetches(d))
            return -1;
        if (Quiet(d))
            return n;
    }
    return -1;
}

class DwnldTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *name : {"http_proxy", "HTTP_PROXY", "no_proxy", "NO_PROXY", "all_proxy", "ALL_PROXY"})
            ::unsetenv(name);
        prepare(dwnld, rec);
    }

    void prepare(TKvDwnld &d, Recorder &r)
    {
        d.ProxyType = PROXY_DIRECT;
        d.Concurrency = 1;
        r.attach(d);
    }

    // Queues as the scan controller queues a link found on a page.
    void queue(TKvDwnld &d, const std::string &url, int depth = 2, bool priority = false, int callerTag = -1)
    {
        ASSERT_TRUE(d.AddInQueue(url, "http://referrer.test/", depth, 0, 'a', STORE_TO_DATASTRING, 5, priority,
                                 callerTag));
    }

    HttpServer server;
    Gates gates;
    Recorder rec;
    TKvDwnld dwnld;
};

TEST_F(DwnldTest, Defaults)
{
    TKvDwnld fresh;
    EXPECT_EQ(fresh.Tag, 0);
    EXPECT_EQ(fresh.IdleTicks, 10);
    EXPECT_EQ(fresh.RetryCount, 3);
    EXPECT_EQ(fresh.TimeOut, 300);
    EXPECT_EQ(fresh.DepthSearchLevel, 2);
    EXPECT_EQ(fresh.Concurrency, 3);
    EXPECT_EQ(fresh.ProxyType, PROXY_DEFAULT);
    EXPECT_EQ(fresh.ProxyPort, 80);
    EXPECT_EQ(fresh.Agent, "Sifton/1.0");
    EXPECT_TRUE(fresh.Accepting);
    EXPECT_FALSE(fresh.Working);
    EXPECT_FALSE(fresh.Aborting);
    EXPECT_FALSE(fresh.LeavesFirst);
    EXPECT_TRUE(fresh.TabGets.empty()) << "the first tick builds the pool";
    fresh.OnTimer();
    ASSERT_EQ(fresh.TabGets.size(), 3u);
    for (const auto &get : fresh.TabGets)
        EXPECT_EQ(get->State, GETHTTP_WAITING);
}

TEST_F(DwnldTest, FirstUrlOfACrawlResetsThenWorksThenQueues)
{
    dwnld.Tag = 1;
    dwnld.Done = 4;
    dwnld.Errors = 2;
    dwnld.Retries = 1;
    dwnld.AlreadyOnDisk = 3;
    dwnld.Queue.Add(1, "http://stale.test/", "", 1, 0, ' ', STORE_TO_DATASTRING, 0, true, -1);
    int queuedWhenWorking = -1;
    dwnld.OnWorking = [&](TKvDwnld *, bool working) {
        rec.order.push_back(working ? "working 1" : "working 0");
        queuedWhenWorking = dwnld.QueueCount();
    };

    queue(dwnld, "http://a.test/");
    EXPECT_EQ(rec.order, (std::vector<std::string>{"canreinit", "stats 0 0 0 0 0 0 0", "reinit", "working 1"}));
    EXPECT_EQ(queuedWhenWorking, 0) << "the URL is queued after the reset and the working event";
    EXPECT_TRUE(dwnld.Working);
    EXPECT_EQ(dwnld.Done + dwnld.Errors + dwnld.Retries + dwnld.AlreadyOnDisk, 0);
    ASSERT_EQ(dwnld.QueueCount(), 1);
    EXPECT_EQ(dwnld.Queue.List[0].Url, "http://a.test/");
    EXPECT_FALSE(dwnld.HasPriority) << "cleared by the reset";
    EXPECT_EQ(dwnld.LastStats.Done, 99999) << "the first check of the crawl counts as a change";

    rec.order.clear();
    queue(dwnld, "http://b.test/", 2, true);
    EXPECT_TRUE(rec.order.empty()) << "later URLs of the same crawl raise nothing";
    EXPECT_TRUE(dwnld.HasPriority);
    EXPECT_EQ(dwnld.QueueCount(), 2);
}

TEST_F(DwnldTest, VetoedResetKeepsTheOldCountersAndQueue)
{
    dwnld.Done = 4;
    dwnld.Errors = 2;
    dwnld.Queue.Add(0, "http://old.test/", "", 1, 0, ' ', STORE_TO_DATASTRING, 0, false, -1);
    dwnld.OnCanReinit = [&](TKvDwnld *, bool &mayReset) {
        rec.order.push_back("canreinit");
        mayReset = false;
    };
    queue(dwnld, "http://new.test/");
    EXPECT_EQ(rec.order, (std::vector<std::string>{"canreinit", "working 1"}));
    EXPECT_EQ(dwnld.Done, 4);
    EXPECT_EQ(dwnld.Errors, 2);
    ASSERT_EQ(dwnld.QueueCount(), 2);
    EXPECT_EQ(dwnld.Queue.List[0].Url, "http://old.test/");
    EXPECT_EQ(dwnld.Queue.List[1].Url, "http://new.test/");
}

TEST_F(DwnldTest, RefusesOnlyAfterExitAndSwallowsUrlsWhileStopping)
{
    dwnld.Aborting = true;
    EXPECT_TRUE(dwnld.AddInQueue("http://a.test/", "", 1, 0, ' ', STORE_TO_DATASTRING, 0, false, -1));
    EXPECT_EQ(dwnld.QueueCount(), 0);
    EXPECT_TRUE(rec.order.empty()) << "a stopping scheduler starts no crawl";
    dwnld.Aborting = false;
    dwnld.Accepting = false;
    EXPECT_FALSE(dwnld.AddInQueue("http://a.test/", "", 1, 0, ' ', STORE_TO_DATASTRING, 0, false, -1));
    EXPECT_EQ(dwnld.QueueCount(), 0);
    EXPECT_FALSE(dwnld.Working);
    EXPECT_TRUE(rec.order.empty());
}

TEST_F(DwnldTest, PageIsFetchedWithTheEntrysSettingsAndDeliveredTheTickAfterItEnded)
{
    server.route("/page.html", Response::html("<html>page</html>"));
    dwnld.Tag = 1;
    dwnld.Agent = "TestAgent/2";
    const std::string url = server.url("/page.html");
    ASSERT_TRUE(dwnld.AddInQueue(url, "http://referrer.test/", 2, 0, 'a', HEAD_ONLY, 5, false, 7));

    dwnld.OnTimer();
    ASSERT_EQ(dwnld.TabGets.size(), 1u);
    TKvHttpGet &get = *dwnld.TabGets[0];
    EXPECT_EQ(get.State, GETHTTP_GETTING);
    EXPECT_EQ(get.GetAction, STORE_TO_DATASTRING) << "without a save root the page is kept in memory";
    EXPECT_EQ(get.GetTimeOut(), 300);
    EXPECT_EQ(rec.starts, (std::vector<std::pair<int, int>>{{0, 7}}));
    EXPECT_EQ(dwnld.QueueCount(), 0);
    ASSERT_TRUE(AwaitFetches(dwnld));
    EXPECT_EQ(get.State, GETHTTP_THREAD_DONE);

    EXPECT_TRUE(dwnld.RefreshStats());
    dwnld.OnTimer();
    EXPECT_EQ(get.State, GETHTTP_OK);
    EXPECT_TRUE(rec.pages.empty()) << "handed over on the next tick";
    EXPECT_TRUE(dwnld.RefreshStats());
    EXPECT_EQ(rec.order.back(), "stats 0 0 1 0 0 0 0") << "one page waiting to be analysed";

    dwnld.OnTimer();
    ASSERT_EQ(rec.pages.size(), 1u);
    const Page &page = rec.pages[0];
    EXPECT_EQ(page.url, url);
    EXPECT_EQ(page.data, "<html>page</html>");
    EXPECT_EQ(page.referer, "http://referrer.test/");
    EXPECT_EQ(page.depth, 2);
    EXPECT_EQ(page.countArea, 5);
    EXPECT_EQ(page.linkKind, 'a');
    EXPECT_FALSE(page.fromDisk);
    EXPECT_EQ(dwnld.Done, 1);
    EXPECT_EQ(rec.heads, 1);
    EXPECT_EQ(rec.progress, (std::vector<uint32_t>{0xFFFFFFFFu, 0}));
    EXPECT_EQ(rec.logs, (std::vector<std::string>{"starting download for " + url, "thread done: " + url}));
    EXPECT_TRUE(rec.logSenderWasGetter) << "the getter writes its own line";
    EXPECT_TRUE(rec.errors.empty());
    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(server.requests()[0].headers.value("Referer"), "http://referrer.test/");
    EXPECT_EQ(server.requests()[0].headers.value("User-Agent"), "TestAgent/2");
}

// Each status on an HTML page, with one retry allowed: a final status is reported at once,
// a retried one is fetched again and then fails for good.
TEST_F(DwnldTest, StatusDecidesBetweenReportRetryAndDelivery)
{
    struct Case {
        int status;
        bool retried;
    };
    const Case cases[] = {{404, false}, {403, false}, {410, false}, {201, true}, {299, true},
                          {500, true},  {503, true},  {599, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.status);
        const std::string path = "/status" + std::to_string(c.status) + ".html";
        server.route(path, Response::html("<html>status</html>", c.status));
        Recorder r;
        TKvDwnld d;
        prepare(d, r);
        d.RetryCount = 1;
        queue(d, server.url(path));
        ASSERT_GT(RunToQuiet(d), 0);

        ASSERT_EQ(r.errors.size(), 1u);
        EXPECT_EQ(r.errors[0].url, server.url(path));
        EXPECT_EQ(r.errors[0].code, uint32_t(c.status));
        EXPECT_EQ(r.errors[0].referer, "http://referrer.test/");
        EXPECT_TRUE(r.pages.empty());
        EXPECT_EQ(d.Done, 0);
        if (c.retried) {
            EXPECT_EQ(r.errors[0].message, "");
            EXPECT_EQ(r.errorInfos, std::vector<TErrorInfo>{ERROR_OTHER});
            EXPECT_EQ(server.requestsFor(path).size(), 2u);
            EXPECT_EQ(d.Retries, 1);
            EXPECT_EQ(d.Errors, 1);
        } else {
            EXPECT_EQ(r.errors[0].message, "ERROR");
            EXPECT_EQ(r.errorInfos, std::vector<TErrorInfo>{ERROR_RETRYCOUNT});
            EXPECT_EQ(server.requestsFor(path).size(), 1u);
            EXPECT_EQ(d.Retries, 0);
            EXPECT_EQ(d.Errors, 0) << "a final status changes no counter";
        }
    }
}

TEST_F(DwnldTest, BusyPageIsRetriedThreeTimesThenFailsForGood)
{
    const Response busy = Response::html("<html>busy</html>", 503);
    server.routeSequence("/busy.html", {busy, busy, busy, busy, Response::html("<html>late</html>")});
    const std::string url = server.url("/busy.html");
    queue(dwnld, url, 2, false, 7);
    ASSERT_GT(RunToQuiet(dwnld), 0);

    EXPECT_EQ(server.requestsFor("/busy.html").size(), 4u);
    EXPECT_EQ(dwnld.Retries, 3);
    EXPECT_EQ(dwnld.Errors, 1);
    EXPECT_EQ(dwnld.Done, 0);
    ASSERT_EQ(rec.errors.size(), 1u);
    EXPECT_EQ(rec.errors[0].url, url);
    EXPECT_EQ(rec.errors[0].code, 503u);
    EXPECT_EQ(rec.errors[0].message, "");
    EXPECT_EQ(rec.errorInfos, std::vector<TErrorInfo>{ERROR_OTHER});
    EXPECT_EQ(rec.logs.back(), "GetHttp_Error " + url);
    // Re-queued entries lose the caller's tag; the crawl bookkeeping travels on.
    EXPECT_EQ(rec.starts, (std::vector<std::pair<int, int>>{{0, 7}, {0, -1}, {0, -1}, {0, -1}}));
    EXPECT_EQ(dwnld.TabGets[0]->RetriesDone, 3);
    EXPECT_EQ(dwnld.TabGets[0]->DepthSearchLevel, 2);
    EXPECT_EQ(dwnld.TabGets[0]->CountArea, 5);
    EXPECT_EQ(dwnld.TabGets[0]->Referer, "http://referrer.test/");
}

TEST_F(DwnldTest, UrlQueuedWithItsRetriesUsedUpFailsAtItsFirstFailure)
{
    uint16_t closedPort = 0;
    {
        HttpServer gone;
        closedPort = gone.port();
    }
    const std::string url = "http://127.0.0.1:" + std::to_string(closedPort) + "/robots.txt";
    ASSERT_TRUE(dwnld.AddInQueue(url, "", 3, dwnld.RetryCount, 'a', STORE_TO_DATASTRING, 0, false, -1));
    ASSERT_GT(RunToQuiet(dwnld), 0);
    ASSERT_EQ(rec.errors.size(), 1u);
    EXPECT_EQ(rec.errors[0].code, 0u) << "no response arrived";
    EXPECT_EQ(rec.errors[0].message, "");
    EXPECT_EQ(rec.errorInfos, std::vector<TErrorInfo>{ERROR_OTHER});
    EXPECT_EQ(rec.progress, std::vector<uint32_t>{0}) << "a failed fetch ends its progress at 0";
    EXPECT_EQ(dwnld.Retries, 0);
    EXPECT_EQ(dwnld.Errors, 1);
}

TEST_F(DwnldTest, SilentServerTimesOutOnceAndIsNotRetried)
{
    server.route("/silent.html", Response::silence());
    uint32_t now = platform::GetTickCount();
    dwnld.Clock = [&] { return now; };
    dwnld.TimeOut = 10;
    const std::string url = server.url("/silent.html");
    queue(dwnld, url);
    dwnld.OnTimer();
    ASSERT_TRUE(server.waitForRequests(1));
    TKvHttpGet &get = *dwnld.TabGets[0];
    ASSERT_EQ(get.State, GETHTTP_GETTING);
    EXPECT_EQ(get.GetTimeOut(), 10);

    now = get.Deadline;
    dwnld.OnTimer();
    EXPECT_TRUE(rec.errors.empty()) << "the deadline itself has not passed yet";

    now = get.Deadline + 1;
    dwnld.OnTimer();
    ASSERT_EQ(rec.errors.size(), 1u);
    EXPECT_EQ(rec.errors[0].url, "timeout : " + url);
    EXPECT_EQ(rec.errors[0].code, 0u);
    EXPECT_EQ(rec.errors[0].message, "TimeOut");
    EXPECT_EQ(rec.errors[0].referer, "http://referrer.test/");
    EXPECT_EQ(rec.errorInfos, std::vector<TErrorInfo>{ERROR_TIMEDOUT});
    EXPECT_EQ(dwnld.Errors, 1);
    EXPECT_TRUE(get.Killed);

    dwnld.OnTimer();
    EXPECT_EQ(rec.errors.size(), 1u) << "a killed fetch does not time out again";
    ASSERT_GT(RunToQuiet(dwnld), 0);
    EXPECT_TRUE(get.ThreadAborted) << "the killed fetch ends as aborted";
    EXPECT_EQ(rec.errors.size(), 1u);
    EXPECT_EQ(dwnld.Retries, 0);
    EXPECT_EQ(dwnld.Errors, 1);
    EXPECT_EQ(server.requestCount(), 1u);
}

// The deadline is compared through the tick difference, so the wrap of the 32-bit count
// neither fires a time-out early nor hides one.
TEST_F(DwnldTest, TimeOutHoldsAcrossTheWrapOfTheTickCount)
{
    struct Case {
        uint32_t deadline, now;
        bool timedOut;
    };
    const Case cases[] = {{0x00000010u, 0xFFFFFFF0u, false}, {0x00000010u, 0x00000011u, true},
                          {0xFFFFFFF0u, 0x00000010u, true},  {0x00001000u, 0x00001000u, false},
                          {0x00001000u, 0x00000FFFu, false}, {0x00001000u, 0x00001001u, true}};
    uint32_t now = 0;
    dwnld.Clock = [&] { return now; };
    dwnld.OnTimer(); // builds the pool
    TKvHttpGet &get = *dwnld.TabGets[0];
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.deadline << " at " << c.now);
        // A getter busy without a fetch thread, as a STORE_OTHER fetch is.
        get.State = GETHTTP_GETTING;
        get.Busy = true;
        get.Killed = false;
        get.Deadline = c.deadline;
        now = c.now;
        const int before = dwnld.Errors;
        dwnld.OnTimer();
        EXPECT_EQ(dwnld.Errors - before, c.timedOut ? 1 : 0);
    }
    get.State = GETHTTP_WAITING;
    get.Busy = false;
}

TEST_F(DwnldTest, NonHtmlResponseIsDroppedSilently)
{
    server.route("/picture.jpg", Response::withType("image/jpeg", std::string(300, 'x')));
    queue(dwnld, server.url("/picture.jpg"));
    ASSERT_GT(RunToQuiet(dwnld), 0);
    EXPECT_TRUE(rec.errors.empty());
    EXPECT_TRUE(rec.pages.empty());
    EXPECT_EQ(rec.heads, 0);
    EXPECT_EQ(dwnld.Done + dwnld.Errors + dwnld.Retries, 0);
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(dwnld.TabGets[0]->State, GETHTTP_WAITING);
}

TEST_F(DwnldTest, BodyRefusedByTheHeadHandlerIsDroppedSilently)
{
    server.route("/page.html", Response::html("<html>page</html>"));
    dwnld.OnDwnldHeadComplete = [&](THTTPGetThread *, int, const std::string &, const std::string &, int,
                                    const std::string &, int, int, bool &ok, int) { ok = false; };
    queue(dwnld, server.url("/page.html"));
    ASSERT_GT(RunToQuiet(dwnld), 0);
    EXPECT_TRUE(rec.errors.empty());
    EXPECT_TRUE(rec.pages.empty());
    EXPECT_EQ(dwnld.Done + dwnld.Errors + dwnld.Retries, 0);
}

// The head handler installed on each getter: the HTML scheduler (Tag 1) refuses every body
// whose type lacks "htm"; the others leave the choice to their own handler.
TEST_F(DwnldTest, HeadHandlerFiltersByContentTypeAndIsQuietWhileStopping)
{
    struct Case {
        int tag;
        const char *type;
        bool aborting;
        bool ok;
        bool raised;
    };
    const Case cases[] = {
        {1, "text/html", false, true, true},
        {1, "text/html; charset=utf-8", false, true, true},
        {1, "application/xhtml+xml", false, true, true},
        {1, "image/jpeg", false, false, false},
        {1, "TEXT/HTML", false, false, false}, // the test is case-sensitive
        {0, "image/jpeg", false, true, true},
        {1, "image/jpeg", true, true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.type) + " tag " + std::to_string(c.tag) + (c.aborting ? " stopping" : ""));
        dwnld.Tag = c.tag;
        dwnld.Aborting = c.aborting;
        rec.heads = 0;
        bool ok = true;
        dwnld.GetUrlOnHeadComplete(nullptr, "http://a.test/", "HTTP/1.0 200 OK\r\n", 200, c.type, 10, 2, ok, 0);
        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(rec.heads, c.raised ? 1 : 0);
    }
    TKvHttpGet get;
    dwnld.Aborting = false;
    dwnld.Progress(&get, 5);
    dwnld.Aborting = true;
    dwnld.Progress(&get, 6);
    EXPECT_EQ(rec.progress, std::vector<uint32_t>{5}) << "progress is not forwarded while stopping";
}

// The owner's tick: OnTimer, then RefreshStats. A quiet scheduler reports idle on the 11th
// quiet check, with or without a statistics handler.
TEST_F(DwnldTest, IdleIsDetectedOnTheEleventhQuietCheckWithOrWithoutAStatsHandler)
{
    for (const bool withHandler : {true, false}) {
        SCOPED_TRACE(withHandler ? "with OnUpdatedStats" : "without OnUpdatedStats");
        Recorder r;
        TKvDwnld d;
        prepare(d, r);
        d.Concurrency = 2;
        if (!withHandler)
            d.OnUpdatedStats = nullptr;
        d.Reinit();
        auto check = [&] {
            d.OnTimer();
            return d.RefreshStats();
        };
        EXPECT_TRUE(check()) << "the first check after a reset is a change";
        for (int quiet = 1; quiet <= 5; ++quiet)
            EXPECT_TRUE(check()) << quiet;
        d.Done = 1; // any activity restarts the count
        EXPECT_TRUE(check());
        for (int quiet = 1; quiet <= 10; ++quiet)
            ASSERT_TRUE(check()) << quiet;
        EXPECT_FALSE(check()) << "the 11th quiet check";
        if (withHandler) {
            EXPECT_EQ(r.count("stats"), 3u) << "the reset, the first check and the change only";
        }
    }
}

TEST_F(DwnldTest, ActiveGetterOrQueuedUrlKeepsTheCrawlAlive)
{
    dwnld.OnTimer();
    for (int n = 0; n < 11; ++n)
        (void)dwnld.RefreshStats();
    ASSERT_FALSE(dwnld.RefreshStats());
    dwnld.TabGets[0]->State = GETHTTP_ERROR; // a failure waiting for the next tick
    for (int n = 0; n < 20; ++n)
        EXPECT_TRUE(dwnld.RefreshStats());
    dwnld.TabGets[0]->State = GETHTTP_WAITING;
    dwnld.Queue.Add(0, "http://a.test/", "", 1, 0, ' ', STORE_TO_DATASTRING, 0, false, -1);
    for (int n = 0; n < 20; ++n)
        EXPECT_TRUE(dwnld.RefreshStats());
    dwnld.Queue.Clear();
}

// The pick order, one fetch at a time: oldest first; priority entries first, in queue order;
// with LeavesFirst the deepest entry, the oldest of equal depth.
TEST_F(DwnldTest, PickOrder)
{
    struct Entry {
        const char *name;
        int depth;
        bool priority;
    };
    struct Case {
        const char *title;
        bool leavesFirst;
        std::vector<Entry> entries;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"oldest first", false, {{"a", 3, false}, {"b", 1, false}, {"c", 2, false}}, {"a", "b", "c"}},
        {"priority first, in queue order",
         false,
         {{"a", 1, false}, {"p1", 1, true}, {"b", 1, false}, {"p2", 1, true}},
         {"p1", "p2", "a", "b"}},
        {"leaves first: deepest, oldest of equal depth",
         true,
         {{"a", 1, false}, {"b", 3, false}, {"c", 2, false}, {"d", 3, false}},
         {"b", "d", "c", "a"}},
        {"priority before leaves", true, {{"a", 1, false}, {"b", 3, false}, {"p", 1, true}}, {"p", "b", "a"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.title);
        Recorder r;
        TKvDwnld d;
        prepare(d, r);
        d.LeavesFirst = c.leavesFirst;
        for (const Entry &e : c.entries) {
            server.route(std::string("/") + e.name, Response::html(std::string("<html>") + e.name + "</html>"));
            queue(d, server.url(std::string("/") + e.name), e.depth, e.priority);
        }
        ASSERT_GT(RunToQuiet(d), 0);
        std::vector<std::string> fetched;
        for (const Page &page : r.pages)
            fetched.push_back(page.url.substr(page.url.rfind('/') + 1));
        EXPECT_EQ(fetched, c.expected);
        EXPECT_FALSE(d.HasPriority) << "cleared once a search finds no priority entry";
    }
}

TEST_F(DwnldTest, ShrinkingThePoolLetsTheSurplusFetchesFinish)
{
    dwnld.Concurrency = 6;
    for (int i = 0; i < 6; ++i) {
        server.routeHandler("/p" + std::to_string(i), gates.handler("<html>p" + std::to_string(i) + "</html>"));
        queue(dwnld, server.url("/p" + std::to_string(i)));
    }
    dwnld.OnTimer();
    ASSERT_TRUE(gates.waitForArrivals(6));
    for (int i = 0; i < 6; ++i)
        ASSERT_EQ(dwnld.TabGets[i]->Url.Url(), server.url("/p" + std::to_string(i)));

    dwnld.Concurrency = 3;
    for (int i = 0; i < 3; ++i) {
        server.route("/q" + std::to_string(i), Response::html("<html>q</html>"));
        queue(dwnld, server.url("/q" + std::to_string(i)));
    }
    dwnld.OnTimer();
    EXPECT_EQ(dwnld.TabGets.size(), 6u) << "running surplus fetches hold the shrink back";

    for (int i = 3; i < 6; ++i)
        gates.open("/p" + std::to_string(i));
    ASSERT_TRUE(serveEventsUntil([&] {
        for (int i = 3; i < 6; ++i)
            if (dwnld.TabGets[i]->State == GETHTTP_GETTING)
                return false;
        return true;
    }));
    dwnld.OnTimer(); // ended -> ok
    dwnld.OnTimer(); // delivered
    EXPECT_EQ(rec.pages.size(), 3u) << "the surplus fetches are handled normally";
    EXPECT_EQ(dwnld.TabGets.size(), 6u);
    dwnld.OnTimer(); // retired and freed
    EXPECT_EQ(dwnld.TabGets.size(), 3u);
    EXPECT_EQ(dwnld.QueueCount(), 3) << "no surplus getter was started again";

    gates.openAll();
    ASSERT_GT(RunToQuiet(dwnld), 0);
    EXPECT_EQ(rec.pages.size(), 9u);
    EXPECT_EQ(dwnld.TabGets.size(), 3u);
    ASSERT_EQ(rec.starts.size(), 9u);
    for (size_t n = 6; n < 9; ++n)
        EXPECT_LT(rec.starts[n].first, 3) << "later fetches only on the remaining getters";
}

TEST_F(DwnldTest, GetterRetiredByAShrinkIsRevivedWhenConcurrencyRisesAgain)
{
    dwnld.Concurrency = 3;
    for (int i = 0; i < 3; ++i) {
        server.routeHandler("/p" + std::to_string(i), gates.handler("<html>p</html>"));
        queue(dwnld, server.url("/p" + std::to_string(i)));
    }
    dwnld.OnTimer();
    ASSERT_TRUE(gates.waitForArrivals(3));
    dwnld.Concurrency = 1;
    gates.open("/p1");
    ASSERT_TRUE(serveEventsUntil([&] { return dwnld.TabGets[1]->State == GETHTTP_THREAD_DONE; }));
    for (int n = 0; n < 3; ++n)
        dwnld.OnTimer();
    ASSERT_EQ(dwnld.TabGets.size(), 3u) << "getter 2 still fetches";
    ASSERT_EQ(dwnld.TabGets[1]->State, GETHTTP_NOTUSED);

    dwnld.Concurrency = 3;
    server.route("/later", Response::html("<html>later</html>"));
    queue(dwnld, server.url("/later"));
    dwnld.OnTimer();
    ASSERT_FALSE(rec.starts.empty());
    EXPECT_EQ(rec.starts.back().first, 1) << "the retired getter takes work again";
    gates.openAll();
    ASSERT_GT(RunToQuiet(dwnld), 0);
    EXPECT_EQ(rec.pages.size(), 4u);
}

TEST_F(DwnldTest, StoppingClearsTheQueueKillsFetchesAndRaisesNothing)
{
    server.route("/silent.html", Response::silence());
    dwnld.Concurrency = 3;
    for (int i = 0; i < 5; ++i)
        queue(dwnld, server.url("/silent.html?n=" + std::to_string(i)));
    dwnld.OnTimer();
    ASSERT_TRUE(server.waitForRequests(3));
    ASSERT_EQ(dwnld.QueueCount(), 2);

    dwnld.SetAborting(true);
    for (const auto &get : dwnld.TabGets) {
        EXPECT_TRUE(get->Killed);
        EXPECT_FALSE(get->EventsEnabled);
    }
    EXPECT_TRUE(dwnld.AddInQueue(server.url("/more"), "", 2, 0, 'a', STORE_TO_DATASTRING, 0, false, -1));
    EXPECT_EQ(dwnld.QueueCount(), 2) << "nothing is queued while stopping";
    rec.order.clear();
    rec.logs.clear();
    rec.starts.clear();

    int checks = 0;
    for (bool busy = true; busy && checks < 40; ++checks) {
        dwnld.OnTimer();
        ASSERT_TRUE(AwaitFetches(dwnld)) << "killed fetches end at once";
        EXPECT_EQ(dwnld.QueueCount(), 0);
        busy = dwnld.RefreshStats();
    }
    ASSERT_LT(checks, 40) << "a stopping crawl is detected as idle";
    dwnld.SetWorking(false);

    EXPECT_TRUE(rec.errors.empty());
    EXPECT_TRUE(rec.errorInfos.empty());
    EXPECT_TRUE(rec.pages.empty());
    EXPECT_TRUE(rec.starts.empty());
    EXPECT_TRUE(rec.logs.empty()) << "no start line, and killed getters write no end line";
    EXPECT_EQ(rec.order.back(), "working 0");
    EXPECT_EQ(rec.count("error") + rec.count("data"), 0u);
    EXPECT_EQ(dwnld.Retries + dwnld.Errors, 0);
    EXPECT_FALSE(dwnld.Working);
    EXPECT_FALSE(dwnld.Aborting);
    EXPECT_EQ(server.requestCount(), 3u);
    for (const auto &get : dwnld.TabGets)
        EXPECT_EQ(get->State, GETHTTP_WAITING);
}

TEST_F(DwnldTest, DestroyingTheSchedulerStopsItsFetchesWithoutReportingToIt)
{
    server.route("/silent.html", Response::silence());
    server.route("/stall.html", Response::html("<html>start").addChunk("rest", std::chrono::hours(1)));
    bool destroying = false;
    auto doomed = std::make_unique<TKvDwnld>();
    doomed->ProxyType = PROXY_DIRECT;
    doomed->Concurrency = 3;
    int progress = 0;
    doomed->OnProgress = [&](TKvHttpGet *, uint32_t) {
        ++progress;
        EXPECT_FALSE(destroying);
    };
    doomed->OnDwnldLog = [&](TDwnldLogSender, const std::string &) { EXPECT_FALSE(destroying); };
    doomed->OnDwnldHeadComplete = [&](THTTPGetThread *, int, const std::string &, const std::string &, int,
                                      const std::string &, int, int, bool &, int) { EXPECT_FALSE(destroying); };
    queue(*doomed, server.url("/stall.html"));
    queue(*doomed, server.url("/silent.html?n=1"));
    queue(*doomed, server.url("/silent.html?n=2"));
    doomed->OnTimer();
    ASSERT_TRUE(server.waitForRequests(3));
    ASSERT_TRUE(serveEventsUntil([&] { return progress >= 2; })) << "the stalled body has begun";
    destroying = true;
    doomed.reset(); // must neither hang nor leave a thread reporting to a freed getter
    testsupport::serveEventsFor(50ms);
    EXPECT_EQ(platform::inet::OpenHandleCount(), 0u);
}

TEST_F(DwnldTest, EntryWhoseActionStartsNoFetchIsDroppedSilently)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    dwnld.SaveRoot = root.path().toStdString(); // else every entry is fetched into memory
    ASSERT_TRUE(dwnld.AddInQueue(server.url("/other"), "", 2, 0, 'a', STORE_OTHER, 0, false, -1));
    dwnld.OnTimer();
    TKvHttpGet &get = *dwnld.TabGets[0];
    EXPECT_EQ(get.GetAction, STORE_OTHER);
    EXPECT_EQ(get.Thread, nullptr);
    ASSERT_GT(RunToQuiet(dwnld), 0);
    EXPECT_FALSE(get.Busy) << "the slot is free again";
    EXPECT_TRUE(rec.errors.empty());
    EXPECT_TRUE(rec.pages.empty());
    EXPECT_EQ(dwnld.Done + dwnld.Errors + dwnld.Retries, 0);
    EXPECT_EQ(server.requestCount(), 0u);
}

// Serving from local copies: a readable copy is delivered as a page from disk and not
// fetched; a missing copy, or one that cannot be read as a file, is queued instead.
TEST_F(DwnldTest, ReloadFromDiskServesReadableCopiesOnly)
{
    enum class Copy { File, Missing, Fifo };
    struct Case {
        const char *title;
        Copy copy;
        bool served;
    };
    const Case cases[] = {
        {"readable copy", Copy::File, true},
        {"no copy", Copy::Missing, false},
        {"not a regular file", Copy::Fifo, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.title);
        QTemporaryDir root;
        ASSERT_TRUE(root.isValid());
        Recorder r;
        TKvDwnld d;
        prepare(d, r);
        d.SaveRoot = root.path().toStdString();
        d.ReloadFromDisk = true;
        const std::string url = "http://copies.test/dir/page.html";
        TCrackUrl cracked;
        ASSERT_TRUE(cracked.CrackUrl(url, d.SaveRoot));
        const std::string path = cracked.LocalFilePath;
        ASSERT_FALSE(path.empty());
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        if (c.copy == Copy::File)
            std::ofstream(path, std::ios::binary) << "<html>copy</html>";
        if (c.copy == Copy::Fifo) {
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        }

        ASSERT_TRUE(d.AddInQueue(url, "http://referrer.test/", 3, 1, 'a', STORE_TO_DATASTRING, 4, false, -1));
        if (c.served) {
            EXPECT_EQ(d.QueueCount(), 0);
            ASSERT_EQ(r.pages.size(), 1u);
            EXPECT_TRUE(r.pages[0].fromDisk);
            EXPECT_EQ(r.pages[0].url, url);
            EXPECT_EQ(r.pages[0].data, "<html>copy</html>");
            EXPECT_EQ(r.pages[0].referer, "http://referrer.test/");
            EXPECT_EQ(r.pages[0].depth, 3);
            EXPECT_EQ(r.pages[0].retriesDone, 1);
            EXPECT_EQ(r.pages[0].countArea, 4);
            EXPECT_EQ(r.logs, std::vector<std::string>{"(reloaded from disk) " + url});
            EXPECT_EQ(d.AlreadyOnDisk, 1);
            EXPECT_TRUE(d.RefreshStats());
            EXPECT_EQ(r.order.back(), "stats 0 0 0 0 0 0 1");
        } else {
            EXPECT_EQ(d.QueueCount(), 1);
            EXPECT_TRUE(r.pages.empty());
            EXPECT_TRUE(r.logs.empty());
            EXPECT_EQ(d.AlreadyOnDisk, 0);
        }
    }
}

} // namespace
