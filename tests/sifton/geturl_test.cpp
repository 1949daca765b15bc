// The page getter: its states, flags and events around one fetch thread, and the deadline
// the scheduler's time-out rests on.
#include "platform/tick.h"
#include "sifton/geturl.h"
#include "tests/support/events.h"
#include "tests/support/httpserver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using testsupport::HttpServer;
using testsupport::Response;
using testsupport::serveEventsUntil;
using namespace std::chrono_literals;

namespace {

class GetterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *name : {"http_proxy", "HTTP_PROXY", "no_proxy", "NO_PROXY", "all_proxy", "ALL_PROXY"})
            ::unsetenv(name);
        get.GetAction = STORE_TO_DATASTRING;
        get.ProxyType = PROXY_DIRECT;
        get.OnLog = [this](TKvHttpGet *, const std::string &line) { logs.push_back(line); };
    }

    // Runs one fetch of `url` to its end notice and finalises it, as the scheduler does.
    void fetch(const std::string &url)
    {
        ASSERT_TRUE(get.Url.CrackUrl(url, ""));
        get.State = GETHTTP_PREPARING;
        get.Get(GETHTTP_BODY);
        ASSERT_EQ(get.State, GETHTTP_GETTING);
        ASSERT_TRUE(get.Busy);
        ASSERT_TRUE(serveEventsUntil([&] { return get.State == GETHTTP_THREAD_DONE; }));
        get.FinalizeGet();
        EXPECT_FALSE(get.Busy);
    }

    HttpServer server;
    TKvHttpGet get;
    std::vector<std::string> logs;
};

TEST_F(GetterTest, DefaultsAndTimeOutInSeconds)
{
    TKvHttpGet fresh;
    EXPECT_EQ(fresh.State, GETHTTP_NOTUSED);
    EXPECT_EQ(fresh.GetTimeOut(), 300);
    EXPECT_EQ(fresh.Agent, "Mozilla/4.0 (compatible; MSIE 5.0; Windows NT; DigExt)");
    EXPECT_EQ(fresh.ProxyType, PROXY_DEFAULT);
    EXPECT_EQ(fresh.ProxyPort, 80);
    EXPECT_EQ(fresh.DepthSearchLevel, 1);
    EXPECT_EQ(fresh.GetAction, HEAD_ONLY);
    EXPECT_FALSE(fresh.Busy);
    fresh.SetTimeOut(10);
    EXPECT_EQ(fresh.GetTimeOut(), 10);
    EXPECT_EQ(fresh.TimeOut, 10000);
}

TEST_F(GetterTest, UrlThatDidNotCrackStartsNothing)
{
    EXPECT_FALSE(get.Url.CrackUrl("relative/page.html", ""));
    get.State = GETHTTP_PREPARING;
    get.Get(GETHTTP_BODY);
    EXPECT_EQ(get.State, GETHTTP_WAITING);
    EXPECT_FALSE(get.Busy);
    EXPECT_EQ(get.Thread, nullptr);
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(GetterTest, SuccessfulFetchFillsTheResultsAndRaisesTheHeadEvent)
{
    server.route("/page.html", Response::html("<html>page</html>"));
    struct Head {
        std::string url, head, type;
        int status = 0, length = 0, depth = 0, area = 0;
        bool senderIsThread = false;
    };
    std::vector<Head> heads;
    std::vector<uint32_t> progress;
    get.DepthSearchLevel = 3;
    get.CountArea = 7;
    get.Referer = "http://from.test/";
    get.OnHeadComplete = [&](THTTPGetThread *sender, const std::string &url, const std::string &head, int status,
                             const std::string &type, int length, int depth, bool &ok, int area) {
        heads.push_back({url, head, type, status, length, depth, area, sender != nullptr && sender == get.Thread});
        EXPECT_TRUE(ok) << "the body is wanted unless the handler says otherwise";
    };
    get.OnProgress = [&](TKvHttpGet *ptGet, uint32_t bytes) {
        EXPECT_EQ(ptGet, &get);
        progress.push_back(bytes);
    };
    fetch(server.url("/page.html"));
    EXPECT_TRUE(get.ThreadSucceeded);
    EXPECT_FALSE(get.ThreadAborted);
    EXPECT_EQ(get.StatusCode, 200);
    EXPECT_EQ(get.ContentLength, 17);
    EXPECT_EQ(get.DataString, "<html>page</html>");
    EXPECT_EQ(get.Head.rfind("HTTP/1.1 200", 0), 0u);
    ASSERT_EQ(heads.size(), 1u);
    EXPECT_EQ(heads[0].url, server.url("/page.html"));
    EXPECT_EQ(heads[0].type, "text/html");
    EXPECT_EQ(heads[0].status, 200);
    EXPECT_EQ(heads[0].length, 17);
    EXPECT_EQ(heads[0].depth, 3);
    EXPECT_EQ(heads[0].area, 7);
    EXPECT_TRUE(heads[0].senderIsThread);
    EXPECT_EQ(progress, (std::vector<uint32_t>{0xFFFFFFFFu, 0}));
    EXPECT_EQ(logs, std::vector<std::string>{"thread done: " + server.url("/page.html")});
    EXPECT_EQ(server.requests().back().headers.value("Referer"), "http://from.test/");
    EXPECT_EQ(server.requests().back().headers.value("User-Agent"), get.Agent);
}

TEST_F(GetterTest, RefusedBodyIsAnAbortAndKeepsThePreviousPage)
{
    server.route("/first.html", Response::html("<html>first</html>"));
    server.route("/second.html", Response::html("<html>second</html>"));
    fetch(server.url("/first.html"));
    ASSERT_EQ(get.DataString, "<html>first</html>");
    get.OnHeadComplete = [](THTTPGetThread *, const std::string &, const std::string &, int, const std::string &, int,
                            int, bool &ok, int) { ok = false; };
    fetch(server.url("/second.html"));
    EXPECT_FALSE(get.ThreadSucceeded);
    EXPECT_TRUE(get.ThreadAborted);
    EXPECT_EQ(get.DataString, "<html>first</html>") << "only a delivered page replaces the text";
}

TEST_F(GetterTest, FailureBeforeAnyResponseLeavesStatusAtZero)
{
    server.route("/ok.html", Response::html("<html>ok</html>"));
    fetch(server.url("/ok.html"));
    ASSERT_EQ(get.StatusCode, 200);
    uint16_t closedPort = 0;
    {
        HttpServer gone;
        closedPort = gone.port();
    }
    fetch("http://127.0.0.1:" + std::to_string(closedPort) + "/");
    EXPECT_EQ(get.StatusCode, 0);
    EXPECT_FALSE(get.ThreadSucceeded);
    EXPECT_FALSE(get.ThreadAborted);
}

TEST_F(GetterTest, KillEndsAStalledFetchQuietly)
{
    server.route("/stall.html", Response::html("<html>start").addChunk("rest", std::chrono::hours(1)));
    std::vector<uint32_t> progress;
    get.OnProgress = [&](TKvHttpGet *, uint32_t bytes) { progress.push_back(bytes); };
    ASSERT_TRUE(get.Url.CrackUrl(server.url("/stall.html"), ""));
    get.Get(GETHTTP_BODY);
    ASSERT_TRUE(serveEventsUntil([&] { return progress.size() >= 2; }));
    get.KillGet();
    EXPECT_TRUE(get.Killed);
    EXPECT_FALSE(get.EventsEnabled);
    ASSERT_TRUE(serveEventsUntil([&] { return get.State == GETHTTP_THREAD_DONE; }, 5s));
    EXPECT_TRUE(get.ThreadAborted);
    EXPECT_FALSE(get.ThreadSucceeded);
    EXPECT_TRUE(get.Busy) << "busy until finalised";
    get.FinalizeGet();
    EXPECT_FALSE(get.Busy);
    EXPECT_TRUE(logs.empty()) << "a killed fetch ends without a log line";
}

TEST_F(GetterTest, KillOfAnIdleGetterOnlySetsKilled)
{
    get.State = GETHTTP_WAITING;
    get.KillGet();
    EXPECT_TRUE(get.Killed);
    EXPECT_FALSE(get.EventsEnabled);
    EXPECT_EQ(get.State, GETHTTP_WAITING);
}

TEST_F(GetterTest, ReportsAfterAKillPassOnProgressButNotTheHead)
{
    int heads = 0;
    std::vector<uint32_t> progress;
    get.OnHeadComplete = [&](THTTPGetThread *, const std::string &, const std::string &, int, const std::string &, int,
                             int, bool &, int) { ++heads; };
    get.OnProgress = [&](TKvHttpGet *, uint32_t bytes) { progress.push_back(bytes); };
    get.State = GETHTTP_GETTING;
    get.EventsEnabled = false; // as after KillGet
    bool getData = true;
    get.HeadComplete(nullptr, "HTTP/1.0 200 OK\r\n\r\n", 200, "text/html", 5, getData);
    get.Progress(nullptr, 42);
    EXPECT_EQ(heads, 0);
    EXPECT_EQ(get.Head, "HTTP/1.0 200 OK\r\n\r\n") << "the head is still recorded";
    EXPECT_EQ(get.ContentLength, 5);
    EXPECT_EQ(progress, std::vector<uint32_t>{42});

    get.State = GETHTTP_THREAD_DONE;
    get.Progress(nullptr, 43);
    EXPECT_EQ(progress, std::vector<uint32_t>{42}) << "progress only while getting";
}

TEST_F(GetterTest, DeadlineIsSetAtTheStartAndOnEveryRefresh)
{
    get.SetTimeOut(20);
    server.route("/slow.html", Response::silence());
    ASSERT_TRUE(get.Url.CrackUrl(server.url("/slow.html"), ""));
    const uint32_t before = platform::GetTickCount();
    get.Get(GETHTTP_BODY);
    const uint32_t after = platform::GetTickCount();
    EXPECT_GE(platform::TicksBetween(before, get.Deadline), 20000u);
    EXPECT_LE(platform::TicksBetween(after, get.Deadline), 20000u);
    get.SetTimeOut(100);
    get.RefreshTimeOut();
    EXPECT_GE(platform::TicksBetween(after, get.Deadline), 100000u);
    get.KillGet();
    ASSERT_TRUE(serveEventsUntil([&] { return get.State == GETHTTP_THREAD_DONE; }, 5s));
    get.FinalizeGet();
}

TEST_F(GetterTest, SecondGetWhileBusyStartsNoSecondFetch)
{
    server.route("/silent.html", Response::silence());
    ASSERT_TRUE(get.Url.CrackUrl(server.url("/silent.html"), ""));
    get.Get(GETHTTP_BODY);
    THTTPGetThread *first = get.Thread;
    ASSERT_TRUE(server.waitForRequests(1));
    get.Get(GETHTTP_HEAD);
    EXPECT_EQ(get.Thread, first);
    EXPECT_EQ(get.Request, GETHTTP_HEAD);
    get.KillGet();
    ASSERT_TRUE(serveEventsUntil([&] { return get.State == GETHTTP_THREAD_DONE; }, 5s));
    get.FinalizeGet();
    EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(GetterTest, DestroyingABusyGetterStopsItsFetchFirst)
{
    server.route("/silent.html", Response::silence());
    auto doomed = std::make_unique<TKvHttpGet>();
    doomed->ProxyType = PROXY_DIRECT;
    ASSERT_TRUE(doomed->Url.CrackUrl(server.url("/silent.html"), ""));
    doomed->Get(GETHTTP_BODY);
    ASSERT_TRUE(server.waitForRequests(1));
    doomed.reset(); // must neither hang nor let the thread report to freed memory
    testsupport::serveEventsFor(50ms);
    EXPECT_EQ(platform::inet::OpenHandleCount(), 0u);
}

TEST_F(GetterTest, StoreOtherStartsNoFetchAndCanBeDestroyed)
{
    auto other = std::make_unique<TKvHttpGet>();
    other->GetAction = STORE_OTHER;
    ASSERT_TRUE(other->Url.CrackUrl(server.url("/never.html"), ""));
    other->Get(GETHTTP_BODY);
    EXPECT_TRUE(other->Busy);
    EXPECT_EQ(other->State, GETHTTP_GETTING);
    EXPECT_EQ(other->Thread, nullptr);
    other.reset(); // nothing runs, so nothing is waited for
    EXPECT_EQ(server.requestCount(), 0u);
}

} // namespace
