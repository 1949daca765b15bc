#pragma once
// A scriptable HTTP/1.x server for tests, on 127.0.0.1 with an ephemeral port.
//
// It runs on threads of its own (POSIX sockets, one thread per connection), never on the Qt
// event loop, so a test's main thread may block inside a libcurl call while the server
// answers. Each path gets a scripted `Response`: status line, headers, a body in chunks with
// pauses, chunked encoding, no length, a dropped or reset connection after N body bytes,
// silence, a Basic 401/407 challenge that checks the resent credentials, a redirect, or a
// sequence of responses for repeated requests. Every request is recorded for assertions.
// Requests in absolute form ("GET http://host/path HTTP/1.0") are served too, so a test can
// give this server to a client as its HTTP proxy.
//
// Usage:
//
//     testsupport::HttpServer server;
//     server.route("/", testsupport::Response::html("<a href=\"/a.jpg\">a</a>"));
//     server.route("/slow", testsupport::Response::html("first")
//                               .addChunk("second", std::chrono::milliseconds(50)));
//     server.routeSequence("/busy", {testsupport::Response::html("busy", 503),
//                                    testsupport::Response::html("ok")});
//     server.route("/secret", testsupport::Response::html("hidden")
//                                 .requiringBasicAuth("user", "pass"));
//     server.route("http://pics.example.test/a.jpg",          // reached through the proxy
//                  testsupport::Response::withType("image/jpeg", jpegBytes));
//     server.serveDirectory(fixtureFolder, "/site/");
//
//     curl_easy_setopt(curl, CURLOPT_URL, server.url("/slow").c_str());
//     ... perform ...
//     ASSERT_TRUE(server.waitForRequests(1));
//     EXPECT_EQ(server.requests()[0].headers.value("Referer"), "http://example.test/");
//
// Matching: a route key is a path as sent ("/a"), optionally with its query ("/a?x=1"), or an
// absolute URL ("http://host[:port]/a[?q]") that also names the host (from an absolute-form
// target, else from the Host header). The most specific key wins: host with query, host,
// path with query, path. Then the served folders (longest prefix first), then 404.
//
// Connections: an HTTP/1.1 request keeps its connection open unless it asked for "Connection:
// close" or the response closes it (`closingConnection`, no automatic length, a drop, raw);
// the server then adds "Connection: close" to a 1.1 response that does not set the header
// itself. An HTTP/1.0 request is always answered and closed, with exactly the scripted headers
// plus the automatic Content-Length (or Transfer-Encoding). Malformed requests get 400 (414 for
// a request line over 8 KiB, 431 for a request head over 64 KiB, 413 for a body over 8 MiB, 501
// for a transfer coding other than chunked, 505 for a version other than 1.x) and are closed;
// they are counted by `badRequestCount`, not recorded. A stream that cannot begin a request
// (binary, a TLS hello) is refused at its first bytes.
//
// The destructor (or `stop`) ends every pause, silence and connection at once and joins all
// threads; clients still connected see the connection close.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testsupport {

using Milliseconds = std::chrono::milliseconds;

// One piece of a response body, sent after an optional pause. With chunked encoding each
// non-empty piece is one chunk on the wire.
struct Chunk {
    std::string data;
    Milliseconds pauseBefore{0};
};

// Credentials a response demands. Until a request carries exactly these (Authorization for
// `Server`, Proxy-Authorization for `Proxy`, scheme Basic), the server answers with a 401
// (WWW-Authenticate) or 407 (Proxy-Authenticate) challenge for the realm instead.
struct BasicAuth {
    enum class Kind { Server, Proxy };
    Kind kind = Kind::Server;
    std::string user;
    std::string password;
    std::string realm = "test";
};

// What the server sends for one request. A plain aggregate: set the fields directly or use
// the builders and the chaining setters below.
struct Response {
    int code = 200;
    std::string reason;                  // status line text; empty: the standard one for `code`
    std::string version = "HTTP/1.1";    // status line version
    std::vector<std::pair<std::string, std::string>> headers; // sent verbatim, in order
    std::vector<Chunk> body;
    bool autoContentLength = true;       // add Content-Length unless a header sets one
    bool chunkedEncoding = false;        // Transfer-Encoding: chunked, one chunk per piece
    Milliseconds headerDelay{0};         // pause after the request, before the status line
    std::size_t writeSize = 0;           // 0: one write per piece; N: writes of at most N bytes
    Milliseconds writePause{0};          // pause between those writes
    std::optional<std::size_t> dropAfterBodyBytes; // close after this many body bytes
    bool resetOnDrop = false;            // drop with a TCP reset instead of a normal close
    bool closeAfter = false;             // close the connection after this response
    bool silent = false;                 // read the request, never answer, until stop
    bool raw = false;                    // no status line or headers: the body bytes are all
    std::optional<BasicAuth> auth;

    // 200 (or `code`) with Content-Type text/html.
    [[nodiscard]] static Response html(std::string body, int code = 200);
    [[nodiscard]] static Response withType(std::string contentType, std::string body, int code = 200);
    // `code` with a Location header and a short HTML body.
    [[nodiscard]] static Response redirect(std::string location, int code = 302);
    [[nodiscard]] static Response silence();
    // Exactly these bytes on the wire (pieces, pauses and drops still apply), then close.
    [[nodiscard]] static Response rawBytes(std::string bytes);
    [[nodiscard]] static Response notFound();

    Response &withHeader(std::string name, std::string value);
    Response &addChunk(std::string data, Milliseconds pauseBefore = Milliseconds(0));
    Response &withoutContentLength();
    Response &withChunkedEncoding();
    Response &withHeaderDelay(Milliseconds delay);
    Response &inWritesOf(std::size_t bytes, Milliseconds pause = Milliseconds(0));
    Response &droppingAfter(std::size_t bodyBytes);
    Response &resettingAfter(std::size_t bodyBytes);
    Response &closingConnection();
    Response &requiringBasicAuth(std::string user, std::string password, std::string realm = "test");
    Response &requiringProxyAuth(std::string user, std::string password, std::string realm = "proxy");

    [[nodiscard]] std::size_t bodySize() const;
    [[nodiscard]] std::string bodyText() const;
};

// Request headers in the order received; lookups ignore the case of the name.
class Headers {
public:
    struct Field {
        std::string name;
        std::string value;
    };

    void add(std::string name, std::string value);
    [[nodiscard]] bool has(std::string_view name) const;
    // The first value of `name`, or nothing.
    [[nodiscard]] std::optional<std::string> get(std::string_view name) const;
    // The first value of `name`, or an empty text.
    [[nodiscard]] std::string value(std::string_view name) const;
    [[nodiscard]] std::vector<std::string> all(std::string_view name) const;
    [[nodiscard]] const std::vector<Field> &fields() const { return fields_; }

private:
    std::vector<Field> fields_;
};

// One request as the server received it.
struct Request {
    std::string method;
    std::string target;        // as sent: "/a?x=1" or "http://host/a?x=1"
    std::string path;          // "/a" (still percent-encoded, as sent)
    std::string query;         // "x=1", without the "?"
    std::string host;          // authority of an absolute target, else the Host header
    bool absoluteForm = false; // the target was an absolute URL (a proxy request)
    std::string version;       // "HTTP/1.0" or "HTTP/1.1"
    Headers headers;
    std::string body;
    std::uint64_t connection = 0; // serial number of the connection it came on, from 1
    std::size_t number = 0;       // arrival order over the server's life, from 1
};

class HttpServer {
public:
    using Handler = std::function<Response(const Request &)>;

    // Listens on 127.0.0.1 with a port the system picks. Throws std::runtime_error on failure.
    HttpServer();
    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    [[nodiscard]] std::uint16_t port() const;
    // "http://127.0.0.1:PORT" followed by `path` (a "/" is put in front when missing). Also
    // the value to give a client as its proxy.
    [[nodiscard]] std::string url(std::string_view path = "/") const;

    // Scripts a key (see Matching above). Setting a key again replaces its script and
    // restarts its sequence.
    void route(std::string key, Response response);
    // One response per request in turn; the last one repeats. A challenge sent for a missing
    // or wrong credential does not use up the entry.
    void routeSequence(std::string key, std::vector<Response> responses);
    // Called on a server thread for every request to the key. An exception becomes a 500.
    void routeHandler(std::string key, Handler handler);
    // Serves the files under `folder` for paths below `prefix` ("/" or "/site/", or
    // "http://host/" for one host only): percent-decoded, no "..", a folder gives its
    // index.html, the content type follows the extension. Files are read at request time.
    void serveDirectory(std::filesystem::path folder, std::string prefix = "/");
    // Every request must carry these proxy credentials, else it gets a 407 challenge.
    void requireProxyAuth(std::string user, std::string password, std::string realm = "proxy");

    [[nodiscard]] std::vector<Request> requests() const;
    [[nodiscard]] std::size_t requestCount() const;
    // The recorded requests whose path is `path`.
    [[nodiscard]] std::vector<Request> requestsFor(std::string_view path) const;
    // True once at least `count` requests have been recorded; false after `timeout`.
    [[nodiscard]] bool waitForRequests(std::size_t count, Milliseconds timeout = Milliseconds(5000)) const;
    void clearRequests();

    [[nodiscard]] std::size_t badRequestCount() const;
    [[nodiscard]] std::size_t connectionCount() const;     // accepted so far
    [[nodiscard]] std::size_t openConnectionCount() const; // not yet closed by either side
    // True once no connection is open; false after `timeout`.
    [[nodiscard]] bool waitUntilNoOpenConnections(Milliseconds timeout = Milliseconds(5000)) const;

    // Ends all connections and threads. Idempotent; the destructor calls it.
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace testsupport
