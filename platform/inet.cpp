#include "platform/inet.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform::inet {
namespace {

// Body bytes held for the reader before the transfer is paused, and the level at which it
// goes on again: a reader that falls behind never makes us hold a whole large file.
constexpr size_t kPauseAt = 4u << 20;
constexpr size_t kResumeAt = 1u << 20;
// Largest chunk one query of the available bytes reports.
constexpr size_t kMaxChunk = 64u << 10;
constexpr long kConnectTimeoutSeconds = 60;

struct Object {
    virtual ~Object() = default;
    virtual void wake() {}
    std::atomic<bool> closed{false};
    std::vector<HINTERNET> children; // guarded by the table's mutex
};

struct Session : Object {
    std::string agent;
    int accessType = INTERNET_OPEN_TYPE_DIRECT;
    std::string proxy;
};

struct Credentials {
    std::string user, password, proxyUser, proxyPassword;
    bool haveUser = false, haveProxyUser = false;
};

struct Connection : Object {
    std::shared_ptr<Session> session;
    std::string host;
    uint16_t port = 80;
    Credentials credentials;
};

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
               return lower(x) == lower(y);
           });
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

// Percent-encodes the bytes that cannot stand in a request line as they are.
std::string encodeObject(const std::string &object)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(object.size());
    for (unsigned char c : object) {
        if (c <= 0x20 || c >= 0x7F || std::strchr("\"<>\\^`{|}", c)) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += char(c);
        }
    }
    return out;
}

std::string hostForUrl(const std::string &host)
{
    if (host.find(':') != std::string::npos && host.front() != '[')
        return "[" + host + "]";
    return host;
}

// Resolves a Location value against the current address; empty when it cannot be followed
// (not http or https, or not a valid address).
std::string resolveRedirect(const std::string &current, const std::string &location)
{
    std::string result;
    CURLU *u = curl_url();
    if (!u)
        return result;
    if (curl_url_set(u, CURLUPART_URL, current.c_str(), 0) == CURLUE_OK
        && curl_url_set(u, CURLUPART_URL, location.c_str(), CURLU_URLENCODE) == CURLUE_OK) {
        char *scheme = nullptr;
        char *full = nullptr;
        if (curl_url_get(u, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK
            && (std::strcmp(scheme, "http") == 0 || std::strcmp(scheme, "https") == 0)
            && curl_url_get(u, CURLUPART_URL, &full, 0) == CURLUE_OK)
            result = full;
        curl_free(scheme);
        curl_free(full);
    }
    curl_url_cleanup(u);
    return result;
}

std::string hostOf(const std::string &url)
{
    std::string result;
    CURLU *u = curl_url();
    char *host = nullptr;
    if (u && curl_url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK
        && curl_url_get(u, CURLUPART_HOST, &host, 0) == CURLUE_OK)
        result = host;
    curl_free(host);
    curl_url_cleanup(u);
    return result;
}

struct Request : Object {
    ~Request() override
    {
        if (multi && easy && inMulti)
            curl_multi_remove_handle(multi, easy);
        if (easy)
            curl_easy_cleanup(easy);
        if (multi)
            curl_multi_cleanup(multi);
        curl_slist_free_all(extraHeaders);
    }

    void wake() override
    {
        if (multi)
            curl_multi_wakeup(multi);
    }

    std::shared_ptr<Connection> connection;
    std::string verb, object, version, referrer;
    uint32_t flags = 0;
    std::string firstUrl;
    Credentials credentials;

    CURL *easy = nullptr;
    CURLM *multi = nullptr;
    curl_slist *extraHeaders = nullptr;
    bool inMulti = false;
    bool sent = false;

    // The response being received.
    std::string currentUrl;
    std::string head;
    std::string statusText;
    std::string location;
    bool headComplete = false;
    std::string nextUrl; // set when the transfer was stopped to follow a redirect
    int redirects = 0;
    bool sendServerCredentials = true;

    std::string pending;
    size_t pendingPos = 0;
    bool paused = false;
    bool transferDone = false;
    CURLcode result = CURLE_OK;

    size_t pendingSize() const { return pending.size() - pendingPos; }

    static size_t onHeader(char *data, size_t size, size_t count, void *self)
    {
        return static_cast<Request *>(self)->header(std::string_view(data, size * count));
    }

    static size_t onBody(char *data, size_t size, size_t count, void *self)
    {
        return static_cast<Request *>(self)->body(data, size * count);
    }

    size_t header(std::string_view line)
    {
        const size_t taken = line.size();
        if (line.substr(0, 5) == "HTTP/") {
            head.clear();
            location.clear();
            headComplete = false;
            std::string_view rest = line.substr(line.find(' ') == std::string_view::npos ? line.size() : line.find(' '));
            rest = trim(rest);
            statusText = std::string(rest.substr(0, rest.find(' ')));
        }
        std::string_view text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.remove_suffix(1);
        if (text.empty()) {
            head += "\r\n";
            const int status = std::atoi(statusText.c_str());
            if (status >= 100 && status < 200) {
                head.clear(); // an interim response: the real one follows
                return taken;
            }
            const bool redirect = status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
            if (redirect && !location.empty() && redirects < kMaxRedirects) {
                std::string target = resolveRedirect(currentUrl, location);
                if (!target.empty()) {
                    nextUrl = std::move(target);
                    return 0; // stops this transfer; the next one starts from nextUrl
                }
            }
            headComplete = true;
            return taken;
        }
        // Each stored line ends in CR LF whatever the server sent.
        head.append(text.data(), text.size());
        head += "\r\n";
        const size_t colon = text.find(':');
        if (colon != std::string_view::npos && equalsIgnoringCase(trim(text.substr(0, colon)), "Location"))
            location = std::string(trim(text.substr(colon + 1)));
        return taken;
    }

    size_t body(const char *data, size_t size)
    {
        if (pendingSize() >= kPauseAt) {
            paused = true;
            return CURL_WRITEFUNC_PAUSE; // libcurl hands the same bytes again after the pause
        }
        if (pendingPos > 0 && pendingPos == pending.size()) {
            pending.clear();
            pendingPos = 0;
        }
        pending.append(data, size);
        return size;
    }

    void resetResponse()
    {
        head.clear();
        statusText.clear();
        location.clear();
        headComplete = false;
        nextUrl.clear();
        pending.clear();
        pendingPos = 0;
        paused = false;
        transferDone = false;
        result = CURLE_OK;
    }

    bool configure()
    {
        const Session &session = *connection->session;
        curl_easy_reset(easy);
        curl_easy_setopt(easy, CURLOPT_URL, currentUrl.c_str());
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L); // redirects are followed here, see header()
        curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Request::onHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Request::onBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        if (!session.agent.empty())
            curl_easy_setopt(easy, CURLOPT_USERAGENT, session.agent.c_str());
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION,
                         version == "HTTP/1.0" ? long(CURL_HTTP_VERSION_1_0) : long(CURL_HTTP_VERSION_1_1));
        if (verb == "HEAD")
            curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        else if (verb != "GET")
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, verb.c_str());
        if (!referrer.empty())
            curl_easy_setopt(easy, CURLOPT_REFERER, referrer.c_str());
        if (extraHeaders)
            curl_easy_setopt(easy, CURLOPT_HTTPHEADER, extraHeaders);

        switch (session.accessType) {
        case INTERNET_OPEN_TYPE_DIRECT:
            curl_easy_setopt(easy, CURLOPT_PROXY, "");
            break;
        case INTERNET_OPEN_TYPE_PROXY: {
            const std::string proxy = "http://" + session.proxy;
            curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
            break;
        }
        default:
            break; // libcurl reads http_proxy, https_proxy and no_proxy itself
        }
        if (credentials.haveProxyUser) {
            curl_easy_setopt(easy, CURLOPT_PROXYAUTH, long(CURLAUTH_BASIC));
            curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, credentials.proxyUser.c_str());
            curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, credentials.proxyPassword.c_str());
        }
        if (credentials.haveUser && sendServerCredentials) {
            curl_easy_setopt(easy, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC));
            curl_easy_setopt(easy, CURLOPT_USERNAME, credentials.user.c_str());
            curl_easy_setopt(easy, CURLOPT_PASSWORD, credentials.password.c_str());
        }
        return true;
    }

    void startTransfer()
    {
        if (inMulti) {
            curl_multi_remove_handle(multi, easy);
            inMulti = false;
        }
        resetResponse();
        configure();
        inMulti = curl_multi_add_handle(multi, easy) == CURLM_OK;
        if (!inMulti) {
            transferDone = true;
            result = CURLE_FAILED_INIT;
        }
    }

    // Runs the transfer until `ready` holds, the transfer has ended, or the handle is closed.
    // Returns false only when the handle was closed.
    template <typename Ready>
    bool drive(Ready ready)
    {
        for (;;) {
            if (closed)
                return false;
            if (ready())
                return true;
            if (transferDone) {
                if (nextUrl.empty())
                    return true;
                // The previous response was a redirect: go on at its target. Credentials
                // given for one server are not sent to another.
                if (!equalsIgnoringCase(hostOf(nextUrl), hostOf(currentUrl)))
                    sendServerCredentials = false;
                currentUrl = nextUrl;
                ++redirects;
                startTransfer();
                continue;
            }
            int running = 0;
            if (curl_multi_perform(multi, &running) != CURLM_OK) {
                transferDone = true;
                result = CURLE_FAILED_INIT;
                continue;
            }
            int queued = 0;
            while (CURLMsg *message = curl_multi_info_read(multi, &queued)) {
                if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
                    transferDone = true;
                    result = message->data.result;
                }
            }
            if (ready() || transferDone || closed)
                continue;
            // libcurl shortens the wait to its own next timer; a close wakes it at once.
            curl_multi_poll(multi, nullptr, 0, 30000, nullptr);
        }
    }

    void resumeIfDrained()
    {
        if (paused && pendingSize() < kResumeAt) {
            paused = false;
            curl_easy_pause(easy, CURLPAUSE_CONT);
        }
    }
};

std::mutex g_mutex;
std::unordered_map<HINTERNET, std::shared_ptr<Object>> g_handles;
HINTERNET g_nextHandle = 1;

HINTERNET addHandle(std::shared_ptr<Object> object, HINTERNET parent)
{
    std::lock_guard lock(g_mutex);
    if (parent) {
        auto it = g_handles.find(parent);
        if (it == g_handles.end() || it->second->closed)
            return 0; // closed meanwhile
        it->second->children.push_back(g_nextHandle);
    }
    g_handles.emplace(g_nextHandle, std::move(object));
    return g_nextHandle++;
}

template <typename T>
std::shared_ptr<T> lookup(HINTERNET handle)
{
    std::lock_guard lock(g_mutex);
    auto it = g_handles.find(handle);
    if (it == g_handles.end() || it->second->closed)
        return nullptr;
    return std::dynamic_pointer_cast<T>(it->second);
}

// Takes the handle and all handles opened under it out of the table, marked closed.
void takeOut(HINTERNET handle, std::vector<std::shared_ptr<Object>> &taken)
{
    auto it = g_handles.find(handle);
    if (it == g_handles.end())
        return;
    std::shared_ptr<Object> object = std::move(it->second);
    g_handles.erase(it);
    object->closed = true;
    for (HINTERNET child : object->children)
        takeOut(child, taken);
    taken.push_back(std::move(object));
}

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool copyOut(const std::string &value, char *buffer, uint32_t &length)
{
    if (!buffer || value.size() + 1 > length) {
        length = uint32_t(value.size() + 1);
        return false;
    }
    std::memcpy(buffer, value.data(), value.size());
    buffer[value.size()] = '\0';
    length = uint32_t(value.size());
    return true;
}

// The value of the first header line of that name in a raw head.
bool headerValue(const std::string &head, std::string_view name, std::string &value)
{
    size_t start = head.find("\r\n"); // skip the status line
    while (start != std::string::npos) {
        start += 2;
        const size_t end = head.find("\r\n", start);
        if (end == std::string::npos || end == start)
            return false;
        const std::string_view line(head.data() + start, end - start);
        const size_t colon = line.find(':');
        if (colon != std::string_view::npos && equalsIgnoringCase(trim(line.substr(0, colon)), name)) {
            value = std::string(trim(line.substr(colon + 1)));
            return true;
        }
        start = end;
    }
    return false;
}

} // namespace

HINTERNET InternetOpen(const std::string &agent, int accessType, const std::string &proxy)
{
    if (accessType != INTERNET_OPEN_TYPE_PRECONFIG && accessType != INTERNET_OPEN_TYPE_DIRECT
        && accessType != INTERNET_OPEN_TYPE_PROXY)
        return 0;
    if (accessType == INTERNET_OPEN_TYPE_PROXY && proxy.empty())
        return 0;
    initCurlOnce();
    auto session = std::make_shared<Session>();
    session->agent = agent;
    session->accessType = accessType;
    session->proxy = proxy;
    return addHandle(std::move(session), 0);
}

HINTERNET InternetConnect(HINTERNET sessionHandle, const std::string &host, uint16_t port,
                          const std::string &userName, const std::string &password, int service)
{
    auto session = lookup<Session>(sessionHandle);
    if (!session || host.empty() || service != INTERNET_SERVICE_HTTP)
        return 0;
    auto connection = std::make_shared<Connection>();
    connection->session = std::move(session);
    connection->host = host;
    connection->port = port;
    if (!userName.empty()) {
        connection->credentials.user = userName;
        connection->credentials.password = password;
        connection->credentials.haveUser = true;
    }
    return addHandle(std::move(connection), sessionHandle);
}

HINTERNET HttpOpenRequest(HINTERNET connectionHandle, const std::string &verb, const std::string &objectName,
                          const std::string &version, const std::string &referrer, uint32_t flags)
{
    auto connection = lookup<Connection>(connectionHandle);
    if (!connection)
        return 0;
    if (objectName.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos
        || referrer.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        return 0;
    auto request = std::make_shared<Request>();
    request->verb = verb.empty() ? "GET" : verb;
    request->version = version;
    request->referrer = referrer;
    request->flags = flags;
    request->credentials = connection->credentials;
    std::string object = encodeObject(objectName);
    if (object.empty() || object.front() != '/')
        object.insert(object.begin(), '/');
    request->object = object;
    const bool secure = (flags & INTERNET_FLAG_SECURE) != 0;
    request->firstUrl = std::string(secure ? "https://" : "http://") + hostForUrl(connection->host) + ":"
        + std::to_string(connection->port) + object;
    request->connection = std::move(connection);
    request->easy = curl_easy_init();
    request->multi = curl_multi_init();
    if (!request->easy || !request->multi)
        return 0;
    if (flags & INTERNET_FLAG_RELOAD) {
        request->extraHeaders = curl_slist_append(nullptr, "Pragma: no-cache");
        request->extraHeaders = curl_slist_append(request->extraHeaders, "Cache-Control: no-cache");
    }
    return addHandle(std::move(request), connectionHandle);
}

bool HttpSendRequest(HINTERNET handle)
{
    auto request = lookup<Request>(handle);
    if (!request)
        return false;
    request->currentUrl = request->firstUrl;
    request->redirects = 0;
    request->sendServerCredentials = true;
    request->sent = true;
    request->startTransfer();
    if (!request->drive([&] { return request->headComplete; }))
        return false;
    return request->headComplete;
}

bool HttpQueryInfo(HINTERNET handle, int level, char *buffer, uint32_t &length)
{
    auto request = lookup<Request>(handle);
    if (!request || !request->headComplete) {
        length = 0;
        return false;
    }
    std::string value;
    switch (level) {
    case HTTP_QUERY_STATUS_CODE:
        value = request->statusText;
        break;
    case HTTP_QUERY_RAW_HEADERS_CRLF:
        value = request->head;
        break;
    case HTTP_QUERY_CONTENT_TYPE:
        if (!headerValue(request->head, "Content-Type", value)) {
            length = 0;
            return false;
        }
        break;
    case HTTP_QUERY_CONTENT_LENGTH:
        if (!headerValue(request->head, "Content-Length", value)) {
            length = 0;
            return false;
        }
        break;
    default:
        length = 0;
        return false;
    }
    return copyOut(value, buffer, length);
}

bool InternetSetOption(HINTERNET handle, int option, const char *value, uint32_t length)
{
    std::shared_ptr<Object> object = lookup<Object>(handle);
    if (!object)
        return false;
    Credentials *credentials = nullptr;
    if (auto request = std::dynamic_pointer_cast<Request>(object))
        credentials = &request->credentials;
    else if (auto connection = std::dynamic_pointer_cast<Connection>(object))
        credentials = &connection->credentials;
    if (!credentials)
        return false;
    const std::string text = value ? std::string(value, ::strnlen(value, length)) : std::string();
    switch (option) {
    case INTERNET_OPTION_USERNAME:
        credentials->user = text;
        credentials->haveUser = true;
        return true;
    case INTERNET_OPTION_PASSWORD:
        credentials->password = text;
        credentials->haveUser = true;
        return true;
    case INTERNET_OPTION_PROXY_USERNAME:
        credentials->proxyUser = text;
        credentials->haveProxyUser = true;
        return true;
    case INTERNET_OPTION_PROXY_PASSWORD:
        credentials->proxyPassword = text;
        credentials->haveProxyUser = true;
        return true;
    default:
        return false;
    }
}

bool InternetQueryDataAvailable(HINTERNET handle, uint32_t &available)
{
    available = 0;
    auto request = lookup<Request>(handle);
    if (!request || !request->headComplete)
        return false;
    if (!request->drive([&] { return request->pendingSize() > 0; }))
        return false;
    if (request->pendingSize() > 0) {
        available = uint32_t(std::min(request->pendingSize(), kMaxChunk));
        return true;
    }
    return request->transferDone && request->result == CURLE_OK;
}

bool InternetReadFile(HINTERNET handle, char *buffer, uint32_t toRead, uint32_t &read)
{
    read = 0;
    uint32_t available = 0;
    if (!InternetQueryDataAvailable(handle, available))
        return false;
    auto request = lookup<Request>(handle);
    if (!request)
        return false;
    const size_t n = std::min<size_t>(toRead, request->pendingSize());
    if (n > 0 && !buffer)
        return false;
    std::memcpy(buffer, request->pending.data() + request->pendingPos, n);
    request->pendingPos += n;
    read = uint32_t(n);
    request->resumeIfDrained();
    return true;
}

bool InternetCloseHandle(HINTERNET handle)
{
    if (!handle)
        return false;
    std::vector<std::shared_ptr<Object>> taken;
    {
        std::lock_guard lock(g_mutex);
        takeOut(handle, taken);
    }
    for (auto &object : taken)
        object->wake();
    // The objects are released here, or by a call still running on another thread.
    return !taken.empty();
}

size_t OpenHandleCount()
{
    std::lock_guard lock(g_mutex);
    return g_handles.size();
}

} // namespace platform::inet
