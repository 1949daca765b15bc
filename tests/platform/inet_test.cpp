// The request steps against the scripted server: what a fetch thread sees of the final
// response, the challenge resend on the same request, proxies, broken transfers, and closing
// a request from another thread while a call is blocked on it.
#include "platform/inet.h"
#include "tests/support/httpserver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

using namespace platform::inet;
using testsupport::HttpServer;
using testsupport::Response;
using namespace std::chrono_literals;

namespace {

// Reads a body the way the fetch thread does: ask what is there, read exactly that.
bool readBody(HINTERNET request, std::string &body, int *reads = nullptr)
{
    for (;;) {
        uint32_t available = 0;
        if (!InternetQueryDataAvailable(request, available))
            return false;
        if (available == 0)
            return true;
        std::string chunk(available, '\0');
        uint32_t got = 0;
        if (!InternetReadFile(request, chunk.data(), available, got))
            return false;
        body.append(chunk, 0, got);
        if (reads)
            ++*reads;
    }
}

// One open session, connection and request, closed at the end of the test.
struct Fetch {
    HINTERNET session = 0, connection = 0, request = 0;

    Fetch(const std::string &host, uint16_t port, const std::string &object, int access = INTERNET_OPEN_TYPE_DIRECT,
          const std::string &proxy = "", const std::string &referrer = "", const std::string &user = "",
          const std::string &password = "")
    {
        session = InternetOpen("TestAgent/1.0", access, proxy);
        connection = InternetConnect(session, host, port, user, password, INTERNET_SERVICE_HTTP);
        request = HttpOpenRequest(connection, "GET", object, "HTTP/1.0", referrer, INTERNET_FLAG_RELOAD);
    }
    ~Fetch()
    {
        InternetCloseHandle(request);
        InternetCloseHandle(connection);
        InternetCloseHandle(session);
    }

    std::string query(int level, uint32_t size = 1024, bool *ok = nullptr) const
    {
        std::string buffer(size, '\xAA');
        uint32_t length = size;
        const bool found = HttpQueryInfo(request, level, buffer.data(), length);
        if (ok)
            *ok = found;
        return found ? buffer.substr(0, length) : std::string();
    }

    bool readAll(std::string &body, int *reads = nullptr) const { return readBody(request, body, reads); }
};

class InetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
                                 "no_proxy", "NO_PROXY"})
            ::unsetenv(name);
    }
    void TearDown() override { EXPECT_EQ(OpenHandleCount(), 0u) << "every handle is closed"; }
    HttpServer server;
};

TEST_F(InetTest, SendsAGetWithAgentReferrerAndNoCacheAndReportsTheFinalHead)
{
    server.route("/pics/index.html?x=1", Response::html("<html>hello</html>").withHeader("X-Extra", "yes"));
    Fetch fetch("127.0.0.1", server.port(), "/pics/index.html?x=1", INTERNET_OPEN_TYPE_DIRECT, "",
                "http://referrer.test/page.html");
    ASSERT_NE(fetch.request, 0u);
    ASSERT_TRUE(HttpSendRequest(fetch.request));

    EXPECT_EQ(fetch.query(HTTP_QUERY_STATUS_CODE), "200");
    EXPECT_EQ(fetch.query(HTTP_QUERY_CONTENT_TYPE), "text/html");
    EXPECT_EQ(fetch.query(HTTP_QUERY_CONTENT_LENGTH), "18");
    const std::string head = fetch.query(HTTP_QUERY_RAW_HEADERS_CRLF, 2048);
    EXPECT_EQ(head.rfind("HTTP/1.1 200", 0), 0u) << head;
    EXPECT_NE(head.find("\r\nX-Extra: yes\r\n"), std::string::npos) << head;
    EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n") << "the head ends with an empty line";

    std::string body;
    ASSERT_TRUE(fetch.readAll(body));
    EXPECT_EQ(body, "<html>hello</html>");

    ASSERT_TRUE(server.waitForRequests(1));
    const auto request = server.requests().at(0);
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, "/pics/index.html?x=1");
    EXPECT_EQ(request.version, "HTTP/1.0");
    EXPECT_EQ(request.headers.value("User-Agent"), "TestAgent/1.0");
    EXPECT_EQ(request.headers.value("Referer"), "http://referrer.test/page.html");
    EXPECT_EQ(request.headers.value("Pragma"), "no-cache");
}

TEST_F(InetTest, QueriesFailForMissingItemsAndForBuffersTooSmall)
{
    server.route("/nolength", Response::html("abc").withoutContentLength());
    server.route("/bighead", Response::html("x").withHeader("X-Filler", std::string(3000, 'f')));
    {
        Fetch fetch("127.0.0.1", server.port(), "/nolength");
        ASSERT_TRUE(HttpSendRequest(fetch.request));
        bool ok = true;
        fetch.query(HTTP_QUERY_CONTENT_LENGTH, 1024, &ok);
        EXPECT_FALSE(ok) << "no Content-Length header";
        std::string body;
        ASSERT_TRUE(fetch.readAll(body));
        EXPECT_EQ(body, "abc");
    }
    {
        Fetch fetch("127.0.0.1", server.port(), "/bighead");
        ASSERT_TRUE(HttpSendRequest(fetch.request));
        char buffer[2048];
        uint32_t length = sizeof buffer;
        EXPECT_FALSE(HttpQueryInfo(fetch.request, HTTP_QUERY_RAW_HEADERS_CRLF, buffer, length));
        EXPECT_GT(length, 3000u) << "the size the head would need";
        length = 1;
        EXPECT_FALSE(HttpQueryInfo(fetch.request, HTTP_QUERY_STATUS_CODE, buffer, length)) << "no room for 200 and zero";
    }
}

TEST_F(InetTest, StatusOfErrorPagesIsReportedAndTheirBodyRead)
{
    server.route("/missing", Response::html("<p>gone</p>", 404));
    Fetch fetch("127.0.0.1", server.port(), "/missing");
    ASSERT_TRUE(HttpSendRequest(fetch.request));
    EXPECT_EQ(fetch.query(HTTP_QUERY_STATUS_CODE), "404");
    std::string body;
    ASSERT_TRUE(fetch.readAll(body));
    EXPECT_EQ(body, "<p>gone</p>");
}

TEST_F(InetTest, FollowsRedirectsAndReportsTheLastResponse)
{
    server.route("/old", Response::redirect("/middle", 301));
    server.route("/middle", Response::redirect(server.url("/new"), 302));
    server.route("/new", Response::html("new page"));
    server.route("/toftp", Response::redirect("ftp://files.example.test/a.zip"));
    {
        Fetch fetch("127.0.0.1", server.port(), "/old", INTERNET_OPEN_TYPE_DIRECT, "", "http://ref.test/");
        ASSERT_TRUE(HttpSendRequest(fetch.request));
        EXPECT_EQ(fetch.query(HTTP_QUERY_STATUS_CODE), "200");
        EXPECT_EQ(fetch.query(HTTP_QUERY_RAW_HEADERS_CRLF, 2048).find("Location"), std::string::npos)
            << "only the final response's head";
        std::string body;
        ASSERT_TRUE(fetch.readAll(body));
        EXPECT_EQ(body, "new page");
        ASSERT_EQ(server.requestsFor("/new").size(), 1u);
        EXPECT_EQ(server.requestsFor("/new")[0].headers.value("Referer"), "http://ref.test/");
    }
    {
        Fetch fetch("127.0.0.1", server.port(), "/toftp");
        ASSERT_TRUE(HttpSendRequest(fetch.request));
        EXPECT_EQ(fetch.query(HTTP_QUERY_STATUS_CODE), "302") << "a redirect to ftp is not followed";
    }
}

TEST_F(InetTest, RedirectLoopEndsAtTheLimitWithTheRedirectAsFinalResponse)
{
    server.route("/loop", Response::redirect("/loop"));
    Fetch fetch("127.0.0.1", server.port(), "/loop");
    ASSERT_TRUE(HttpSendRequest(fetch.request));
    EXPECT_EQ(fetch.query(HTTP_QUERY_STATUS_CODE), "302");
    EXPECT_EQ(server.requestsFor("/loop").size(), size_t(kMaxRedirects + 1));
}

TEST_F(InetTest, CredentialsDoNotFollowARedirectToAnotherHost)
{
    server.route("/start", Response::redirect("http://localhost:" + std::to_string(server.port()) + "/elsewhere"));
    server.route("/elsewhere", Response::html("there"));
    Fetch fetch("127.0.0.1", server.port(), "/start", INTERNET_OPEN_TYPE_DIRECT, "", "", "user", "secret");
    ASSERT_TRUE(HttpSendRequest(fetch.request));
    ASSERT_TRUE(server.waitForRequests(2));
    EXPECT_TRUE(server.requestsFor("/start").at(0).headers.has("Authorization"));
    EXPECT_FALSE(server.requestsFor("/elsewhere").at(0).headers.has("Authorization"));
}

TEST_F(InetTest, ServerChallengeIsAnsweredByAResendOnTheSameRequest)
{
    server.route("/secret", Response::html("inside").requiringBasicAuth("ann", "pw1"));
    Fetch fetch("127.0.0.1", server.port(), "/secret");
    ASSERT_TRUE(HttpSendRequest(fetch.request));
    EXPECT_EQ(fetch.query(HTTP_QUERY_STATUS_CODE), "401");
    ASSERT_TRUE(InternetSetOption(fetch.request, INTERNET_OPTION_USERNAME, "ann", 3));
    ASSERT_TRUE(InternetSetOption(fetch.request, INTERNET_OPTION_PASSWORD, "pw1", 3));
    ASSERT_TRUE(HttpSendRequest(fetch.request));
    EXPECT_EQ(fetch.query(HTTP_QUERY_STATUS_CODE), "200");
    std::string body;
    ASSERT_TRUE(fetch.readAll(body));
    EXPECT_EQ(body, "inside");
}

TEST_F(InetTest, ProxyChallengeIsAnsweredAndMadeUpHostsAreReachedThroughTheProxy)
{
    server.route("http://pics.example.test/gallery.html", Response::html("gallery"));
    server.requireProxyAuth("proxyuser", "proxypw");
    const std::string proxy = "127.0.0.1:" + std::to_string(server.port());
    Fetch fetch("pics.example.test", 80, "/gallery.html", INTERNET_OPEN_TYPE_PROXY, proxy);
    ASSERT_TRUE(HttpSendRequest(fetch.request));
    EXPECT_EQ(fetch.query(HTTP_QUERY_STATUS_CODE), "407");
    ASSERT_TRUE(InternetSetOption(fetch.request, INTERNET_OPTION_PROXY_USERNAME, "proxyuser", 9));
    ASSERT_TRUE(InternetSetOption(fetch.request, INTERNET_OPTION_PROXY_PASSWORD, "proxypw", 7));
    ASSERT_TRUE(HttpSendRequest(fetch.request));
    EXPECT_EQ(fetch.query(HTTP_QUERY_STATUS_CODE), "200");
    std::string body;
    ASSERT_TRUE(fetch.readAll(body));
    EXPECT_EQ(body, "gallery");
    const auto last = server.requests().back();
    EXPECT_TRUE(last.absoluteForm);
    EXPECT_EQ(last.target, "http://pics.example.test/gallery.html");
}

TEST_F(InetTest, PreconfiguredAccessUsesTheProxyEnvironmentAndDirectIgnoresIt)
{
    server.route("http://env.example.test/page.html", Response::html("via env"));
    const std::string proxy = "http://127.0.0.1:" + std::to_string(server.port());
    ::setenv("http_proxy", proxy.c_str(), 1);
    {
        Fetch fetch("env.example.test", 80, "/page.html", INTERNET_OPEN_TYPE_PRECONFIG);
        ASSERT_TRUE(HttpSendRequest(fetch.request));
        std::string body;
        ASSERT_TRUE(fetch.readAll(body));
        EXPECT_EQ(body, "via env");
    }
    server.route("/direct", Response::html("direct"));
    {
        Fetch fetch("127.0.0.1", server.port(), "/direct", INTERNET_OPEN_TYPE_DIRECT);
        ASSERT_TRUE(HttpSendRequest(fetch.request));
        EXPECT_FALSE(server.requests().back().absoluteForm) << "direct access ignores http_proxy";
    }
    ::unsetenv("http_proxy");
}

TEST_F(InetTest, BrokenTransfersFailTheRead)
{
    struct Case {
        const char *name;
        Response response;
        bool readSucceeds;
    };
    const std::string body(5000, 'b');
    Case cases[] = {
        {"dropped with a Content-Length", Response::html(body).droppingAfter(1000), false},
        {"dropped in a chunked body", Response::html(body).droppingAfter(1000).withChunkedEncoding(), false},
        // Without a length a close looks like the end: the reader gets a short body.
        {"dropped without a length", Response::html(body).withoutContentLength().droppingAfter(1000), true},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        server.route("/broken", c.response);
        Fetch fetch("127.0.0.1", server.port(), "/broken");
        ASSERT_TRUE(HttpSendRequest(fetch.request));
        std::string received;
        EXPECT_EQ(fetch.readAll(received), c.readSucceeds);
        EXPECT_LE(received.size(), 1000u);
    }
}

TEST_F(InetTest, RefusedConnectionFailsTheSend)
{
    uint16_t closedPort = 0;
    {
        HttpServer gone;
        closedPort = gone.port();
    }
    Fetch fetch("127.0.0.1", closedPort, "/");
    EXPECT_FALSE(HttpSendRequest(fetch.request));
    bool ok = true;
    fetch.query(HTTP_QUERY_STATUS_CODE, 1024, &ok);
    EXPECT_FALSE(ok);
}

TEST_F(InetTest, ObjectNamesAreEncodedForTheWireAndLineBreaksRefused)
{
    server.route("/a%20b/c%7Cd.html", Response::html("ok"));
    Fetch fetch("127.0.0.1", server.port(), "/a b/c|d.html");
    ASSERT_TRUE(HttpSendRequest(fetch.request));
    EXPECT_EQ(fetch.query(HTTP_QUERY_STATUS_CODE), "200");
    EXPECT_EQ(server.requests().back().target, "/a%20b/c%7Cd.html");

    HINTERNET session = InternetOpen("a", INTERNET_OPEN_TYPE_DIRECT, "");
    HINTERNET connection = InternetConnect(session, "127.0.0.1", server.port(), "", "", INTERNET_SERVICE_HTTP);
    EXPECT_EQ(HttpOpenRequest(connection, "GET", "/a\r\nX-Injected: 1", "HTTP/1.0", "", 0), 0u);
    EXPECT_EQ(HttpOpenRequest(connection, "GET", "/a", "HTTP/1.0", "http://r/\nX: 1", 0), 0u);
    EXPECT_EQ(HttpOpenRequest(connection, "GET", std::string("/a\0b", 4), "HTTP/1.0", "", 0), 0u);
    InternetCloseHandle(session);
}

TEST_F(InetTest, InvalidOpenArgumentsGiveNoHandle)
{
    EXPECT_EQ(InternetOpen("a", 2, ""), 0u) << "unknown access type";
    EXPECT_EQ(InternetOpen("a", INTERNET_OPEN_TYPE_PROXY, ""), 0u) << "named proxy without a name";
    HINTERNET session = InternetOpen("a", INTERNET_OPEN_TYPE_DIRECT, "");
    EXPECT_EQ(InternetConnect(session, "", 80, "", "", INTERNET_SERVICE_HTTP), 0u);
    EXPECT_EQ(InternetConnect(session, "host", 80, "", "", 1), 0u) << "only HTTP";
    EXPECT_EQ(InternetConnect(0, "host", 80, "", "", INTERNET_SERVICE_HTTP), 0u);
    EXPECT_TRUE(InternetCloseHandle(session));
    EXPECT_FALSE(InternetCloseHandle(session)) << "closed once only";
    EXPECT_FALSE(InternetCloseHandle(0));
}

TEST_F(InetTest, ClosingASessionClosesWhatWasOpenedUnderIt)
{
    server.route("/", Response::html("x"));
    HINTERNET session = InternetOpen("a", INTERNET_OPEN_TYPE_DIRECT, "");
    HINTERNET connection = InternetConnect(session, "127.0.0.1", server.port(), "", "", INTERNET_SERVICE_HTTP);
    HINTERNET request = HttpOpenRequest(connection, "GET", "/", "HTTP/1.0", "", 0);
    ASSERT_NE(request, 0u);
    EXPECT_EQ(OpenHandleCount(), 3u);
    EXPECT_TRUE(InternetCloseHandle(session));
    EXPECT_EQ(OpenHandleCount(), 0u);
    EXPECT_FALSE(HttpSendRequest(request));
    EXPECT_FALSE(InternetCloseHandle(request));
    EXPECT_EQ(InternetConnect(session, "127.0.0.1", 80, "", "", INTERNET_SERVICE_HTTP), 0u);
}

// A call blocked on a request fails soon after another thread closes the request: during a
// server that never answers, and during a body that stalls.
TEST_F(InetTest, CloseFromAnotherThreadBreaksABlockedCall)
{
    using Clock = std::chrono::steady_clock;
    server.route("/silent", Response::silence());
    server.route("/stalled", Response::html("first").addChunk("second", std::chrono::hours(1)));

    {
        Fetch fetch("127.0.0.1", server.port(), "/silent");
        const HINTERNET request = fetch.request;
        auto send = std::async(std::launch::async, [request] { return HttpSendRequest(request); });
        ASSERT_TRUE(server.waitForRequests(1));
        const auto closedAt = Clock::now();
        InternetCloseHandle(fetch.request);
        ASSERT_EQ(send.wait_for(10s), std::future_status::ready) << "the blocked send returned";
        EXPECT_FALSE(send.get());
        EXPECT_LT(Clock::now() - closedAt, 5s);
    }
    {
        Fetch fetch("127.0.0.1", server.port(), "/stalled");
        ASSERT_TRUE(HttpSendRequest(fetch.request));
        const HINTERNET request = fetch.request;
        auto read = std::async(std::launch::async, [request] {
            std::string body;
            return readBody(request, body);
        });
        EXPECT_EQ(read.wait_for(200ms), std::future_status::timeout) << "the body stalls after its first piece";
        InternetCloseHandle(fetch.request);
        ASSERT_EQ(read.wait_for(10s), std::future_status::ready);
        EXPECT_FALSE(read.get());
    }
}

TEST_F(InetTest, ManyReadsDeliverALargeBodyWhole)
{
    std::string body;
    for (int i = 0; body.size() < 6u << 20; ++i)
        body += "line " + std::to_string(i) + "\n";
    server.route("/large", Response::html(body).inWritesOf(100000));
    Fetch fetch("127.0.0.1", server.port(), "/large");
    ASSERT_TRUE(HttpSendRequest(fetch.request));
    std::string received;
    int reads = 0;
    // Reading slowly at first lets the transfer run ahead of the reader and pause.
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(fetch.readAll(received, &reads));
    EXPECT_EQ(received.size(), body.size());
    EXPECT_TRUE(received == body);
    EXPECT_GT(reads, 1);
}

} // namespace
