// The fetch thread against the scripted server: its outcomes, the order and content of its
// reports on the main thread, the challenge resends, and being killed while blocked.
#include "sifton/crkurl.h"
#include "sifton/getthr.h"
#include "tests/support/events.h"
#include "tests/support/httpserver.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using testsupport::HttpServer;
using testsupport::Response;
using testsupport::serveEventsUntil;
using namespace std::chrono_literals;

namespace {

// Everything one fetch reported, in order, and the outcome read in the end notice.
struct Reports {
    std::vector<int> statusCodes;
    int headCompletes = 0;
    std::string head, contentType;
    int contentLength = -1;
    std::vector<uint32_t> progress;
    int refreshes = 0;
    int dataCompletes = 0;
    std::string data;
    bool ended = false;
    bool succeeded = false, aborted = false;
    bool allOnMainThread = true;
};

struct Options {
    TGetAction action = STORE_TO_DATASTRING;
    bool answerGetData = true;
    bool headHandler = true;
    std::string user, password;
    TProxyType proxyType = PROXY_DIRECT;
    std::string proxyAddress;
    int32_t proxyPort = 0;
    std::string proxyUser, proxyPassword;
};

class GetThreadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *name : {"http_proxy", "HTTP_PROXY", "no_proxy", "NO_PROXY", "all_proxy", "ALL_PROXY"})
            ::unsetenv(name);
    }

    // Starts a fetch of `url`; the thread frees itself once its end has been reported.
    THTTPGetThread *start(const std::string &url, Reports &r, const Options &o = {})
    {
        EXPECT_TRUE(crack.CrackUrl(url, ""));
        auto onMain = [&r] {
            if (QThread::currentThread() != QCoreApplication::instance()->thread())
                r.allOnMainThread = false;
        };
        TOnThreadHeadComplete head;
        if (o.headHandler)
            head = [&r, o, onMain](THTTPGetThread *, const std::string &h, int, const std::string &type, int length,
                                   bool &getData) {
                onMain();
                ++r.headCompletes;
                r.head = h;
                r.contentType = type;
                r.contentLength = length;
                getData = o.answerGetData;
            };
        auto *thread = new THTTPGetThread(
            crack, "TestAgent", o.action, "http://referrer.test/", o.user, o.password, o.proxyType, o.proxyAddress,
            o.proxyPort, o.proxyUser, o.proxyPassword,
            [&r, onMain](std::string &data) {
                onMain();
                ++r.dataCompletes;
                r.data = data;
            },
            [&r, onMain](THTTPGetThread *, uint32_t bytes) {
                onMain();
                r.progress.push_back(bytes);
            },
            head,
            [&r, onMain](int status) {
                onMain();
                r.statusCodes.push_back(status);
            },
            [&r, onMain](platform::TThread *sender) {
                onMain();
                auto *t = static_cast<THTTPGetThread *>(sender);
                r.succeeded = t->Succeeded;
                r.aborted = t->Aborted;
                r.ended = true;
            },
            [&r, onMain] {
                onMain();
                ++r.refreshes;
            });
        thread->Resume();
        return thread;
    }

    void fetch(const std::string &url, Reports &r, const Options &o = {})
    {
        start(url, r, o);
        ASSERT_TRUE(serveEventsUntil([&] { return r.ended; })) << "the fetch ended";
        EXPECT_TRUE(r.allOnMainThread);
    }

    HttpServer server;
    TCrackUrl crack;
};

TEST_F(GetThreadTest, OutcomesOfTheFetch)
{
    struct Case {
        const char *name;
        Response response;
        Options options;
        bool succeeded, aborted;
        int headCompletes;
        int dataCompletes; // the text is handed back after a body was read, even an empty one
    };
    Options refuse;
    refuse.answerGetData = false;
    Options headOnly;
    headOnly.action = HEAD_ONLY;
    Options noHeadHandler;
    noHeadHandler.headHandler = false;
    noHeadHandler.answerGetData = false;
    const std::string page = "<html><a href=x>x</a></html>";
    Case cases[] = {
        {"page read", Response::html(page), {}, true, false, 1, 1},
        {"error page read like any page", Response::html(page, 404), {}, true, false, 1, 1},
        {"html with a charset", Response::withType("text/html; charset=utf-8", page), {}, true, false, 1, 1},
        {"content type in capitals is not html", Response::withType("TEXT/HTML", page), {}, false, true, 0, 0},
        // The body never ends: reading it would hang the fetch.
        {"picture abandoned before the body",
         Response::withType("image/gif", "GIF89a").addChunk("more", std::chrono::hours(1)), {}, false, true, 0, 0},
        {"body refused", Response::html(page), refuse, false, true, 1, 0},
        {"no head handler: body always read", Response::html(page), noHeadHandler, true, false, 0, 1},
        {"empty body kept as text", Response::html(""), {}, false, false, 1, 1},
        {"empty body not kept", Response::html(""), headOnly, true, false, 1, 0},
        {"page not kept", Response::html(page), headOnly, true, false, 1, 0},
        {"head longer than 2048 bytes", Response::html(page).withHeader("X-Fill", std::string(2100, 'f')), {}, false,
         false, 0, 0},
        {"no content type", Response::rawBytes("HTTP/1.0 200 OK\r\n\r\n<html></html>"), {}, false, false, 0, 0},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        server.route("/case", c.response);
        Reports r;
        fetch(server.url("/case"), r, c.options);
        EXPECT_EQ(r.succeeded, c.succeeded);
        EXPECT_EQ(r.aborted, c.aborted);
        EXPECT_EQ(r.headCompletes, c.headCompletes);
        EXPECT_EQ(r.dataCompletes, c.dataCompletes);
        if (c.dataCompletes == 1) {
            EXPECT_EQ(r.data, c.response.bodyText());
        }
    }
}

TEST_F(GetThreadTest, HeadCompleteGetsTheRawHeadTypeAndLength)
{
    server.route("/p", Response::html("0123456789").withHeader("X-Test", "1"));
    server.route("/nolength", Response::html("abc").withoutContentLength());
    server.route("/badlength", Response::rawBytes("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n"
                                                  "Content-Length: 12abc\r\n\r\n<html></html>"));
    Reports r;
    fetch(server.url("/p"), r);
    EXPECT_EQ(r.contentType, "text/html");
    EXPECT_EQ(r.contentLength, 10);
    EXPECT_EQ(r.head.rfind("HTTP/1.1 200", 0), 0u);
    EXPECT_NE(r.head.find("X-Test: 1\r\n"), std::string::npos);
    EXPECT_EQ(r.head.substr(r.head.size() - 4), "\r\n\r\n");
    EXPECT_EQ(r.statusCodes, std::vector<int>{200});

    Reports none;
    fetch(server.url("/nolength"), none);
    EXPECT_EQ(none.contentLength, 0) << "a missing length is 0";
    EXPECT_TRUE(none.succeeded);

    // A length that is no number must not end the program: either the transfer refuses the
    // response or the length counts as absent.
    Reports bad;
    fetch(server.url("/badlength"), bad);
    if (bad.headCompletes == 1) {
        EXPECT_EQ(bad.contentLength, 0);
    }
}

TEST_F(GetThreadTest, StatusThatIsNoNumberFailsTheFetch)
{
    server.route("/weird", Response::rawBytes("HTTP/1.0 2x0 OK\r\nContent-Type: text/html\r\n\r\n<html></html>"));
    Reports r;
    fetch(server.url("/weird"), r);
    EXPECT_FALSE(r.succeeded);
    EXPECT_FALSE(r.aborted);
    EXPECT_EQ(r.headCompletes, 0);
}

TEST_F(GetThreadTest, ProgressReportsTheTotalBeforeEachChunk)
{
    server.route("/two", Response::html(std::string(300, 'a')).addChunk(std::string(200, 'b'), 400ms));
    Reports r;
    fetch(server.url("/two"), r);
    EXPECT_EQ(r.progress, (std::vector<uint32_t>{0xFFFFFFFFu, 0, 300}));
    EXPECT_EQ(r.data, std::string(300, 'a') + std::string(200, 'b'));
    EXPECT_TRUE(r.succeeded);
}

TEST_F(GetThreadTest, TimeOutIsRefreshedEveryTenReads)
{
    Response slow = Response::html("<html>");
    for (int i = 0; i < 24; ++i)
        slow.addChunk("<p>" + std::to_string(i) + "</p>", 40ms);
    server.route("/slow", slow);
    Reports r;
    fetch(server.url("/slow"), r);
    ASSERT_TRUE(r.succeeded);
    const int reads = int(r.progress.size()) - 1;
    ASSERT_GE(reads, 10) << "the pieces arrived in separate reads";
    EXPECT_EQ(r.refreshes, reads / 10);
}

TEST_F(GetThreadTest, ZeroByteEndsTheTextKeptOfItsChunk)
{
    server.route("/zero", Response::html(std::string("abc\0def", 7)).addChunk("ghi", 400ms));
    Reports r;
    fetch(server.url("/zero"), r);
    EXPECT_TRUE(r.succeeded);
    EXPECT_EQ(r.data, "abcghi");
}

TEST_F(GetThreadTest, ServerChallengeIsAnsweredOnce)
{
    server.route("/secret", Response::html("<html>in</html>").requiringBasicAuth("ann", "pw"));
    Options right;
    right.user = "ann";
    right.password = "pw";
    Reports ok;
    fetch(server.url("/secret"), ok, right);
    EXPECT_EQ(ok.statusCodes, (std::vector<int>{401, 200}));
    EXPECT_TRUE(ok.succeeded);
    EXPECT_EQ(ok.data, "<html>in</html>");

    Options wrong = right;
    wrong.password = "nope";
    Reports refused;
    fetch(server.url("/secret"), refused, wrong);
    EXPECT_EQ(refused.statusCodes, (std::vector<int>{401, 401}));
    EXPECT_FALSE(refused.succeeded);
    EXPECT_FALSE(refused.aborted);

    // Empty credentials are still sent once.
    Reports empty;
    fetch(server.url("/secret"), empty);
    EXPECT_EQ(empty.statusCodes, (std::vector<int>{401, 401}));
    EXPECT_FALSE(empty.succeeded);
}

TEST_F(GetThreadTest, ProxyChallengeIsAnsweredOnce)
{
    server.route("http://pics.example.test/index.html", Response::html("<html>proxied</html>"));
    server.requireProxyAuth("pu", "ppw");
    Options viaProxy;
    viaProxy.proxyType = PROXY_USEPROXY;
    viaProxy.proxyAddress = "127.0.0.1";
    viaProxy.proxyPort = server.port();
    viaProxy.proxyUser = "pu";
    viaProxy.proxyPassword = "ppw";
    Reports ok;
    fetch("http://pics.example.test/index.html", ok, viaProxy);
    EXPECT_EQ(ok.statusCodes, (std::vector<int>{407, 200}));
    EXPECT_TRUE(ok.succeeded);
    EXPECT_EQ(ok.data, "<html>proxied</html>");

    viaProxy.proxyPassword = "wrong";
    Reports refused;
    fetch("http://pics.example.test/index.html", refused, viaProxy);
    EXPECT_EQ(refused.statusCodes, (std::vector<int>{407, 407}));
    EXPECT_FALSE(refused.succeeded);
}

TEST_F(GetThreadTest, CredentialsLongerThanTheQueryBufferFailTheFetch)
{
    server.route("/secret", Response::html("x").requiringBasicAuth("ann", "pw"));
    Options tooLong;
    tooLong.user = std::string(THTTPGetThread::kQueryBufferSize, 'u');
    Reports r;
    fetch(server.url("/secret"), r, tooLong);
    EXPECT_EQ(r.statusCodes, std::vector<int>{401});
    EXPECT_FALSE(r.succeeded);
    EXPECT_FALSE(r.aborted);
}

TEST_F(GetThreadTest, FailuresBeforeAnyResponse)
{
    uint16_t closedPort = 0;
    {
        HttpServer gone;
        closedPort = gone.port();
    }
    Reports refused;
    fetch("http://127.0.0.1:" + std::to_string(closedPort) + "/", refused);
    EXPECT_TRUE(refused.statusCodes.empty());
    EXPECT_FALSE(refused.succeeded);
    EXPECT_FALSE(refused.aborted);

    Options badProxyType;
    badProxyType.proxyType = TProxyType(7);
    Reports noHandle;
    fetch(server.url("/"), noHandle, badProxyType);
    EXPECT_FALSE(noHandle.succeeded);
    EXPECT_EQ(server.requestCount(), 0u) << "no Internet handle, no request";
}

TEST_F(GetThreadTest, KillBreaksASilentServerAndAStalledBody)
{
    server.route("/silent", Response::silence());
    server.route("/stalled", Response::html("<html>first").addChunk("never", std::chrono::hours(1)));
    for (const char *path : {"/silent", "/stalled"}) {
        SCOPED_TRACE(path);
        Reports r;
        const size_t before = server.requestCount();
        THTTPGetThread *thread = start(server.url(path), r);
        ASSERT_TRUE(server.waitForRequests(before + 1));
        if (std::string(path) == "/stalled") {
            ASSERT_TRUE(serveEventsUntil([&] { return r.progress.size() >= 2; })) << "the first piece arrived";
        }
        // The owner's kill: terminate flag first, then the handles.
        thread->Terminate();
        thread->CloseHandles();
        ASSERT_TRUE(serveEventsUntil([&] { return r.ended; }, 5s));
        EXPECT_FALSE(r.succeeded);
        EXPECT_TRUE(r.aborted);
        EXPECT_EQ(r.dataCompletes, 0);
    }
    EXPECT_EQ(platform::inet::OpenHandleCount(), 0u);
}

} // namespace
