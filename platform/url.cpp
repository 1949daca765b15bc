#include "platform/url.h"

#include <array>

namespace platform {

namespace {

constexpr bool isControl(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

constexpr bool isAlpha(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr bool isDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

constexpr int hexValue(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

constexpr char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
}

bool hasControlByte(std::string_view text)
{
    for (const char c : text) {
        if (isControl(static_cast<unsigned char>(c)))
            return true;
    }
    return false;
}

// Length of the scheme at the start of `text` when it is followed by ":", else 0.
// RFC 3986: ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ).
size_t schemeLength(std::string_view text)
{
    if (text.empty() || !isAlpha(static_cast<unsigned char>(text[0])))
        return 0;
    for (size_t i = 1; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == ':')
            return i;
        if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.')
            return 0;
    }
    return 0;
}

struct SchemeEntry {
    std::string_view name;
    int32_t code;
    uint16_t defaultPort;
    bool needsHost; // hierarchical schemes whose URLs are meaningless without "//host"
};

constexpr std::array<SchemeEntry, 11> kSchemes{{
    {"http", INTERNET_SCHEME_HTTP, 80, true},
    {"https", INTERNET_SCHEME_HTTPS, 443, true},
    {"ftp", INTERNET_SCHEME_FTP, 21, true},
    {"gopher", INTERNET_SCHEME_GOPHER, 70, true},
    {"file", INTERNET_SCHEME_FILE, INTERNET_INVALID_PORT_NUMBER, false},
    {"news", INTERNET_SCHEME_NEWS, INTERNET_INVALID_PORT_NUMBER, false},
    {"mailto", INTERNET_SCHEME_MAILTO, INTERNET_INVALID_PORT_NUMBER, false},
    {"socks", INTERNET_SCHEME_SOCKS, 1080, false},
    {"javascript", INTERNET_SCHEME_JAVASCRIPT, INTERNET_INVALID_PORT_NUMBER, false},
    {"vbscript", INTERNET_SCHEME_VBSCRIPT, INTERNET_INVALID_PORT_NUMBER, false},
    {"res", INTERNET_SCHEME_RES, INTERNET_INVALID_PORT_NUMBER, false},
}};

const SchemeEntry *findScheme(int32_t code)
{
    for (const auto &entry : kSchemes) {
        if (entry.code == code)
            return &entry;
    }
    return nullptr;
}

// One wanted component: its buffer and declared size, as the caller set them.
struct Target {
    char *buffer;
    uint32_t *length;
    uint32_t declared;
};

// Stores `text` (decoded when asked) into the target. False when it holds a decoded control
// byte, is longer than the component limit or does not fit the declared buffer.
bool store(const Target &target, std::string_view text, bool decode)
{
    if (target.buffer == nullptr) {
        *target.length = 0;
        return true;
    }
    // Room for the text without its terminating zero.
    if (target.declared == 0)
        return false;
    size_t room = target.declared - 1;
    if (room > MAX_URL_COMPONENT_LENGTH)
        room = MAX_URL_COMPONENT_LENGTH;

    size_t out = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (decode && c == '%' && i + 2 < text.size()) {
            const int high = hexValue(static_cast<unsigned char>(text[i + 1]));
            const int low = hexValue(static_cast<unsigned char>(text[i + 2]));
            if (high >= 0 && low >= 0) {
                c = static_cast<unsigned char>(high * 16 + low);
                i += 2;
                if (isControl(c))
                    return false;
            }
        }
        if (out == room)
            return false;
        target.buffer[out++] = static_cast<char>(c);
    }
    target.buffer[out] = '\0';
    *target.length = static_cast<uint32_t>(out);
    return true;
}

void clearAll(URL_COMPONENTSA &parts, const std::array<Target, 6> &targets)
{
    for (const auto &target : targets) {
        if (target.buffer != nullptr && target.declared > 0)
            target.buffer[0] = '\0';
        *target.length = 0;
    }
    parts.nScheme = INTERNET_SCHEME_UNKNOWN;
    parts.nPort = INTERNET_INVALID_PORT_NUMBER;
}

// Bracketed IPv6 literal contents: hex digits, ":" and "." (an embedded IPv4 tail), at least
// one ":". Zone identifiers are not accepted.
bool isIpv6Literal(std::string_view inner)
{
    if (inner.empty())
        return false;
    bool colon = false;
    for (const char ch : inner) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == ':')
            colon = true;
        else if (hexValue(c) < 0 && c != '.')
            return false;
    }
    return colon;
}

// Decimal port in 1 to 65535; an empty text means "the scheme's default".
bool parsePort(std::string_view text, uint16_t defaultPort, uint16_t &port)
{
    if (text.empty()) {
        port = defaultPort;
        return true;
    }
    uint32_t value = 0;
    for (const char ch : text) {
        if (!isDigit(static_cast<unsigned char>(ch)))
            return false;
        value = value * 10 + static_cast<uint32_t>(ch - '0');
        if (value > 65535)
            return false;
    }
    if (value == 0)
        return false;
    port = static_cast<uint16_t>(value);
    return true;
}

bool splitInto(std::string_view url, URL_COMPONENTSA &parts, const std::array<Target, 6> &targets,
               bool decode)
{
    if (hasControlByte(url))
        return false;
    const size_t schemeLen = schemeLength(url);
    if (schemeLen == 0)
        return false;
    const std::string_view scheme = url.substr(0, schemeLen);
    const int32_t code = SchemeCodeOf(scheme);
    const SchemeEntry *entry = findScheme(code);
    std::string_view rest = url.substr(schemeLen + 1);

    std::string_view user, password, host, portText;
    const bool hasAuthority = rest.size() >= 2 && rest[0] == '/' && rest[1] == '/';
    if (hasAuthority) {
        rest.remove_prefix(2);
        const size_t end = rest.find_first_of("/?#");
        std::string_view authority = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end);

        const size_t at = authority.rfind('@');
        if (at != std::string_view::npos) {
            const std::string_view userinfo = authority.substr(0, at);
            authority.remove_prefix(at + 1);
            const size_t colon = userinfo.find(':');
            user = userinfo.substr(0, colon);
            if (colon != std::string_view::npos)
                password = userinfo.substr(colon + 1);
        }
        if (!authority.empty() && authority[0] == '[') {
            const size_t close = authority.find(']');
            if (close == std::string_view::npos || !isIpv6Literal(authority.substr(1, close - 1)))
                return false;
            host = authority.substr(0, close + 1);
            const std::string_view after = authority.substr(close + 1);
            if (!after.empty()) {
                if (after[0] != ':')
                    return false;
                portText = after.substr(1);
            }
        } else {
            const size_t colon = authority.rfind(':');
            host = authority.substr(0, colon);
            if (colon != std::string_view::npos)
                portText = authority.substr(colon + 1);
            // Only the port follows a ":"; brackets belong to IPv6 literals.
            if (host.find_first_of("[]:") != std::string_view::npos)
                return false;
        }
        if (host.empty() && entry != nullptr && entry->needsHost)
            return false;
    } else if (entry != nullptr && entry->needsHost) {
        return false; // "http:page.html" is a relative link written with a scheme, not a URL
    }

    const uint16_t defaultPort = entry != nullptr ? entry->defaultPort : INTERNET_INVALID_PORT_NUMBER;
    uint16_t port = defaultPort;
    if (!parsePort(portText, defaultPort, port))
        return false;

    const size_t extraStart = rest.find_first_of("?#");
    const std::string_view path = rest.substr(0, extraStart);
    const std::string_view extra =
        extraStart == std::string_view::npos ? std::string_view{} : rest.substr(extraStart);

    // The scheme is never decoded: it cannot hold "%".
    if (!store(targets[0], scheme, false) || !store(targets[1], host, decode) ||
        !store(targets[2], user, decode) || !store(targets[3], password, decode) ||
        !store(targets[4], path, decode) || !store(targets[5], extra, decode))
        return false;
    parts.nScheme = code;
    parts.nPort = port;
    return true;
}

// The path being built while dot segments are removed, in the caller's result buffer.
class Output {
public:
    Output(char *buffer, size_t size)
        : m_buffer(buffer), m_room(size == 0 ? 0 : size - 1)
    {
        if (m_room > MAX_URL_COMPONENT_LENGTH)
            m_room = MAX_URL_COMPONENT_LENGTH;
    }

    void append(std::string_view text)
    {
        if (m_overflow || text.size() > m_room - m_length) {
            m_overflow = true;
            return;
        }
        for (const char c : text)
            m_buffer[m_length++] = c;
    }
    void append(char c) { append(std::string_view(&c, 1)); }

    // Removes the last path segment and its preceding "/" (if any), not going before `floor`.
    void removeLastSegment(size_t floor)
    {
        if (m_overflow)
            return;
        while (m_length > floor) {
            --m_length;
            if (m_buffer[m_length] == '/')
                break;
        }
    }

    [[nodiscard]] size_t length() const { return m_length; }
    [[nodiscard]] bool overflow() const { return m_overflow; }

private:
    char *m_buffer;
    size_t m_room;
    size_t m_length = 0;
    bool m_overflow = false;
};

// Two texts read as one, so the merged path of RFC 3986 section 5.2.3 needs no buffer of its own.
class Joined {
public:
    Joined(std::string_view first, std::string_view second) : m_first(first), m_second(second) {}

    [[nodiscard]] size_t size() const { return m_first.size() + m_second.size(); }
    [[nodiscard]] char at(size_t i) const
    {
        return i < m_first.size() ? m_first[i] : m_second[i - m_first.size()];
    }
    [[nodiscard]] bool matches(size_t i, std::string_view text) const
    {
        if (size() - i < text.size())
            return false;
        for (size_t k = 0; k < text.size(); ++k) {
            if (at(i + k) != text[k])
                return false;
        }
        return true;
    }
    [[nodiscard]] bool isExactly(size_t i, std::string_view text) const
    {
        return size() - i == text.size() && matches(i, text);
    }

private:
    std::string_view m_first;
    std::string_view m_second;
};

// RFC 3986 section 5.2.4, reading `input` and appending to `out`; `floor` is where the path
// starts in the output, so ".." never removes the scheme or authority.
void removeDotSegments(const Joined &input, Output &out)
{
    const size_t floor = out.length();
    size_t i = 0;
    const size_t n = input.size();
    while (i < n && !out.overflow()) {
        if (input.matches(i, "../")) {
            i += 3;
        } else if (input.matches(i, "./")) {
            i += 2;
        } else if (input.matches(i, "/./")) {
            i += 2; // leaves "/" as the start of the input
        } else if (input.isExactly(i, "/.")) {
            out.append('/');
            i = n;
        } else if (input.matches(i, "/../")) {
            i += 3; // leaves "/"
            out.removeLastSegment(floor);
        } else if (input.isExactly(i, "/..")) {
            out.removeLastSegment(floor);
            out.append('/');
            i = n;
        } else if (input.isExactly(i, ".") || input.isExactly(i, "..")) {
            i = n;
        } else {
            // Move the first segment (with its leading "/", if any) to the output.
            size_t end = i;
            if (input.at(end) == '/')
                ++end;
            while (end < n && input.at(end) != '/')
                ++end;
            for (size_t k = i; k < end; ++k)
                out.append(input.at(k));
            i = end;
        }
    }
}

// The five parts of a URI reference (RFC 3986 appendix B), with "defined" kept apart from empty.
struct Reference {
    std::string_view scheme, authority, path, query, fragment;
    bool hasScheme = false, hasAuthority = false, hasQuery = false, hasFragment = false;
};

Reference parseReference(std::string_view text)
{
    Reference r;
    const size_t schemeLen = schemeLength(text);
    if (schemeLen > 0) {
        r.hasScheme = true;
        r.scheme = text.substr(0, schemeLen);
        text.remove_prefix(schemeLen + 1);
    }
    if (text.size() >= 2 && text[0] == '/' && text[1] == '/') {
        text.remove_prefix(2);
        const size_t end = text.find_first_of("/?#");
        r.hasAuthority = true;
        r.authority = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end);
    }
    const size_t hash = text.find('#');
    if (hash != std::string_view::npos) {
        r.hasFragment = true;
        r.fragment = text.substr(hash + 1);
        text = text.substr(0, hash);
    }
    const size_t question = text.find('?');
    if (question != std::string_view::npos) {
        r.hasQuery = true;
        r.query = text.substr(question + 1);
        text = text.substr(0, question);
    }
    r.path = text;
    return r;
}

} // namespace

uint16_t DefaultPortOfScheme(int32_t schemeCode)
{
    const SchemeEntry *entry = findScheme(schemeCode);
    return entry != nullptr ? entry->defaultPort : INTERNET_INVALID_PORT_NUMBER;
}

int32_t SchemeCodeOf(std::string_view scheme)
{
    for (const auto &entry : kSchemes) {
        if (equalsIgnoringCase(scheme, entry.name))
            return entry.code;
    }
    return INTERNET_SCHEME_UNKNOWN;
}

bool SplitUrl(std::string_view url, URL_COMPONENTSA &components, bool decode)
{
    const std::array<Target, 6> targets{{
        {components.lpszScheme, &components.dwSchemeLength, components.dwSchemeLength},
        {components.lpszHostName, &components.dwHostNameLength, components.dwHostNameLength},
        {components.lpszUserName, &components.dwUserNameLength, components.dwUserNameLength},
        {components.lpszPassword, &components.dwPasswordLength, components.dwPasswordLength},
        {components.lpszUrlPath, &components.dwUrlPathLength, components.dwUrlPathLength},
        {components.lpszExtraInfo, &components.dwExtraInfoLength, components.dwExtraInfoLength},
    }};
    if (splitInto(url, components, targets, decode))
        return true;
    clearAll(components, targets);
    return false;
}

bool CombineUrl(std::string_view base, std::string_view reference, char *result, size_t resultSize,
                size_t &resultLength)
{
    resultLength = 0;
    if (result == nullptr || resultSize == 0)
        return false;
    result[0] = '\0';
    if (hasControlByte(base) || hasControlByte(reference))
        return false;
    const Reference b = parseReference(base);
    if (!b.hasScheme)
        return false;
    const Reference r = parseReference(reference);

    Output out(result, resultSize);
    const auto writePrefix = [&](std::string_view scheme, bool hasAuthority, std::string_view authority) {
        out.append(scheme);
        out.append(':');
        if (hasAuthority) {
            out.append("//");
            out.append(authority);
        }
    };

    bool hasQuery = r.hasQuery;
    std::string_view query = r.query;
    if (r.hasScheme) {
        writePrefix(r.scheme, r.hasAuthority, r.authority);
        removeDotSegments(Joined(r.path, {}), out);
    } else if (r.hasAuthority) {
        writePrefix(b.scheme, true, r.authority);
        removeDotSegments(Joined(r.path, {}), out);
    } else {
        writePrefix(b.scheme, b.hasAuthority, b.authority);
        if (r.path.empty()) {
            out.append(b.path);
            if (!r.hasQuery) {
                hasQuery = b.hasQuery;
                query = b.query;
            }
        } else if (r.path[0] == '/') {
            removeDotSegments(Joined(r.path, {}), out);
        } else if (b.hasAuthority && b.path.empty()) {
            removeDotSegments(Joined("/", r.path), out);
        } else {
            const size_t slash = b.path.rfind('/');
            const std::string_view directory =
                slash == std::string_view::npos ? std::string_view{} : b.path.substr(0, slash + 1);
            removeDotSegments(Joined(directory, r.path), out);
        }
    }
    if (hasQuery) {
        out.append('?');
        out.append(query);
    }
    if (r.hasFragment) {
        out.append('#');
        out.append(r.fragment);
    }
    if (out.overflow()) {
        result[0] = '\0';
        return false;
    }
    result[out.length()] = '\0';
    resultLength = out.length();
    return true;
}

} // namespace platform
