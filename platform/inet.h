#pragma once
// HTTP requests in the steps the crawler's fetch thread is written against: open a session
// (agent and proxy mode), connect (host, port, credentials), open a request (verb, object,
// version, referrer, flags), send it (and send it again on the same request after
// credentials were set for a 401 or 407 challenge), query the status, the raw head, the
// content type and the content length of the final response, then read the body in the
// chunks that have arrived. All of it runs on one libcurl easy handle per request.
//
// Handles are plain numbers (0 is "no handle") looked up in a table, so any thread may close
// a handle at any time, even while another thread is blocked in a call on it: the blocked
// call then fails at once and the resources go when the last call has left. Closing a
// session or connection also closes the requests opened under it. Apart from closing, one
// request is used by one thread at a time.

#include <cstdint>
#include <string>

namespace platform::inet {

using HINTERNET = uint64_t;

// Access types of InternetOpen.
constexpr int INTERNET_OPEN_TYPE_PRECONFIG = 0; // the standard proxy environment variables
constexpr int INTERNET_OPEN_TYPE_DIRECT = 1;    // no proxy, whatever the environment says
constexpr int INTERNET_OPEN_TYPE_PROXY = 3;     // the named proxy, "host:port"

constexpr int INTERNET_SERVICE_HTTP = 3;

// Request flags.
constexpr uint32_t INTERNET_FLAG_RELOAD = 0x80000000u; // always from the network
constexpr uint32_t INTERNET_FLAG_SECURE = 0x00800000u; // https

// Query levels of HttpQueryInfo.
constexpr int HTTP_QUERY_CONTENT_TYPE = 1;
constexpr int HTTP_QUERY_CONTENT_LENGTH = 5;
constexpr int HTTP_QUERY_STATUS_CODE = 19;
constexpr int HTTP_QUERY_RAW_HEADERS_CRLF = 22;

// Options of InternetSetOption: credentials used from the next send on.
constexpr int INTERNET_OPTION_USERNAME = 28;
constexpr int INTERNET_OPTION_PASSWORD = 29;
constexpr int INTERNET_OPTION_PROXY_USERNAME = 43;
constexpr int INTERNET_OPTION_PROXY_PASSWORD = 44;

// Redirects followed before the redirect itself is taken as the final response.
constexpr int kMaxRedirects = 20;

// A session. `proxy` is "host:port" for INTERNET_OPEN_TYPE_PROXY and ignored otherwise.
// Returns 0 for an unknown access type or an empty proxy with INTERNET_OPEN_TYPE_PROXY.
[[nodiscard]] HINTERNET InternetOpen(const std::string &agent, int accessType, const std::string &proxy);

// A connection to one server under a session. The user name and password are sent with the
// first request already (as the credentials of a URL like http://user:pw@host/ are).
// Returns 0 for a closed or unknown session, an empty host, or a service other than HTTP.
[[nodiscard]] HINTERNET InternetConnect(HINTERNET session, const std::string &host, uint16_t port,
                                        const std::string &userName, const std::string &password, int service);

// A request on a connection. `objectName` is the path and query as text; bytes that may not
// stand in a request line as they are (blanks, controls, non-ASCII) are percent-encoded on
// the wire, and an object with CR, LF or NUL is refused (0). `version` is "HTTP/1.0" or
// "HTTP/1.1"; `referrer` may be empty.
[[nodiscard]] HINTERNET HttpOpenRequest(HINTERNET connection, const std::string &verb, const std::string &objectName,
                                        const std::string &version, const std::string &referrer, uint32_t flags);

// Sends the request (again, when called a second time) and returns once the head of the
// final response has arrived (redirects to http and https are followed, at most
// kMaxRedirects of them, and credentials never follow to another host). False when the
// request could not be sent, no head arrived, or the handle was closed meanwhile.
[[nodiscard]] bool HttpSendRequest(HINTERNET request);

// Copies one item of the final response's head into `buffer` and zero-terminates it.
// `length` is the buffer's size on the way in and the item's length (without the zero) on
// the way out. False when the item is missing or it and its zero do not fit; then `length`
// is the size the buffer would need.
[[nodiscard]] bool HttpQueryInfo(HINTERNET request, int level, char *buffer, uint32_t &length);

// Sets a credentials option on a request (or on a connection, for its later requests).
[[nodiscard]] bool InternetSetOption(HINTERNET handle, int option, const char *value, uint32_t length);

// Waits until body bytes have arrived or the body has ended. `available` is the number of
// bytes that can be read now without waiting; 0 means the body is complete. False when the
// transfer failed (a connection lost mid-body, a body shorter than its Content-Length) or
// the handle was closed.
[[nodiscard]] bool InternetQueryDataAvailable(HINTERNET request, uint32_t &available);

// Reads up to `toRead` bytes that have arrived (waiting for them when none are there yet).
// `read` 0 with true means the body is complete.
[[nodiscard]] bool InternetReadFile(HINTERNET request, char *buffer, uint32_t toRead, uint32_t &read);

// Closes the handle: a call blocked on it (or on a request under it) fails at once.
// False for 0, an unknown handle, or one already closed.
bool InternetCloseHandle(HINTERNET handle);

// Number of handles open now (for tests that check nothing is left behind).
[[nodiscard]] size_t OpenHandleCount();

} // namespace platform::inet
