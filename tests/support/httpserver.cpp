#include "tests/support/httpserver.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <list>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testsupport {
namespace {

// Bounds on what a client may send, so a hostile or broken client costs little memory.
constexpr std::size_t kMaxRequestLine = 8 * 1024;
constexpr std::size_t kMaxRequestHead = 64 * 1024;
constexpr std::size_t kMaxRequestBody = 8 * 1024 * 1024;
constexpr std::size_t kMaxChunkLine = 4 * 1024;
constexpr std::size_t kMaxOpenConnections = 256;
// How long a closing connection reads on after its last byte, waiting for the client's end:
// closing a socket with unread input makes the kernel send a reset, which can destroy the
// response the client has not read yet.
constexpr int kDrainMilliseconds = 1000;

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), asciiLower);
    return out;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return asciiLower(x) == asciiLower(y);
           });
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool isTokenChar(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return true;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
        return true;
    return c != 0 && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

bool isToken(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return isTokenChar(static_cast<unsigned char>(c)); });
}

// True when the comma-separated list holds `token` (as in "Connection: keep-alive, close").
bool listHasToken(std::string_view list, std::string_view token)
{
    while (!list.empty()) {
        const auto comma = list.find(',');
        if (equalsIgnoringCase(trimmed(list.substr(0, comma)), token))
            return true;
        if (comma == std::string_view::npos)
            break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

const char *standardReason(int code)
{
    switch (code) {
    case 100: return "Continue";
    case 200: return "OK";
    case 201: return "Created";
    case 202: return "Accepted";
    case 204: return "No Content";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 407: return "Proxy Authentication Required";
    case 408: return "Request Timeout";
    case 410: return "Gone";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 414: return "URI Too Long";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    case 505: return "HTTP Version Not Supported";
    default: return "Unknown";
    }
}

std::optional<std::string> decodeBase64(std::string_view text)
{
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    while (!text.empty() && text.back() == '=')
        text.remove_suffix(1);
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        const int v = value(c);
        if (v < 0)
            return std::nullopt;
        bits = (bits << 6) | unsigned(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(char((bits >> count) & 0xff));
        }
    }
    if (count >= 6) // a lone sixth group cannot come from any byte sequence
        return std::nullopt;
    return out;
}

std::optional<std::string> percentDecoded(std::string_view text)
{
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        c = asciiLower(c);
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int high = hex(text[i + 1]);
        const int low = hex(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out.push_back(char(high * 16 + low));
        i += 2;
    }
    return out;
}

std::string contentTypeFor(const std::filesystem::path &file)
{
    static const std::map<std::string, std::string> types = {
        {".html", "text/html"}, {".htm", "text/html"}, {".txt", "text/plain"},
        {".css", "text/css"}, {".js", "application/javascript"}, {".json", "application/json"},
        {".xml", "text/xml"}, {".ini", "text/plain"}, {".cfm", "text/html"},
        {".jpg", "image/jpeg"}, {".jpeg", "image/jpeg"}, {".jpe", "image/jpeg"},
        {".gif", "image/gif"}, {".png", "image/png"}, {".bmp", "image/bmp"},
        {".ico", "image/x-icon"}, {".svg", "image/svg+xml"}, {".webp", "image/webp"},
        {".wmf", "image/x-wmf"}, {".emf", "image/x-emf"},
        {".mpg", "video/mpeg"}, {".mpeg", "video/mpeg"}, {".avi", "video/x-msvideo"},
        {".mov", "video/quicktime"}, {".mp4", "video/mp4"}, {".wmv", "video/x-ms-wmv"},
        {".asf", "video/x-ms-asf"}, {".swf", "application/x-shockwave-flash"},
        {".mp3", "audio/mpeg"}, {".wav", "audio/wav"}, {".zip", "application/zip"},
    };
    const auto found = types.find(lowered(file.extension().string()));
    return found != types.end() ? found->second : "application/octet-stream";
}

// "Host:80" and "host" name the same server.
std::string normalisedAuthority(std::string_view authority)
{
    const auto at = authority.rfind('@');
    if (at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    std::string out = lowered(authority);
    if (out.size() > 3 && out.compare(out.size() - 3, 3, ":80") == 0)
        out.resize(out.size() - 3);
    return out;
}

struct Target {
    std::string path;
    std::string query;
    std::string host;
    bool absolute = false;
};

void splitPathAndQuery(std::string_view rest, Target &target)
{
    const auto hash = rest.find('#');
    rest = rest.substr(0, hash);
    const auto question = rest.find('?');
    target.path = std::string(rest.substr(0, question));
    if (question != std::string_view::npos)
        target.query = std::string(rest.substr(question + 1));
    if (target.path.empty())
        target.path = "/";
}

std::optional<Target> parseTarget(std::string_view method, std::string_view text)
{
    Target target;
    if (text.front() == '/') {
        splitPathAndQuery(text, target);
        return target;
    }
    for (std::string_view scheme : {"http://", "https://"}) {
        if (!startsWithIgnoringCase(text, scheme))
            continue;
        const std::string_view rest = text.substr(scheme.size());
        const auto authorityEnd = rest.find_first_of("/?#");
        const std::string_view authority = rest.substr(0, authorityEnd);
        if (authority.empty())
            return std::nullopt;
        target.host = std::string(authority);
        target.absolute = true;
        splitPathAndQuery(authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd), target);
        if (target.path.front() != '/')
            target.path.insert(0, "/");
        return target;
    }
    if (text == "*" && method == "OPTIONS") {
        target.path = "*";
        return target;
    }
    if (method == "CONNECT") {
        target.host = std::string(text);
        return target;
    }
    return std::nullopt;
}

// Route keys are compared in one form: an absolute key with its host in lower case and
// without the default port, a path key as given.
std::string routeKey(std::string_view key)
{
    if (!startsWithIgnoringCase(key, "http://"))
        return std::string(key);
    const std::string_view rest = key.substr(7);
    const auto authorityEnd = rest.find_first_of("/?");
    std::string out = "http://" + normalisedAuthority(rest.substr(0, authorityEnd));
    std::string_view remainder = authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);
    if (remainder.empty() || remainder.front() != '/')
        out += '/';
    out += remainder;
    return out;
}

bool credentialsMatch(const Request &request, const BasicAuth &auth)
{
    const auto header = request.headers.get(auth.kind == BasicAuth::Kind::Server ? "Authorization" : "Proxy-Authorization");
    if (!header)
        return false;
    const std::string_view value = trimmed(*header);
    if (!startsWithIgnoringCase(value, "basic "))
        return false;
    const auto decoded = decodeBase64(trimmed(value.substr(6)));
    return decoded && *decoded == auth.user + ":" + auth.password;
}

Response challengeFor(const BasicAuth &auth)
{
    const bool server = auth.kind == BasicAuth::Kind::Server;
    const int code = server ? 401 : 407;
    Response response = Response::html(std::string("<html><body><h1>") + std::to_string(code) + " " + standardReason(code) + "</h1></body></html>", code);
    response.withHeader(server ? "WWW-Authenticate" : "Proxy-Authenticate", "Basic realm=\"" + auth.realm + "\"");
    return response;
}

std::string hexSize(std::size_t size)
{
    std::ostringstream out;
    out << std::hex << size;
    return out.str();
}

bool hasHeader(const Response &response, std::string_view name)
{
    return std::any_of(response.headers.begin(), response.headers.end(),
                       [name](const auto &header) { return equalsIgnoringCase(header.first, name); });
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Response

Response Response::html(std::string body, int code)
{
    return withType("text/html", std::move(body), code);
}

Response Response::withType(std::string contentType, std::string body, int code)
{
    Response response;
    response.code = code;
    response.headers.emplace_back("Content-Type", std::move(contentType));
    if (!body.empty())
        response.body.push_back(Chunk{std::move(body), Milliseconds(0)});
    return response;
}

Response Response::redirect(std::string location, int code)
{
    Response response = html("<html><body><a href=\"" + location + "\">moved</a></body></html>", code);
    response.withHeader("Location", std::move(location));
    return response;
}

Response Response::silence()
{
    Response response;
    response.silent = true;
    return response;
}

Response Response::rawBytes(std::string bytes)
{
    Response response;
    response.raw = true;
    response.body.push_back(Chunk{std::move(bytes), Milliseconds(0)});
    return response;
}

Response Response::notFound()
{
    return html("<html><body><h1>404 Not Found</h1></body></html>", 404);
}

Response &Response::withHeader(std::string name, std::string value)
{
    headers.emplace_back(std::move(name), std::move(value));
    return *this;
}

Response &Response::addChunk(std::string data, Milliseconds pauseBefore)
{
    body.push_back(Chunk{std::move(data), pauseBefore});
    return *this;
}

Response &Response::withoutContentLength()
{
    autoContentLength = false;
    return *this;
}

Response &Response::withChunkedEncoding()
{
    chunkedEncoding = true;
    return *this;
}

Response &Response::withHeaderDelay(Milliseconds delay)
{
    headerDelay = delay;
    return *this;
}

Response &Response::inWritesOf(std::size_t bytes, Milliseconds pause)
{
    writeSize = bytes;
    writePause = pause;
    return *this;
}

Response &Response::droppingAfter(std::size_t bodyBytes)
{
    dropAfterBodyBytes = bodyBytes;
    resetOnDrop = false;
    return *this;
}

Response &Response::resettingAfter(std::size_t bodyBytes)
{
    dropAfterBodyBytes = bodyBytes;
    resetOnDrop = true;
    return *this;
}

Response &Response::closingConnection()
{
    closeAfter = true;
    return *this;
}

Response &Response::requiringBasicAuth(std::string user, std::string password, std::string realm)
{
    auth = BasicAuth{BasicAuth::Kind::Server, std::move(user), std::move(password), std::move(realm)};
    return *this;
}

Response &Response::requiringProxyAuth(std::string user, std::string password, std::string realm)
{
    auth = BasicAuth{BasicAuth::Kind::Proxy, std::move(user), std::move(password), std::move(realm)};
    return *this;
}

std::size_t Response::bodySize() const
{
    std::size_t size = 0;
    for (const Chunk &chunk : body)
        size += chunk.data.size();
    return size;
}

std::string Response::bodyText() const
{
    std::string text;
    for (const Chunk &chunk : body)
        text += chunk.data;
    return text;
}

// ---------------------------------------------------------------------------------------------
// Headers

void Headers::add(std::string name, std::string value)
{
    fields_.push_back(Field{std::move(name), std::move(value)});
}

bool Headers::has(std::string_view name) const
{
    return get(name).has_value();
}

std::optional<std::string> Headers::get(std::string_view name) const
{
    for (const Field &field : fields_) {
        if (equalsIgnoringCase(field.name, name))
            return field.value;
    }
    return std::nullopt;
}

std::string Headers::value(std::string_view name) const
{
    return get(name).value_or(std::string());
}

std::vector<std::string> Headers::all(std::string_view name) const
{
    std::vector<std::string> values;
    for (const Field &field : fields_) {
        if (equalsIgnoringCase(field.name, name))
            values.push_back(field.value);
    }
    return values;
}

// ---------------------------------------------------------------------------------------------
// Server internals

struct HttpServer::Impl {
    struct Connection {
        std::uint64_t id = 0;
        std::mutex fdMutex; // guards fd against stop() shutting it down while it is closed
        int fd = -1;
        std::thread thread;
        std::atomic<bool> finished{false};
    };

    struct Route {
        std::vector<Response> responses; // one for route(), several for routeSequence()
        std::size_t next = 0;
        Handler handler;
    };

    struct Site {
        std::string host; // normalised authority, empty for any host
        std::string prefix;
        std::filesystem::path folder;
    };

    enum class ReadResult { Ok, Closed, Stopped, Bad };
    enum class After { KeepOpen, Close, Reset, Abandon };

    class Peer;

    int listenFd = -1;
    // Written once by stop() and never drained: stays readable, so every poll() that
    // includes it returns at once from then on.
    int wakeRead = -1;
    int wakeWrite = -1;
    std::uint16_t port = 0;
    std::atomic<bool> stopping{false};
    std::mutex stopMutex;
    bool stopped = false;
    std::thread acceptor;

    mutable std::mutex mutex; // everything below
    mutable std::condition_variable changed;
    std::map<std::string, Route> routes;
    std::vector<Site> sites;
    std::optional<BasicAuth> proxyAuth;
    std::vector<Request> requests;
    std::size_t requestsSeen = 0;
    std::size_t badRequests = 0;
    std::size_t accepted = 0;
    std::size_t open = 0;
    std::list<std::unique_ptr<Connection>> connections;

    Impl();
    ~Impl() { stop(); }

    void stop();
    void acceptLoop();
    void reapFinished();
    void serve(Connection &connection);
    ReadResult readRequest(Peer &peer, Request &request, int &errorCode);
    void record(Request &request);
    Response respondTo(const Request &request);
    std::optional<Response> fromSites(const Request &request);
    After send(Peer &peer, const Request &request, const Response &response);
};

// The socket side of one connection: buffered reads, paced writes, pauses that end when the
// server stops, and the ways a connection can end.
class HttpServer::Impl::Peer {
public:
    enum class Io { Ok, Closed, Stopped };

    Peer(Impl &server, Connection &connection) : server_(server), connection_(connection) {}

    std::string input;

    Io fill()
    {
        pollfd fds[2] = {{connection_.fd, POLLIN, 0}, {server_.wakeRead, POLLIN, 0}};
        while (::poll(fds, 2, -1) < 0) {
            if (errno != EINTR)
                return Io::Closed;
        }
        if (fds[1].revents != 0)
            return Io::Stopped;
        char buffer[16384];
        ssize_t got;
        do {
            got = ::recv(connection_.fd, buffer, sizeof buffer, 0);
        } while (got < 0 && errno == EINTR);
        if (got <= 0)
            return Io::Closed;
        input.append(buffer, std::size_t(got));
        return Io::Ok;
    }

    // False when the server stopped during the pause.
    bool pause(Milliseconds duration)
    {
        const auto deadline = std::chrono::steady_clock::now() + duration;
        for (;;) {
            const auto left = std::chrono::duration_cast<Milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd wake = {server_.wakeRead, POLLIN, 0};
            // Round up so the pause is never shorter than asked.
            const int timeout = left.count() > 0 ? int(left.count()) + 1 : 0;
            const int ready = ::poll(&wake, 1, timeout);
            if (ready > 0)
                return false;
            if (ready == 0 && std::chrono::steady_clock::now() >= deadline)
                return true;
            if (ready < 0 && errno != EINTR)
                return !server_.stopping;
        }
    }

    void beginResponse(std::size_t writeSize, Milliseconds writePause)
    {
        writeSize_ = writeSize;
        writePause_ = writePause;
        wroteInResponse_ = false;
    }

    bool write(std::string_view bytes)
    {
        const std::size_t piece = writeSize_ > 0 ? writeSize_ : bytes.size();
        while (!bytes.empty()) {
            if (wroteInResponse_ && writePause_.count() > 0 && !pause(writePause_))
                return false;
            if (server_.stopping)
                return false;
            const std::size_t size = std::min(piece, bytes.size());
            if (!writeAll(bytes.substr(0, size)))
                return false;
            bytes.remove_prefix(size);
            wroteInResponse_ = true;
        }
        return true;
    }

    // Sends our end of the stream and reads on for a while, so the client can take the
    // whole response before the socket goes away.
    void closeGracefully()
    {
        {
            std::lock_guard lock(connection_.fdMutex);
            if (connection_.fd < 0)
                return;
            ::shutdown(connection_.fd, SHUT_WR);
        }
        const auto deadline = std::chrono::steady_clock::now() + Milliseconds(kDrainMilliseconds);
        for (;;) {
            const auto left = std::chrono::duration_cast<Milliseconds>(deadline - std::chrono::steady_clock::now()).count();
            if (left <= 0)
                break;
            pollfd fds[2] = {{connection_.fd, POLLIN, 0}, {server_.wakeRead, POLLIN, 0}};
            const int ready = ::poll(fds, 2, int(left));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0 || fds[1].revents != 0)
                break;
            char scratch[4096];
            const ssize_t got = ::recv(connection_.fd, scratch, sizeof scratch, 0);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
        }
        closeNow();
    }

    // A TCP reset: the client sees "connection reset by peer", not an orderly end.
    void reset()
    {
        std::lock_guard lock(connection_.fdMutex);
        if (connection_.fd < 0)
            return;
        const linger abortive = {1, 0};
        ::setsockopt(connection_.fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        ::close(connection_.fd);
        connection_.fd = -1;
    }

    void closeNow()
    {
        std::lock_guard lock(connection_.fdMutex);
        if (connection_.fd >= 0)
            ::close(connection_.fd);
        connection_.fd = -1;
    }

    // For silent responses: swallow whatever comes until the client leaves or we stop.
    void waitForClientToLeave()
    {
        input.clear();
        while (fill() == Io::Ok)
            input.clear();
    }

private:
    bool writeAll(std::string_view bytes)
    {
        while (!bytes.empty()) {
            const ssize_t sent = ::send(connection_.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            bytes.remove_prefix(std::size_t(sent));
        }
        return true;
    }

    Impl &server_;
    Connection &connection_;
    std::size_t writeSize_ = 0;
    Milliseconds writePause_{0};
    bool wroteInResponse_ = false;
};

HttpServer::Impl::Impl()
{
    auto fail = [this](const char *what) {
        const std::string message = std::string("HttpServer: ") + what + ": " + std::strerror(errno);
        for (int fd : {listenFd, wakeRead, wakeWrite}) {
            if (fd >= 0)
                ::close(fd);
        }
        throw std::runtime_error(message);
    };
    listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd < 0)
        fail("socket");
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(listenFd, reinterpret_cast<sockaddr *>(&address), sizeof address) < 0)
        fail("bind");
    if (::listen(listenFd, 128) < 0)
        fail("listen");
    socklen_t length = sizeof address;
    if (::getsockname(listenFd, reinterpret_cast<sockaddr *>(&address), &length) < 0)
        fail("getsockname");
    port = ntohs(address.sin_port);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) < 0)
        fail("pipe2");
    wakeRead = pipeFds[0];
    wakeWrite = pipeFds[1];
    acceptor = std::thread([this] { acceptLoop(); });
}

void HttpServer::Impl::stop()
{
    {
        std::lock_guard lock(stopMutex);
        if (stopped)
            return;
        stopped = true;
    }
    stopping = true;
    const char wake = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeWrite, &wake, 1);
    if (acceptor.joinable())
        acceptor.join();

    std::list<std::unique_ptr<Connection>> all;
    {
        std::lock_guard lock(mutex);
        all.swap(connections);
    }
    // Every wait polls the wake pipe; a shutdown also breaks a send() blocked on a client
    // that does not read.
    for (auto &connection : all) {
        std::lock_guard lock(connection->fdMutex);
        if (connection->fd >= 0)
            ::shutdown(connection->fd, SHUT_RDWR);
    }
    for (auto &connection : all) {
        if (connection->thread.joinable())
            connection->thread.join();
        if (connection->fd >= 0)
            ::close(connection->fd);
    }
    for (int *fd : {&listenFd, &wakeRead, &wakeWrite}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    std::lock_guard lock(mutex);
    changed.notify_all();
}

void HttpServer::Impl::acceptLoop()
{
    for (;;) {
        pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakeRead, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return;
        if ((fds[0].revents & POLLIN) == 0)
            continue;
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                pollfd wake = {wakeRead, POLLIN, 0};
                ::poll(&wake, 1, 10); // let connections end before trying again
            }
            continue;
        }
        reapFinished();
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one); // pieces leave as written

        auto connection = std::make_unique<Connection>();
        connection->fd = fd;
        Connection *raw = connection.get();
        {
            std::lock_guard lock(mutex);
            if (open >= kMaxOpenConnections) {
                ::close(fd);
                continue;
            }
            ++accepted;
            ++open;
            connection->id = accepted;
            connections.push_back(std::move(connection));
        }
        try {
            raw->thread = std::thread([this, raw] { serve(*raw); });
        } catch (const std::system_error &) {
            std::lock_guard lock(mutex);
            ::close(fd);
            --open;
            connections.remove_if([raw](const auto &c) { return c.get() == raw; });
        }
    }
}

// Joins the threads of connections that have ended, so a long test does not pile them up.
void HttpServer::Impl::reapFinished()
{
    std::list<std::unique_ptr<Connection>> done;
    {
        std::lock_guard lock(mutex);
        for (auto it = connections.begin(); it != connections.end();) {
            auto next = std::next(it);
            if ((*it)->finished)
                done.splice(done.end(), connections, it);
            it = next;
        }
    }
    for (auto &connection : done) {
        if (connection->thread.joinable())
            connection->thread.join();
    }
}

void HttpServer::Impl::serve(Connection &connection)
{
    Peer peer(*this, connection);
    After after = After::Close;
    for (;;) {
        Request request;
        int errorCode = 0;
        const ReadResult result = readRequest(peer, request, errorCode);
        if (result == ReadResult::Closed || result == ReadResult::Stopped) {
            after = After::Abandon;
            break;
        }
        if (result == ReadResult::Bad) {
            {
                std::lock_guard lock(mutex);
                ++badRequests;
            }
            const std::string text = std::to_string(errorCode) + " " + standardReason(errorCode) + "\n";
            peer.beginResponse(0, Milliseconds(0));
            peer.write("HTTP/1.1 " + std::to_string(errorCode) + " " + standardReason(errorCode) +
                       "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(text.size()) +
                       "\r\nConnection: close\r\n\r\n" + text);
            after = After::Close;
            break;
        }
        request.connection = connection.id;
        record(request);
        const Response response = respondTo(request);
        after = send(peer, request, response);
        if (after != After::KeepOpen)
            break;
    }
    switch (after) {
    case After::Reset:
        peer.reset();
        break;
    case After::Close:
    case After::KeepOpen:
        peer.closeGracefully();
        break;
    case After::Abandon:
        peer.closeNow();
        break;
    }
    {
        std::lock_guard lock(mutex);
        --open;
        changed.notify_all();
    }
    connection.finished = true;
}

HttpServer::Impl::ReadResult HttpServer::Impl::readRequest(Peer &peer, Request &request, int &errorCode)
{
    auto bad = [&errorCode](int code) {
        errorCode = code;
        return ReadResult::Bad;
    };
    auto ended = [](Peer::Io io) { return io == Peer::Io::Stopped ? ReadResult::Stopped : ReadResult::Closed; };
    std::string &in = peer.input;

    // The request head, up to its empty line.
    std::size_t headEnd = std::string::npos;
    for (;;) {
        // Empty lines before a request are allowed (some clients send one after a body).
        const auto start = in.find_first_not_of("\r\n");
        in.erase(0, start == std::string::npos ? in.size() : start);

        // Refuse a stream that cannot start a request (binary, TLS) without waiting for a
        // line end that may never come.
        const auto methodEnd = std::min(in.find(' '), in.find_first_of("\r\n"));
        const std::size_t checked = std::min(methodEnd, in.size());
        for (std::size_t i = 0; i < checked; ++i) {
            if (!isTokenChar(static_cast<unsigned char>(in[i])))
                return bad(400);
        }

        const auto blank = std::min(in.find("\n\n"), in.find("\n\r\n"));
        if (blank != std::string::npos) {
            headEnd = blank + (in[blank + 1] == '\n' ? 2 : 3);
            break;
        }
        const auto lineEnd = in.find('\n');
        if (lineEnd == std::string::npos && in.size() > kMaxRequestLine)
            return bad(414);
        if (in.size() > kMaxRequestHead)
            return bad(lineEnd > kMaxRequestLine ? 414 : 431);
        const Peer::Io io = peer.fill();
        if (io != Peer::Io::Ok)
            return ended(io);
    }
    if (headEnd > kMaxRequestHead)
        return bad(431);
    const std::string head = in.substr(0, headEnd);
    in.erase(0, headEnd);

    std::vector<std::string_view> lines;
    for (std::string_view rest = head; !rest.empty();) {
        const auto newline = rest.find('\n');
        std::string_view line = rest.substr(0, newline);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!line.empty())
            lines.push_back(line);
        if (newline == std::string_view::npos)
            break;
        rest.remove_prefix(newline + 1);
    }
    if (lines.empty())
        return bad(400);

    // Request line: METHOD SP target SP HTTP/x.y
    const std::string_view requestLine = lines.front();
    if (requestLine.size() > kMaxRequestLine)
        return bad(414);
    const auto firstSpace = requestLine.find(' ');
    const auto secondSpace = firstSpace == std::string_view::npos ? firstSpace : requestLine.find(' ', firstSpace + 1);
    if (secondSpace == std::string_view::npos || requestLine.find(' ', secondSpace + 1) != std::string_view::npos)
        return bad(400);
    const std::string_view method = requestLine.substr(0, firstSpace);
    const std::string_view target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    const std::string_view version = requestLine.substr(secondSpace + 1);
    if (!isToken(method) || target.empty())
        return bad(400);
    if (std::any_of(target.begin(), target.end(), [](char c) { return static_cast<unsigned char>(c) < 0x21 || c == 0x7f; }))
        return bad(400);
    if (version.size() != 8 || version.substr(0, 5) != "HTTP/" || version[6] != '.' ||
        !std::isdigit(static_cast<unsigned char>(version[5])) || !std::isdigit(static_cast<unsigned char>(version[7])))
        return bad(400);
    if (version[5] != '1')
        return bad(505);
    const auto parsedTarget = parseTarget(method, target);
    if (!parsedTarget)
        return bad(400);

    request.method = std::string(method);
    request.target = std::string(target);
    request.version = std::string(version);
    request.path = parsedTarget->path;
    request.query = parsedTarget->query;
    request.absoluteForm = parsedTarget->absolute;

    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (line.front() == ' ' || line.front() == '\t')
            return bad(400); // obsolete line folding
        const auto colon = line.find(':');
        if (colon == std::string_view::npos || !isToken(line.substr(0, colon)))
            return bad(400);
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (std::any_of(value.begin(), value.end(), [](char c) { return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f; }))
            return bad(400);
        request.headers.add(std::string(line.substr(0, colon)), std::string(value));
    }
    request.host = parsedTarget->absolute || request.method == "CONNECT" ? parsedTarget->host : request.headers.value("Host");

    // The body, framed by Content-Length or chunked encoding.
    const auto transferEncoding = request.headers.get("Transfer-Encoding");
    const auto lengths = request.headers.all("Content-Length");
    const bool expectsContinue = listHasToken(request.headers.value("Expect"), "100-continue");
    auto sendContinue = [&peer, &request, expectsContinue]() {
        if (expectsContinue && request.version == "HTTP/1.1") {
            peer.beginResponse(0, Milliseconds(0));
            peer.write("HTTP/1.1 100 Continue\r\n\r\n");
        }
    };
    if (transferEncoding && !lengths.empty())
        return bad(400);
    if (transferEncoding) {
        if (!equalsIgnoringCase(trimmed(*transferEncoding), "chunked"))
            return bad(501);
        if (in.empty())
            sendContinue();
        for (;;) {
            auto lineEnd = in.find('\n');
            while (lineEnd == std::string::npos) {
                if (in.size() > kMaxChunkLine)
                    return bad(400);
                const Peer::Io io = peer.fill();
                if (io != Peer::Io::Ok)
                    return ended(io);
                lineEnd = in.find('\n');
            }
            std::string_view sizeText(in.data(), lineEnd);
            if (!sizeText.empty() && sizeText.back() == '\r')
                sizeText.remove_suffix(1);
            sizeText = trimmed(sizeText.substr(0, sizeText.find(';')));
            if (sizeText.empty() || sizeText.size() > 8 || !std::all_of(sizeText.begin(), sizeText.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
                return bad(400);
            const std::size_t size = std::stoul(std::string(sizeText), nullptr, 16);
            in.erase(0, lineEnd + 1);
            if (size == 0) {
                // Trailer fields, up to the empty line; they are not kept.
                for (;;) {
                    auto end = in.find('\n');
                    while (end == std::string::npos) {
                        if (in.size() > kMaxChunkLine)
                            return bad(400);
                        const Peer::Io io = peer.fill();
                        if (io != Peer::Io::Ok)
                            return ended(io);
                        end = in.find('\n');
                    }
                    const bool blankLine = end == 0 || (end == 1 && in[0] == '\r');
                    in.erase(0, end + 1);
                    if (blankLine)
                        break;
                }
                break;
            }
            if (request.body.size() + size > kMaxRequestBody)
                return bad(413);
            while (in.size() < size + 2 && !(in.size() == size + 1 && in[size] == '\n')) {
                const Peer::Io io = peer.fill();
                if (io != Peer::Io::Ok)
                    return ended(io);
            }
            const std::size_t terminator = in[size] == '\n' ? 1 : (in[size] == '\r' && in[size + 1] == '\n' ? 2 : 0);
            if (terminator == 0)
                return bad(400);
            request.body.append(in, 0, size);
            in.erase(0, size + terminator);
        }
    } else if (!lengths.empty()) {
        for (const std::string &length : lengths) {
            if (length.empty() || length.size() > 12 || length != lengths.front() ||
                !std::all_of(length.begin(), length.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
                return bad(400);
        }
        const std::size_t size = std::stoull(lengths.front());
        if (size > kMaxRequestBody)
            return bad(413);
        if (in.size() < size)
            sendContinue();
        while (in.size() < size) {
            const Peer::Io io = peer.fill();
            if (io != Peer::Io::Ok)
                return ended(io);
        }
        request.body = in.substr(0, size);
        in.erase(0, size);
    }
    return ReadResult::Ok;
}

void HttpServer::Impl::record(Request &request)
{
    std::lock_guard lock(mutex);
    request.number = ++requestsSeen;
    requests.push_back(request);
    changed.notify_all();
}

Response HttpServer::Impl::respondTo(const Request &request)
{
    Handler handler;
    std::optional<Response> chosen;
    {
        std::lock_guard lock(mutex);
        if (proxyAuth && !credentialsMatch(request, *proxyAuth))
            return challengeFor(*proxyAuth);

        std::vector<std::string> keys;
        const std::string withQuery = request.query.empty() ? request.path : request.path + "?" + request.query;
        if (!request.host.empty()) {
            const std::string origin = "http://" + normalisedAuthority(request.host);
            keys.push_back(origin + withQuery);
            keys.push_back(origin + request.path);
        }
        keys.push_back(withQuery);
        keys.push_back(request.path);
        for (const std::string &key : keys) {
            const auto found = routes.find(key);
            if (found == routes.end())
                continue;
            Route &route = found->second;
            if (route.handler) {
                handler = route.handler;
            } else {
                const Response &candidate = route.responses[route.next];
                if (candidate.auth && !credentialsMatch(request, *candidate.auth))
                    return challengeFor(*candidate.auth);
                chosen = candidate;
                if (route.next + 1 < route.responses.size())
                    ++route.next;
            }
            break;
        }
    }
    if (handler) {
        // Outside the lock: a handler may ask the server about its requests.
        try {
            chosen = handler(request);
        } catch (const std::exception &error) {
            chosen = Response::withType("text/plain", std::string("handler failed: ") + error.what() + "\n", 500);
        } catch (...) {
            chosen = Response::withType("text/plain", "handler failed\n", 500);
        }
    }
    if (!chosen)
        chosen = fromSites(request);
    if (!chosen)
        return Response::notFound();
    if (chosen->auth && !credentialsMatch(request, *chosen->auth))
        return challengeFor(*chosen->auth);
    return *chosen;
}

std::optional<Response> HttpServer::Impl::fromSites(const Request &request)
{
    std::vector<Site> candidates;
    {
        std::lock_guard lock(mutex);
        const std::string host = normalisedAuthority(request.host);
        for (const Site &site : sites) {
            if ((site.host.empty() || site.host == host) && request.path.compare(0, site.prefix.size(), site.prefix) == 0)
                candidates.push_back(site);
        }
    }
    if (candidates.empty())
        return std::nullopt;
    // A site for this host before one for any host, then the longest prefix.
    std::stable_sort(candidates.begin(), candidates.end(), [](const Site &a, const Site &b) {
        if (a.host.empty() != b.host.empty())
            return !a.host.empty();
        return a.prefix.size() > b.prefix.size();
    });
    const Site &site = candidates.front();
    const auto relative = percentDecoded(std::string_view(request.path).substr(site.prefix.size()));
    if (!relative || relative->find('\0') != std::string::npos)
        return Response::notFound();
    std::filesystem::path file = site.folder;
    for (std::string_view rest = *relative; !rest.empty();) {
        const auto slash = rest.find('/');
        const std::string_view segment = rest.substr(0, slash);
        if (segment == "..")
            return Response::notFound(); // never outside the folder
        if (!segment.empty() && segment != ".")
            file /= std::string(segment);
        if (slash == std::string_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
    std::error_code error;
    if (std::filesystem::is_directory(file, error))
        file /= "index.html";
    if (!std::filesystem::is_regular_file(file, error))
        return Response::notFound();
    std::ifstream stream(file, std::ios::binary);
    if (!stream)
        return Response::notFound();
    std::string content((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    return Response::withType(contentTypeFor(file), std::move(content));
}

HttpServer::Impl::After HttpServer::Impl::send(Peer &peer, const Request &request, const Response &response)
{
    peer.beginResponse(response.writeSize, response.writePause);
    if (response.silent) {
        peer.waitForClientToLeave();
        return After::Abandon;
    }
    if (response.headerDelay.count() > 0 && !peer.pause(response.headerDelay))
        return After::Abandon;

    const bool headRequest = request.method == "HEAD";
    const bool chunked = response.chunkedEncoding && !response.raw;
    bool willClose = true;
    if (!response.raw) {
        std::string head = response.version + " " + std::to_string(response.code) + " " +
                           (response.reason.empty() ? standardReason(response.code) : response.reason) + "\r\n";
        for (const auto &[name, value] : response.headers)
            head += name + ": " + value + "\r\n";
        const bool bodyless = response.code / 100 == 1 || response.code == 204 || response.code == 304;
        bool framed = bodyless;
        if (chunked) {
            if (!hasHeader(response, "Transfer-Encoding"))
                head += "Transfer-Encoding: chunked\r\n";
            framed = true;
        } else if (response.autoContentLength && !bodyless && !hasHeader(response, "Content-Length")) {
            head += "Content-Length: " + std::to_string(response.bodySize()) + "\r\n";
            framed = true;
        }
        // A length the test wrote itself may be a lie, so such a response ends its connection.
        const bool clientCloses = request.version != "HTTP/1.1" || listHasToken(request.headers.value("Connection"), "close");
        willClose = response.closeAfter || response.dropAfterBodyBytes || !framed || clientCloses;
        if (willClose && request.version == "HTTP/1.1" && !hasHeader(response, "Connection"))
            head += "Connection: close\r\n";
        head += "\r\n";
        if (!peer.write(head))
            return After::Abandon;
        if (headRequest)
            return willClose ? After::Close : After::KeepOpen;
    }

    const std::size_t limit = response.dropAfterBodyBytes.value_or(std::numeric_limits<std::size_t>::max());
    std::size_t sent = 0;
    bool dropped = false;
    for (const Chunk &chunk : response.body) {
        if (sent >= limit) {
            dropped = true;
            break;
        }
        if (chunk.pauseBefore.count() > 0 && !peer.pause(chunk.pauseBefore))
            return After::Abandon;
        std::string_view payload = chunk.data;
        if (payload.size() > limit - sent) {
            payload = payload.substr(0, limit - sent);
            dropped = true;
        }
        if (chunked && chunk.data.empty())
            continue; // an empty chunk would end the body
        std::string wire;
        if (chunked) {
            wire = hexSize(chunk.data.size()) + "\r\n";
            wire += payload;
            if (!dropped)
                wire += "\r\n";
        } else {
            wire = std::string(payload);
        }
        if (!peer.write(wire))
            return After::Abandon;
        sent += payload.size();
        if (dropped)
            break;
    }
    if (response.dropAfterBodyBytes && sent >= limit)
        dropped = true;
    if (dropped)
        return response.resetOnDrop ? After::Reset : After::Close;
    if (chunked && !peer.write("0\r\n\r\n"))
        return After::Abandon;
    return willClose ? After::Close : After::KeepOpen;
}

// ---------------------------------------------------------------------------------------------
// HttpServer

HttpServer::HttpServer() : impl_(std::make_unique<Impl>()) {}

HttpServer::~HttpServer()
{
    impl_->stop();
}

std::uint16_t HttpServer::port() const
{
    return impl_->port;
}

std::string HttpServer::url(std::string_view path) const
{
    std::string out = "http://127.0.0.1:" + std::to_string(impl_->port);
    if (!path.empty() && path.front() != '/')
        out += '/';
    out += path;
    return out;
}

void HttpServer::route(std::string key, Response response)
{
    routeSequence(std::move(key), {std::move(response)});
}

void HttpServer::routeSequence(std::string key, std::vector<Response> responses)
{
    if (responses.empty())
        throw std::invalid_argument("HttpServer::routeSequence: no responses for " + key);
    std::lock_guard lock(impl_->mutex);
    impl_->routes[routeKey(key)] = Impl::Route{std::move(responses), 0, {}};
}

void HttpServer::routeHandler(std::string key, Handler handler)
{
    if (!handler)
        throw std::invalid_argument("HttpServer::routeHandler: empty handler for " + key);
    std::lock_guard lock(impl_->mutex);
    impl_->routes[routeKey(key)] = Impl::Route{{}, 0, std::move(handler)};
}

void HttpServer::serveDirectory(std::filesystem::path folder, std::string prefix)
{
    Impl::Site site;
    site.folder = std::move(folder);
    std::string_view path = prefix;
    if (startsWithIgnoringCase(path, "http://")) {
        const std::string key = routeKey(path);
        const auto slash = key.find('/', 7);
        site.host = key.substr(7, slash - 7);
        path = std::string_view(key).substr(slash);
        site.prefix = std::string(path);
    } else {
        site.prefix = std::string(path);
    }
    if (site.prefix.empty() || site.prefix.front() != '/')
        site.prefix.insert(0, "/");
    if (site.prefix.back() != '/')
        site.prefix += '/';
    std::lock_guard lock(impl_->mutex);
    impl_->sites.push_back(std::move(site));
}

void HttpServer::requireProxyAuth(std::string user, std::string password, std::string realm)
{
    std::lock_guard lock(impl_->mutex);
    impl_->proxyAuth = BasicAuth{BasicAuth::Kind::Proxy, std::move(user), std::move(password), std::move(realm)};
}

std::vector<Request> HttpServer::requests() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->requests;
}

std::size_t HttpServer::requestCount() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->requests.size();
}

std::vector<Request> HttpServer::requestsFor(std::string_view path) const
{
    std::lock_guard lock(impl_->mutex);
    std::vector<Request> matching;
    for (const Request &request : impl_->requests) {
        if (request.path == path)
            matching.push_back(request);
    }
    return matching;
}

bool HttpServer::waitForRequests(std::size_t count, Milliseconds timeout) const
{
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, timeout, [&] { return impl_->requests.size() >= count; });
}

void HttpServer::clearRequests()
{
    std::lock_guard lock(impl_->mutex);
    impl_->requests.clear();
}

std::size_t HttpServer::badRequestCount() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->badRequests;
}

std::size_t HttpServer::connectionCount() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->accepted;
}

std::size_t HttpServer::openConnectionCount() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->open;
}

bool HttpServer::waitUntilNoOpenConnections(Milliseconds timeout) const
{
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, timeout, [&] { return impl_->open == 0; });
}

void HttpServer::stop()
{
    impl_->stop();
}

} // namespace testsupport
