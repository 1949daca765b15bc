// The test server is what every network test stands on: if it does not play a behaviour
// faithfully (a pause, a cut body, a challenge), the tests built on it prove nothing. These
// tests drive it with libcurl, the client the programs use.
#include "tests/support/httpserver.h"
#include "tests/support/testenv.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using testsupport::HttpServer;
using testsupport::Milliseconds;
using testsupport::Response;
using Clock = std::chrono::steady_clock;

class CurlGlobal : public ::testing::Environment {
    void SetUp() override { ASSERT_EQ(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK); }
    void TearDown() override { curl_global_cleanup(); }
};
[[maybe_unused]] ::testing::Environment *const curlGlobal = ::testing::AddGlobalTestEnvironment(new CurlGlobal);

struct Piece {
    std::string data;
    Clock::time_point when;
};

struct Fetched {
    CURLcode code = CURLE_OK;
    long status = 0;
    std::string body;
    std::string head; // every header line received, status lines included
    std::vector<Piece> pieces;
    Clock::time_point started;
    curl_off_t contentLength = -1;

    // Time from the start of the request to the arrival of body byte `offset`.
    [[nodiscard]] Milliseconds arrivalOf(std::size_t offset) const
    {
        std::size_t seen = 0;
        for (const Piece &piece : pieces) {
            seen += piece.data.size();
            if (offset < seen)
                return std::chrono::duration_cast<Milliseconds>(piece.when - started);
        }
        return Milliseconds(-1);
    }
};

// One libcurl easy handle; reused across perform() calls like a client resending on the same
// handle. Never a proxy from the environment, never signals, never longer than 10 s.
class Curl {
public:
    Curl() : handle_(curl_easy_init())
    {
        if (!handle_)
            throw std::runtime_error("curl_easy_init failed");
        set(CURLOPT_NOSIGNAL, 1L);
        set(CURLOPT_PROXY, "");
        set(CURLOPT_NOPROXY, ""); // a proxy set by a test is used for every host, whatever no_proxy says
        set(CURLOPT_TIMEOUT_MS, 10000L);
        set(CURLOPT_WRITEFUNCTION, &Curl::onBody);
        set(CURLOPT_HEADERFUNCTION, &Curl::onHeader);
    }
    ~Curl() { curl_easy_cleanup(handle_); }
    Curl(const Curl &) = delete;
    Curl &operator=(const Curl &) = delete;

    template <typename T>
    void set(CURLoption option, T value)
    {
        ASSERT_EQ(curl_easy_setopt(handle_, option, value), CURLE_OK) << "option " << option;
    }

    Fetched perform(const std::string &url)
    {
        Fetched result;
        set(CURLOPT_URL, url.c_str());
        set(CURLOPT_WRITEDATA, &result);
        set(CURLOPT_HEADERDATA, &result);
        result.started = Clock::now();
        result.code = curl_easy_perform(handle_);
        curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &result.status);
        curl_easy_getinfo(handle_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &result.contentLength);
        return result;
    }

private:
    static size_t onBody(char *data, size_t size, size_t count, void *user)
    {
        auto *result = static_cast<Fetched *>(user);
        result->body.append(data, size * count);
        result->pieces.push_back(Piece{std::string(data, size * count), Clock::now()});
        return size * count;
    }
    static size_t onHeader(char *data, size_t size, size_t count, void *user)
    {
        static_cast<Fetched *>(user)->head.append(data, size * count);
        return size * count;
    }

    CURL *handle_;
};

Fetched fetch(const std::string &url)
{
    Curl curl;
    return curl.perform(url);
}

Fetched fetchThroughProxy(const HttpServer &proxy, const std::string &url)
{
    Curl curl;
    curl.set(CURLOPT_PROXY, proxy.url("").c_str());
    return curl.perform(url);
}

bool headHas(const Fetched &fetched, const std::string &line)
{
    return fetched.head.find(line + "\r\n") != std::string::npos;
}

// A plain socket client, for bytes libcurl would never send. Sends everything, ends its
// side of the stream and returns what came back before the server closed.
std::string exchangeRaw(std::uint16_t port, const std::string &bytes, bool endStream = true)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket failed");
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const timeval timeout = {5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) < 0) {
        ::close(fd);
        throw std::runtime_error("connect failed");
    }
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break; // the server may close on us mid-way; what it answered is still readable
        sent += std::size_t(n);
    }
    if (endStream)
        ::shutdown(fd, SHUT_WR);
    std::string answer;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        answer.append(buffer, std::size_t(n));
    }
    ::close(fd);
    return answer;
}

// A connected socket that sends `bytes` and then just sits there.
class IdleClient {
public:
    IdleClient(std::uint16_t port, const std::string &bytes) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address) < 0)
            throw std::runtime_error("connect failed");
        if (!bytes.empty() && ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) != ssize_t(bytes.size()))
            throw std::runtime_error("send failed");
    }
    ~IdleClient() { ::close(fd_); }
    IdleClient(const IdleClient &) = delete;
    IdleClient &operator=(const IdleClient &) = delete;

private:
    int fd_;
};

TEST(HttpServer, ServesTheScriptedStatusLineHeadersAndBody)
{
    HttpServer server;
    server.route("/page", Response::html("hello").withHeader("X-Test", "one"));
    Response odd = Response::withType("text/plain", "odd", 299);
    odd.reason = "Fine Thanks";
    server.route("/odd", odd);

    const Fetched page = fetch(server.url("/page"));
    EXPECT_EQ(page.code, CURLE_OK);
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.body, "hello");
    EXPECT_TRUE(headHas(page, "HTTP/1.1 200 OK")) << page.head;
    EXPECT_TRUE(headHas(page, "Content-Type: text/html")) << page.head;
    EXPECT_TRUE(headHas(page, "X-Test: one")) << page.head;
    EXPECT_TRUE(headHas(page, "Content-Length: 5")) << page.head;

    const Fetched custom = fetch(server.url("/odd"));
    EXPECT_EQ(custom.status, 299);
    EXPECT_TRUE(headHas(custom, "HTTP/1.1 299 Fine Thanks")) << custom.head;
    EXPECT_EQ(custom.body, "odd");

    const Fetched unknown = fetch(server.url("/nowhere"));
    EXPECT_EQ(unknown.code, CURLE_OK);
    EXPECT_EQ(unknown.status, 404);

    // Exactly the bytes scripted, even a status line libcurl has to take as it comes.
    server.route("/raw", Response::rawBytes("HTTP/1.0 200 OK\r\nX-Raw: yes\r\n\r\nraw body"));
    const Fetched raw = fetch(server.url("/raw"));
    EXPECT_EQ(raw.code, CURLE_OK);
    EXPECT_EQ(raw.head, "HTTP/1.0 200 OK\r\nX-Raw: yes\r\n\r\n");
    EXPECT_EQ(raw.body, "raw body");
}

TEST(HttpServer, RecordsEachRequestAsSent)
{
    HttpServer server;
    server.route("/search", Response::html("any query"));
    server.route("/search?q=red", Response::html("red"));

    Curl curl;
    curl.set(CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_0));
    curl.set(CURLOPT_REFERER, "http://example.test/start.html");
    curl.set(CURLOPT_USERAGENT, "Trawlix-test/1.0");
    const Fetched red = curl.perform(server.url("/search?q=red"));
    EXPECT_EQ(red.body, "red");
    EXPECT_EQ(fetch(server.url("/search?q=blue")).body, "any query");

    Curl post;
    post.set(CURLOPT_POSTFIELDS, "name=a&text=b");
    EXPECT_EQ(post.perform(server.url("/form")).status, 404);

    ASSERT_TRUE(server.waitForRequests(3));
    EXPECT_FALSE(server.waitForRequests(4, 20ms));
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);

    const testsupport::Request &first = requests[0];
    EXPECT_EQ(first.method, "GET");
    EXPECT_EQ(first.target, "/search?q=red");
    EXPECT_EQ(first.path, "/search");
    EXPECT_EQ(first.query, "q=red");
    EXPECT_EQ(first.version, "HTTP/1.0");
    EXPECT_FALSE(first.absoluteForm);
    EXPECT_EQ(first.host, "127.0.0.1:" + std::to_string(server.port()));
    EXPECT_EQ(first.headers.value("referer"), "http://example.test/start.html");
    EXPECT_EQ(first.headers.value("USER-AGENT"), "Trawlix-test/1.0");
    EXPECT_FALSE(first.headers.has("Authorization"));
    EXPECT_EQ(first.number, 1u);

    EXPECT_EQ(requests[1].query, "q=blue");
    EXPECT_EQ(requests[1].version, "HTTP/1.1");

    EXPECT_EQ(requests[2].method, "POST");
    EXPECT_EQ(requests[2].body, "name=a&text=b");
    EXPECT_EQ(requests[2].headers.value("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(server.requestsFor("/search").size(), 2u);

    server.clearRequests();
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST(HttpServer, ReadsChunkedRequestBodies)
{
    HttpServer server;
    server.routeHandler("/upload", [](const testsupport::Request &request) {
        return Response::withType("text/plain", "got " + std::to_string(request.body.size()));
    });
    // A chunked upload that also asks for "100 Continue" first.
    Curl curl;
    curl.set(CURLOPT_POST, 1L);
    curl_slist *headers = curl_slist_append(nullptr, "Transfer-Encoding: chunked");
    headers = curl_slist_append(headers, "Expect: 100-continue");
    curl.set(CURLOPT_HTTPHEADER, headers);
    static const std::string payload(5000, 'p');
    struct Source {
        std::size_t offset = 0;
    } source;
    curl.set(CURLOPT_READDATA, &source);
    curl.set(CURLOPT_READFUNCTION, +[](char *buffer, size_t size, size_t count, void *user) -> size_t {
        auto *from = static_cast<Source *>(user);
        const std::size_t n = std::min(size * count, std::min<std::size_t>(700, payload.size() - from->offset));
        payload.copy(buffer, n, from->offset);
        from->offset += n;
        return n;
    });
    const Fetched fetched = curl.perform(server.url("/upload"));
    curl_slist_free_all(headers);
    EXPECT_EQ(fetched.code, CURLE_OK);
    EXPECT_EQ(fetched.body, "got 5000");
    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(server.requests()[0].body, payload);
}

TEST(HttpServer, ChunkedEncodingCarriesTheBodyWithoutALength)
{
    HttpServer server;
    server.route("/chunked", Response::html("one,").addChunk("two,").addChunk("").addChunk("three").withChunkedEncoding());
    const Fetched fetched = fetch(server.url("/chunked"));
    EXPECT_EQ(fetched.code, CURLE_OK);
    EXPECT_EQ(fetched.body, "one,two,three");
    EXPECT_TRUE(headHas(fetched, "Transfer-Encoding: chunked")) << fetched.head;
    EXPECT_EQ(fetched.head.find("Content-Length"), std::string::npos) << fetched.head;
}

// Pauses are observed as lower bounds only: a byte cannot arrive before the server sent it.
TEST(HttpServer, PacesTheResponseAsScripted)
{
    struct Case {
        const char *name;
        Response response;
        std::size_t lateByte; // body offset of a byte that must come late
        Milliseconds notBefore;
    };
    const std::vector<Case> cases = {
        {"pause before the second chunk", Response::html("first").addChunk("second", 80ms), 5, 80ms},
        {"pause before the headers", Response::html("body").withHeaderDelay(80ms), 0, 80ms},
        {"one byte per write", Response::html("0123456789").inWritesOf(1, 3ms), 9, 3ms * 9},
    };
    HttpServer server;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        server.route("/paced", c.response);
        const Fetched fetched = fetch(server.url("/paced"));
        EXPECT_EQ(fetched.code, CURLE_OK);
        EXPECT_EQ(fetched.body, c.response.bodyText());
        EXPECT_GE(fetched.arrivalOf(c.lateByte), c.notBefore);
    }
    // The first chunk is not held back by the pause that comes after it (a long pause, so a
    // busy machine does not join the two pieces on the client's side).
    server.route("/paced", Response::html("first").addChunk("second", 400ms));
    const Fetched fetched = fetch(server.url("/paced"));
    ASSERT_GE(fetched.pieces.size(), 2u);
    EXPECT_EQ(fetched.pieces.front().data, "first");
}

// The traps of cut bodies: without a length the client cannot tell a cut from the end.
TEST(HttpServer, CutsBodiesTheWaysRealServersDo)
{
    struct Case {
        const char *name;
        Response response;
        CURLcode expected;
        std::string body;
    };
    const std::string full(100, 'x');
    const std::vector<Case> cases = {
        {"no length, then close", Response::html("short").withoutContentLength(), CURLE_OK, "short"},
        {"length, dropped after 10", Response::html(full).droppingAfter(10), CURLE_PARTIAL_FILE, full.substr(0, 10)},
        {"length, dropped before the body", Response::html(full).droppingAfter(0), CURLE_PARTIAL_FILE, ""},
        {"chunked, dropped after 30", Response::html(full).withChunkedEncoding().droppingAfter(30), CURLE_PARTIAL_FILE, full.substr(0, 30)},
        {"chunked, dropped before the last chunk", Response::html(full).withChunkedEncoding().droppingAfter(100), CURLE_PARTIAL_FILE, full},
        {"a length that lies", Response::html("ten bytes!").withoutContentLength().withHeader("Content-Length", "50"), CURLE_PARTIAL_FILE, "ten bytes!"},
    };
    HttpServer server;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        server.route("/cut", c.response);
        const Fetched fetched = fetch(server.url("/cut"));
        EXPECT_EQ(fetched.code, c.expected) << curl_easy_strerror(fetched.code);
        EXPECT_EQ(fetched.body, c.body);
    }

    server.route("/reset", Response::html(full).resettingAfter(10));
    const Fetched reset = fetch(server.url("/reset"));
    EXPECT_EQ(reset.code, CURLE_RECV_ERROR) << curl_easy_strerror(reset.code);
    EXPECT_LE(reset.body.size(), 10u);
}

TEST(HttpServer, SilenceTimesTheClientOutWithoutHoldingUpOthers)
{
    HttpServer server;
    server.route("/never", Response::silence());
    server.route("/other", Response::html("other"));

    Curl curl;
    curl.set(CURLOPT_TIMEOUT_MS, 300L);
    const Fetched silent = curl.perform(server.url("/never"));
    EXPECT_EQ(silent.code, CURLE_OPERATION_TIMEDOUT) << curl_easy_strerror(silent.code);
    EXPECT_EQ(server.requestsFor("/never").size(), 1u);
    // The client hung up; the server notices and frees the connection.
    EXPECT_TRUE(server.waitUntilNoOpenConnections());

    IdleClient waiting(server.port(), "GET /never HTTP/1.1\r\nHost: x\r\n\r\n");
    ASSERT_TRUE(server.waitForRequests(2));
    EXPECT_EQ(fetch(server.url("/other")).body, "other");
}

TEST(HttpServer, StopEndsSilentAndIdleConnectionsAtOnce)
{
    auto server = std::make_unique<HttpServer>();
    server->route("/never", Response::silence());
    server->route("/slow", Response::html("a").addChunk("b", 60s));

    std::atomic<CURLcode> silentResult{CURLE_OK};
    std::thread silentClient([&silentResult, url = server->url("/never")] { silentResult = fetch(url).code; });
    std::atomic<CURLcode> slowResult{CURLE_OK};
    std::atomic<bool> slowStarted{false};
    std::thread slowClient([&slowResult, &slowStarted, url = server->url("/slow")] {
        Curl curl;
        curl.set(CURLOPT_NOPROGRESS, 0L);
        curl.set(CURLOPT_XFERINFODATA, &slowStarted);
        curl.set(CURLOPT_XFERINFOFUNCTION, +[](void *started, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
            if (received > 0)
                static_cast<std::atomic<bool> *>(started)->store(true);
            return 0;
        });
        slowResult = curl.perform(url).code;
    });
    IdleClient idle(server->port(), "");
    IdleClient halfRequest(server->port(), "GET /never HTTP/1.1\r\nHo");
    // No ASSERT before the joins: stopping the server below ends both clients either way.
    EXPECT_TRUE(server->waitForRequests(2));
    for (const auto deadline = Clock::now() + 5s; !slowStarted && Clock::now() < deadline;)
        std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(slowStarted);

    // A hang here would run into the test's time-out; the bound only makes the failure clear.
    const auto before = Clock::now();
    server.reset();
    EXPECT_LT(Clock::now() - before, 3s);
    silentClient.join();
    slowClient.join();
    EXPECT_EQ(silentResult.load(), CURLE_GOT_NOTHING) << curl_easy_strerror(silentResult.load());
    EXPECT_EQ(slowResult.load(), CURLE_PARTIAL_FILE) << curl_easy_strerror(slowResult.load());
}

// The crawler's fetch sends once without credentials and resends on the same handle after
// a 401 or 407; a second challenge means the credentials were wrong.
TEST(HttpServer, ChallengesAndChecksTheResentCredentials)
{
    struct Case {
        const char *name;
        bool proxy;
        const char *credentials;
        long statusAfterResend;
    };
    const Case cases[] = {
        {"401, right credentials", false, "user:pass", 200},
        {"401, wrong password", false, "user:wrong", 401},
        {"401, empty credentials", false, ":", 401},
        {"407, right credentials", true, "proxyuser:proxypass", 200},
        {"407, wrong user", true, "someone:proxypass", 407},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        HttpServer server;
        server.route("/secret", Response::html("secret").requiringBasicAuth("user", "pass", "Members"));
        server.route("http://pics.example.test/a.jpg",
                     Response::withType("image/jpeg", "JPEG").requiringProxyAuth("proxyuser", "proxypass", "Gate"));
        Curl curl;
        curl.set(CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_0));
        std::string url = server.url("/secret");
        if (c.proxy) {
            curl.set(CURLOPT_PROXY, server.url("").c_str());
            url = "http://pics.example.test/a.jpg";
        }

        const Fetched challenged = curl.perform(url);
        EXPECT_EQ(challenged.code, CURLE_OK);
        EXPECT_EQ(challenged.status, c.proxy ? 407 : 401);
        EXPECT_TRUE(headHas(challenged, c.proxy ? "Proxy-Authenticate: Basic realm=\"Gate\""
                                                : "WWW-Authenticate: Basic realm=\"Members\""))
            << challenged.head;

        if (c.proxy) {
            curl.set(CURLOPT_PROXYAUTH, long(CURLAUTH_BASIC));
            curl.set(CURLOPT_PROXYUSERPWD, c.credentials);
        } else {
            curl.set(CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC));
            curl.set(CURLOPT_USERPWD, c.credentials);
        }
        const Fetched resent = curl.perform(url);
        EXPECT_EQ(resent.code, CURLE_OK);
        EXPECT_EQ(resent.status, c.statusAfterResend);
        if (c.statusAfterResend == 200) {
            EXPECT_EQ(resent.body, c.proxy ? "JPEG" : "secret");
        }

        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), 2u);
        const char *header = c.proxy ? "Proxy-Authorization" : "Authorization";
        EXPECT_FALSE(requests[0].headers.has(header));
        EXPECT_TRUE(requests[1].headers.value(header).starts_with("Basic "));
    }
}

TEST(HttpServer, ActsAsAProxyForAbsoluteTargets)
{
    HttpServer server;
    server.route("http://pics.example.test/a.jpg", Response::withType("image/jpeg", "pics A"));
    server.route("http://other.example.test:80/a.jpg", Response::withType("image/jpeg", "other A"));
    server.route("/b.jpg", Response::withType("image/jpeg", "any host B"));

    // libcurl hands the whole address to the proxy and never resolves these names itself.
    EXPECT_EQ(fetchThroughProxy(server, "http://pics.example.test/a.jpg").body, "pics A");
    EXPECT_EQ(fetchThroughProxy(server, "http://OTHER.example.test/a.jpg").body, "other A");
    EXPECT_EQ(fetchThroughProxy(server, "http://third.example.test/b.jpg").body, "any host B");
    EXPECT_EQ(fetchThroughProxy(server, "http://third.example.test/a.jpg").status, 404);

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].target, "http://pics.example.test/a.jpg");
    EXPECT_TRUE(requests[0].absoluteForm);
    EXPECT_EQ(requests[0].host, "pics.example.test");
    EXPECT_EQ(requests[0].path, "/a.jpg");

    // A proxy that wants credentials from every client.
    server.requireProxyAuth("me", "secret");
    EXPECT_EQ(fetchThroughProxy(server, "http://pics.example.test/a.jpg").status, 407);
    Curl curl;
    curl.set(CURLOPT_PROXY, server.url("").c_str());
    curl.set(CURLOPT_PROXYUSERPWD, "me:secret");
    EXPECT_EQ(curl.perform("http://pics.example.test/a.jpg").body, "pics A");
}

TEST(HttpServer, RedirectsAreFollowedAndLoopsStopTheClient)
{
    HttpServer server;
    server.route("/old", Response::redirect("/new", 301));
    server.route("/new", Response::html("new place"));
    server.route("/loop", Response::redirect(server.url("/loop")));

    Curl curl;
    curl.set(CURLOPT_FOLLOWLOCATION, 1L);
    curl.set(CURLOPT_MAXREDIRS, 3L);
    const Fetched moved = curl.perform(server.url("/old"));
    EXPECT_EQ(moved.code, CURLE_OK);
    EXPECT_EQ(moved.status, 200);
    EXPECT_EQ(moved.body, "new place");
    EXPECT_TRUE(headHas(moved, "Location: /new")) << moved.head;
    ASSERT_EQ(server.requestCount(), 2u);
    EXPECT_EQ(server.requests()[1].path, "/new");

    const Fetched loop = curl.perform(server.url("/loop"));
    EXPECT_EQ(loop.code, CURLE_TOO_MANY_REDIRECTS);
    EXPECT_EQ(server.requestsFor("/loop").size(), 4u);
}

TEST(HttpServer, SequenceAnswersInTurnAndRepeatsItsLastResponse)
{
    HttpServer server;
    server.routeSequence("/busy", {Response::html("busy", 503), Response::html("busy", 503),
                                   Response::html("finally").requiringBasicAuth("u", "p")});
    std::vector<long> statuses;
    for (int i = 0; i < 3; ++i)
        statuses.push_back(fetch(server.url("/busy")).status);
    EXPECT_EQ(statuses, (std::vector<long>{503, 503, 401}));

    // The challenge did not use up the entry: the resend with credentials gets it, again and again.
    Curl curl;
    curl.set(CURLOPT_USERPWD, "u:p");
    EXPECT_EQ(curl.perform(server.url("/busy")).body, "finally");
    EXPECT_EQ(curl.perform(server.url("/busy")).body, "finally");

    // Scripting the key again starts afresh.
    server.routeSequence("/busy", {Response::html("again", 503), Response::html("done")});
    EXPECT_EQ(fetch(server.url("/busy")).status, 503);
    EXPECT_EQ(fetch(server.url("/busy")).body, "done");
}

TEST(HttpServer, HeadAnnouncesTheLengthOfTheBodyWithoutSendingIt)
{
    HttpServer server;
    server.route("/movie.mpg", Response::withType("video/mpeg", std::string(1234, 'm')).addChunk("tail", 10ms));

    Curl curl;
    curl.set(CURLOPT_NOBODY, 1L);
    const Fetched head = curl.perform(server.url("/movie.mpg"));
    EXPECT_EQ(head.code, CURLE_OK);
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.contentLength, 1238);
    EXPECT_TRUE(head.body.empty());
    EXPECT_TRUE(headHas(head, "Content-Type: video/mpeg"));

    // Had the HEAD answer carried a body, the next response on the kept connection would be garbled.
    curl.set(CURLOPT_HTTPGET, 1L);
    const Fetched get = curl.perform(server.url("/movie.mpg"));
    EXPECT_EQ(get.code, CURLE_OK);
    EXPECT_EQ(get.body.size(), 1238u);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "HEAD");
    EXPECT_EQ(requests[1].method, "GET");
    EXPECT_EQ(requests[0].connection, requests[1].connection);
}

TEST(HttpServer, KeepsHttp11ConnectionsOpenOnlyWhenItSafelyCan)
{
    struct Case {
        const char *name;
        long httpVersion;
        Response response;
        bool sameConnection;
    };
    const std::vector<Case> cases = {
        {"HTTP/1.1 with a length", long(CURL_HTTP_VERSION_1_1), Response::html("kept"), true},
        {"HTTP/1.1, chunked", long(CURL_HTTP_VERSION_1_1), Response::html("kept").withChunkedEncoding(), true},
        {"HTTP/1.0", long(CURL_HTTP_VERSION_1_0), Response::html("closed"), false},
        {"HTTP/1.1, forced close", long(CURL_HTTP_VERSION_1_1), Response::html("closed").closingConnection(), false},
        {"HTTP/1.1 without a length", long(CURL_HTTP_VERSION_1_1), Response::html("closed").withoutContentLength(), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        HttpServer server;
        server.route("/page", c.response);
        Curl curl;
        curl.set(CURLOPT_HTTP_VERSION, c.httpVersion);
        const Fetched first = curl.perform(server.url("/page"));
        const Fetched second = curl.perform(server.url("/page"));
        EXPECT_EQ(first.body, c.response.bodyText());
        EXPECT_EQ(second.body, c.response.bodyText());
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[0].connection == requests[1].connection, c.sameConnection);
        EXPECT_EQ(server.connectionCount(), c.sameConnection ? 1u : 2u);
        if (c.httpVersion == long(CURL_HTTP_VERSION_1_1)) {
            EXPECT_EQ(headHas(first, "Connection: close"), !c.sameConnection) << first.head;
        } else {
            EXPECT_EQ(first.head.find("Connection"), std::string::npos) << first.head;
        }
    }

    // Many short connections all end, on both sides.
    HttpServer server;
    server.route("/page", Response::html("x"));
    for (int i = 0; i < 40; ++i) {
        Curl curl;
        curl.set(CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_0));
        ASSERT_EQ(curl.perform(server.url("/page")).body, "x");
    }
    EXPECT_EQ(server.connectionCount(), 40u);
    EXPECT_TRUE(server.waitUntilNoOpenConnections());
}

TEST(HttpServer, HandlerAnswersFromTheRequestAndItsFailuresBecome500)
{
    HttpServer server;
    server.routeHandler("/echo", [](const testsupport::Request &request) {
        return Response::withType("text/plain", request.headers.value("X-Ask"));
    });
    server.routeHandler("/broken", [](const testsupport::Request &) -> Response { throw std::runtime_error("no luck"); });

    Curl curl;
    curl_slist *headers = curl_slist_append(nullptr, "X-Ask: echo me");
    curl.set(CURLOPT_HTTPHEADER, headers);
    EXPECT_EQ(curl.perform(server.url("/echo")).body, "echo me");
    curl_slist_free_all(headers);

    const Fetched broken = fetch(server.url("/broken"));
    EXPECT_EQ(broken.status, 500);
    EXPECT_NE(broken.body.find("no luck"), std::string::npos);
}

class HttpServerSite : public ::testing::Test {
protected:
    void SetUp() override
    {
        base_ = std::filesystem::path(testenv::root().toStdString()) / "fixtures";
        site_ = base_ / "site";
        write(site_ / "index.html", "<a href=\"pics/a.jpg\">a</a>");
        write(site_ / "pics" / "a.jpg", std::string("\xff\xd8\xff\xe0 jpeg \0 bytes \xff\xd9", 18));
        write(site_ / "pics" / "index.html", "pictures");
        write(site_ / "notes with space.txt", "plain");
        write(site_ / "clip.MPG", "mpeg");
        write(base_ / "secret.txt", "outside the site");
    }

    static void write(const std::filesystem::path &file, const std::string &content)
    {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
    }

    std::filesystem::path base_;
    std::filesystem::path site_;
};

TEST_F(HttpServerSite, ServesAFolderWithTypesFromExtensions)
{
    HttpServer server;
    server.serveDirectory(site_, "/site");
    server.route("/site/pics/override.jpg", Response::html("scripted"));

    struct Case {
        const char *path;
        long status;
        const char *contentType;
        std::string body;
    };
    const Case cases[] = {
        {"/site/", 200, "text/html", "<a href=\"pics/a.jpg\">a</a>"},
        {"/site/pics/a.jpg", 200, "image/jpeg", std::string("\xff\xd8\xff\xe0 jpeg \0 bytes \xff\xd9", 18)},
        {"/site/pics", 200, "text/html", "pictures"},
        {"/site/notes%20with%20space.txt", 200, "text/plain", "plain"},
        {"/site/clip.MPG", 200, "video/mpeg", "mpeg"},
        {"/site/pics/override.jpg", 200, "text/html", "scripted"},
        {"/site/missing.gif", 404, nullptr, ""},
        {"/site/../secret.txt", 404, nullptr, ""},
        {"/site/%2e%2e/secret.txt", 404, nullptr, ""},
        {"/site/pics/%2E%2E/../secret.txt", 404, nullptr, ""},
        {"/secret.txt", 404, nullptr, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        Curl curl;
        curl.set(CURLOPT_PATH_AS_IS, 1L); // send "..", do not let the client tidy it away
        const Fetched fetched = curl.perform(server.url(c.path));
        EXPECT_EQ(fetched.code, CURLE_OK);
        EXPECT_EQ(fetched.status, c.status);
        if (c.contentType) {
            EXPECT_TRUE(headHas(fetched, std::string("Content-Type: ") + c.contentType)) << fetched.head;
            EXPECT_EQ(fetched.body, c.body);
        }
        EXPECT_EQ(fetched.body.find("outside"), std::string::npos);
    }
    ASSERT_EQ(server.requestsFor("/site/../secret.txt").size(), 1u);

    Curl head;
    head.set(CURLOPT_NOBODY, 1L);
    EXPECT_EQ(head.perform(server.url("/site/pics/a.jpg")).contentLength, 18);
}

TEST_F(HttpServerSite, ServesAFolderForOneHostThroughTheProxy)
{
    HttpServer server;
    server.serveDirectory(site_ / "pics", "http://pics.example.test/");
    server.serveDirectory(site_, "/");
    EXPECT_EQ(fetchThroughProxy(server, "http://pics.example.test/").body, "pictures");
    EXPECT_EQ(fetchThroughProxy(server, "http://www.example.test/").body, "<a href=\"pics/a.jpg\">a</a>");
    EXPECT_EQ(fetch(server.url("/pics/")).body, "pictures");
}

TEST(HttpServer, AnswersMalformedRequestsAndKeepsServing)
{
    struct Case {
        const char *name;
        std::string bytes;
        std::string answerStart; // empty: the server just closes
    };
    const std::vector<Case> cases = {
        {"TLS hello", std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11), "HTTP/1.1 400 "},
        {"binary zeros", std::string(64, '\0'), "HTTP/1.1 400 "},
        {"no version", "GET /\r\n\r\n", "HTTP/1.1 400 "},
        {"unknown version", "GET / HTTP/2.0\r\n\r\n", "HTTP/1.1 505 "},
        {"relative target", "GET page.html HTTP/1.0\r\n\r\n", "HTTP/1.1 400 "},
        {"header without a colon", "GET / HTTP/1.1\r\nNoColonHere\r\n\r\n", "HTTP/1.1 400 "},
        {"folded header", "GET / HTTP/1.1\r\nX-A: b\r\n c\r\n\r\n", "HTTP/1.1 400 "},
        {"bad length", "POST / HTTP/1.1\r\nContent-Length: abc\r\n\r\n", "HTTP/1.1 400 "},
        {"two lengths", "POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab", "HTTP/1.1 400 "},
        {"unknown transfer coding", "POST / HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n", "HTTP/1.1 501 "},
        {"bad chunk size", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", "HTTP/1.1 400 "},
        {"huge body", "POST / HTTP/1.1\r\nContent-Length: 999999999\r\n\r\n", "HTTP/1.1 413 "},
        {"huge header", "GET / HTTP/1.1\r\nX-Big: " + std::string(100000, 'a') + "\r\n\r\n", "HTTP/1.1 431 "},
        {"huge request line", "GET /" + std::string(10000, 'a') + " HTTP/1.1\r\n\r\n", "HTTP/1.1 414 "},
        {"endless request line", std::string(70000, 'A'), "HTTP/1.1 414 "},
        {"head cut off", "GET / HTTP/1.1\r\nHost: x\r\n", ""},
        {"body cut off", "POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc", ""},
    };
    HttpServer server;
    server.route("/", Response::html("still here"));
    std::size_t expectedBad = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string answer = exchangeRaw(server.port(), c.bytes);
        if (c.answerStart.empty()) {
            EXPECT_EQ(answer, "");
        } else {
            EXPECT_TRUE(answer.starts_with(c.answerStart)) << answer.substr(0, 80);
            ++expectedBad;
        }
        EXPECT_EQ(fetch(server.url("/")).body, "still here");
    }
    EXPECT_EQ(server.badRequestCount(), expectedBad);
    EXPECT_EQ(server.requestCount(), cases.size()); // only the good requests in between

    // Two requests in one write, the second after a stray empty line, both answered.
    const std::string pipelined = exchangeRaw(server.port(), "GET / HTTP/1.1\r\nHost: x\r\n\r\n\r\nGET / HTTP/1.0\r\n\r\n");
    const auto first = pipelined.find("still here");
    ASSERT_NE(first, std::string::npos) << pipelined;
    EXPECT_NE(pipelined.find("still here", first + 1), std::string::npos) << pipelined;
}

} // namespace
