#pragma once
// The URL splitter and combiner the crawler is built on: splitting an absolute URL into its
// components in caller-provided buffers (the record layout of the platform the crawler was
// designed against), and resolving a reference against an absolute base (RFC 3986 section 5).
//
// Neither function allocates: the splitter writes only into the buffers the record points to,
// the combiner only into the result buffer, each within the length declared for it. Texts are
// byte strings; bytes from 0x80 up pass through unchanged.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace platform {

// Scheme codes reported in URL_COMPONENTSA::nScheme.
enum : int32_t {
    INTERNET_SCHEME_UNKNOWN = -1,
    INTERNET_SCHEME_FTP = 1,
    INTERNET_SCHEME_GOPHER = 2,
    INTERNET_SCHEME_HTTP = 3,
    INTERNET_SCHEME_HTTPS = 4,
    INTERNET_SCHEME_FILE = 5,
    INTERNET_SCHEME_NEWS = 6,
    INTERNET_SCHEME_MAILTO = 7,
    INTERNET_SCHEME_SOCKS = 8,
    INTERNET_SCHEME_JAVASCRIPT = 9,
    INTERNET_SCHEME_VBSCRIPT = 10,
    INTERNET_SCHEME_RES = 11,
};

// Port reported for a scheme that has no default port and a URL that names none.
constexpr uint16_t INTERNET_INVALID_PORT_NUMBER = 0;

// The size the record declares for itself in dwStructSize: the size of the record on the 32-bit
// platform it comes from. Kept for fidelity; the splitter does not depend on it.
constexpr uint32_t URL_COMPONENTS_RECORD_SIZE = 60;

// Longest component text the splitter stores, and longest result of the combiner.
constexpr size_t MAX_URL_COMPONENT_LENGTH = 1023;

// One URL split into components. For each component the caller points lpsz* at a buffer and
// sets dw*Length to that buffer's size in bytes, terminating zero included; a component whose
// buffer is null is not wanted and gets length 0. On return each wanted buffer holds the
// component text with a terminating zero and dw*Length its length without the zero.
struct URL_COMPONENTSA {
    uint32_t dwStructSize = 0;
    char *lpszScheme = nullptr;
    uint32_t dwSchemeLength = 0;
    int32_t nScheme = INTERNET_SCHEME_UNKNOWN;
    char *lpszHostName = nullptr;
    uint32_t dwHostNameLength = 0;
    uint16_t nPort = INTERNET_INVALID_PORT_NUMBER;
    char *lpszUserName = nullptr;
    uint32_t dwUserNameLength = 0;
    char *lpszPassword = nullptr;
    uint32_t dwPasswordLength = 0;
    char *lpszUrlPath = nullptr;   // the path including any file name
    uint32_t dwUrlPathLength = 0;
    char *lpszExtraInfo = nullptr; // the rest of the URL from its first "?" or "#"
    uint32_t dwExtraInfoLength = 0;
};

// The port a scheme uses when a URL names none: http 80, https 443, ftp 21, gopher 70,
// socks 1080, INTERNET_INVALID_PORT_NUMBER for any other scheme.
[[nodiscard]] uint16_t DefaultPortOfScheme(int32_t schemeCode);

// Scheme code of a scheme name (ASCII case-insensitive); INTERNET_SCHEME_UNKNOWN when not known.
[[nodiscard]] int32_t SchemeCodeOf(std::string_view scheme);

// Splits an absolute URL into `components`.
//
// Accepted: "scheme:" followed by "//authority" and an optional path, or, for schemes that need
// no host (mailto, javascript, news, ...), by an opaque path. The authority is
// [user[:password]@]host[:port]; an IPv6 host is written in brackets and kept with them.
// When no port is written (or the port is empty, "host:") the scheme's default is reported.
// With `decode` every "%" followed by two hex digits in user, password, host, path and extra
// info is replaced by the byte it stands for; a "%" not followed by two hex digits stays as it is.
//
// Fails (returns false) for: text without a scheme (relative references), http, https and ftp
// URLs without "//" or without a host, an unterminated or malformed IPv6 host, a host name with
// a ":" or bracket outside an IPv6 literal, a port that is not
// decimal or is outside 1 to 65535, any control byte (0x00 to 0x1F, 0x7F) in the text or in a
// decoded component, and any stored component over MAX_URL_COMPONENT_LENGTH characters or not
// fitting its declared buffer. On failure every wanted buffer holds an empty text (when its
// declared size is at least 1), every length is 0, the scheme code is unknown and the port 0,
// so a caller that reads the components anyway reads empty texts.
[[nodiscard]] bool SplitUrl(std::string_view url, URL_COMPONENTSA &components, bool decode = true);

// Resolves `reference` against the absolute URL `base` by RFC 3986 section 5.2 (strict: a
// reference with a scheme is taken as it is, dot segments removed), without encoding or
// decoding anything. Writes the result with a terminating zero into `result` (size
// `resultSize`) and its length into `resultLength`.
//
// Fails for a base without a scheme, a control byte (0x00 to 0x1F, 0x7F) in either text, and a
// result (or, while dot segments are removed, the path being built) over
// MAX_URL_COMPONENT_LENGTH characters or not fitting the buffer; then `result` holds an empty
// text (when resultSize is at least 1) and resultLength is 0.
[[nodiscard]] bool CombineUrl(std::string_view base, std::string_view reference, char *result,
                              size_t resultSize, size_t &resultLength);

} // namespace platform
