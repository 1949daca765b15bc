#include "sifton/getthr.h"

#include "sifton/crkurl.h"

#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

using namespace platform::inet;

namespace {

// A status code or length as the server sent it: decimal digits only, within int32.
bool parseDecimal(const char *text, uint32_t length, int32_t &value)
{
    if (length == 0 || length > 10)
        return false;
    int64_t result = 0;
    for (uint32_t i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        result = result * 10 + (text[i] - '0');
    }
    if (result > std::numeric_limits<int32_t>::max())
        return false;
    value = int32_t(result);
    return true;
}

int accessTypeOf(TProxyType type)
{
    switch (type) {
    case PROXY_DIRECT:
        return INTERNET_OPEN_TYPE_DIRECT;
    case PROXY_USEPROXY:
        return INTERNET_OPEN_TYPE_PROXY;
    case PROXY_DEFAULT:
        return INTERNET_OPEN_TYPE_PRECONFIG;
    }
    return -1;
}

} // namespace

THTTPGetThread::THTTPGetThread(const TCrackUrl &url, const std::string &agent, TGetAction getAction,
                               const std::string &referer, const std::string &userName, const std::string &password,
                               TProxyType proxyType, const std::string &proxyAddress, int32_t proxyPort,
                               const std::string &proxyUser, const std::string &proxyPassword,
                               TOnThreadDataComplete onThreadDataComplete, TOnThreadProgress onThreadProgress,
                               TOnThreadHeadComplete onThreadHeadComplete, TOnStatusCode onStatusCode,
                               TOnThreadEnd onTerminate, TOnRefreshTimeOut onRefreshTimeOut)
    : platform::TThread(true)
    , Url(url)
    , Agent(agent)
    , Referer(referer)
    , UserName(userName)
    , Password(password)
    , OnThreadHeadComplete(std::move(onThreadHeadComplete))
    , OnThreadProgress(std::move(onThreadProgress))
    , OnThreadDataComplete(std::move(onThreadDataComplete))
    , OnStatusCode(std::move(onStatusCode))
    , OnRefreshTimeOut(std::move(onRefreshTimeOut))
    , KeepData(getAction == STORE_TO_DATASTRING)
    , ProxyType(proxyType)
    , ProxyAddress(proxyAddress)
    , ProxyPort(proxyPort)
    , ProxyUser(proxyUser)
    , ProxyPassword(proxyPassword)
{
    SetFreeOnTerminate(true);
    OnTerminate = std::move(onTerminate);
}

void THTTPGetThread::CloseHandles()
{
    for (std::atomic<HINTERNET> *field : {&RequestHandle, &ConnectHandle, &InternetHandle}) {
        if (const HINTERNET handle = field->exchange(0))
            InternetCloseHandle(handle);
    }
}

void THTTPGetThread::Execute()
{
    Succeeded = true;
    bool ok = false;
    try {
        ok = OpenAndSend() && ReadHead() && ReadBody();
    } catch (const std::exception &) {
        ok = false; // a report handler threw on the main thread: the fetch is not usable
    }
    if (!ok || Terminated()) {
        Succeeded = false;
    } else if (KeepData) {
        Succeeded = RaiseDataComplete() && BytesRead != 0;
    }
    if (Terminated())
        Aborted = true;
    CloseHandles();
}

bool THTTPGetThread::OpenAndSend()
{
    const int accessType = accessTypeOf(ProxyType);
    if (accessType < 0)
        return false;
    const std::string proxy = ProxyType == PROXY_USEPROXY ? ProxyAddress + ":" + std::to_string(ProxyPort) : "";
    InternetHandle = InternetOpen(Agent, accessType, proxy);
    if (!InternetHandle || Terminated())
        return false;

    ConnectHandle = InternetConnect(InternetHandle, std::string(Url.HostName()), Url.Port(),
                                    std::string(Url.UserName()), std::string(Url.Password()), INTERNET_SERVICE_HTTP);
    if (!ConnectHandle || Terminated())
        return false;

    const std::string object = std::string(Url.PathWithFile()) + std::string(Url.ExtraInfo());
    const uint32_t flags = INTERNET_FLAG_RELOAD
        | (Url.SchemeCode() == platform::INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0u);
    RequestHandle = HttpOpenRequest(ConnectHandle, "GET", object, "HTTP/1.0", Referer, flags);
    if (!RequestHandle || Terminated())
        return false;

    bool credentialsSent = false;
    for (;;) {
        if (!HttpSendRequest(RequestHandle) || Terminated())
            return false;
        uint32_t length = kQueryOffered;
        if (!HttpQueryInfo(RequestHandle, HTTP_QUERY_STATUS_CODE, QueryBuffer, length) || Terminated())
            return false;
        int32_t status = 0;
        if (!parseDecimal(QueryBuffer, length, status))
            return false; // not a status code: nothing sensible can be made of the response
        StatusCode = status;
        if (!RaiseStatusCode())
            return false;
        if (StatusCode != 401 && StatusCode != 407)
            return true;
        if (credentialsSent)
            return false; // the credentials were refused
        if (StatusCode == 407) {
            if (!SetCredentialOption(INTERNET_OPTION_PROXY_USERNAME, ProxyUser)
                || !SetCredentialOption(INTERNET_OPTION_PROXY_PASSWORD, ProxyPassword))
                return false;
        } else {
            if (!SetCredentialOption(INTERNET_OPTION_USERNAME, UserName)
                || !SetCredentialOption(INTERNET_OPTION_PASSWORD, Password))
                return false;
        }
        credentialsSent = true;
    }
}

bool THTTPGetThread::SetCredentialOption(int option, const std::string &value)
{
    // A value that does not fit the query buffer fails the fetch rather than being cut.
    if (value.size() > kQueryBufferSize - 1)
        return false;
    std::memcpy(QueryBuffer, value.data(), value.size());
    QueryBuffer[value.size()] = '\0';
    return InternetSetOption(RequestHandle, option, QueryBuffer, uint32_t(value.size()));
}

bool THTTPGetThread::ReadHead()
{
    std::vector<char> head(kHeadOffered + 1);
    uint32_t length = kHeadOffered;
    if (!HttpQueryInfo(RequestHandle, HTTP_QUERY_RAW_HEADERS_CRLF, head.data(), length) || Terminated())
        return false;
    Head.assign(head.data(), length);

    length = kQueryOffered;
    if (!HttpQueryInfo(RequestHandle, HTTP_QUERY_CONTENT_TYPE, QueryBuffer, length) || Terminated())
        return false;
    std::string contentType(QueryBuffer, length);
    if (contentType.find("text/html") == std::string::npos) {
        Aborted = true;
        return false;
    }
    ContentType = std::move(contentType);

    length = kQueryOffered;
    int32_t contentLength = 0;
    if (!HttpQueryInfo(RequestHandle, HTTP_QUERY_CONTENT_LENGTH, QueryBuffer, length)
        || !parseDecimal(QueryBuffer, length, contentLength))
        contentLength = 0; // absent or not a number: taken as absent
    ContentLength = contentLength;
    if (Terminated())
        return false;

    if (OnThreadHeadComplete) {
        GetData = true;
        if (!RaiseHeadComplete())
            return false;
        if (!GetData) {
            Aborted = true;
            return false;
        }
    }
    return true;
}

bool THTTPGetThread::ReadBody()
{
    BytesRead = 0xFFFFFFFFu;
    if (!RaiseProgress())
        return false;
    BytesRead = 0;
    DataString.clear();

    int reads = 0;
    for (;;) {
        if (Terminated())
            return false;
        uint32_t available = 0;
        if (!InternetQueryDataAvailable(RequestHandle, available))
            return false;
        if (available == 0)
            return true;
        std::unique_ptr<char[]> chunk(new char[available + 1]);
        ChunkBytes = 0;
        if (!InternetReadFile(RequestHandle, chunk.get(), available, ChunkBytes))
            return false;
        chunk[ChunkBytes] = '\0';
        if (!RaiseProgress())
            return false;
        if (ChunkBytes > 0)
            BytesRead += ChunkBytes;
        if (BytesRead > kMaxBodyBytes)
            return false;
        // The chunk is taken as zero-terminated text: a zero byte ends what is kept of it.
        if (KeepData)
            DataString.append(chunk.get(), ::strnlen(chunk.get(), ChunkBytes));
        if (++reads == 10) {
            if (!RaiseRefreshTimeOut())
                return false;
            reads = 0;
        }
    }
}

bool THTTPGetThread::Sync(const std::function<void()> &call)
{
    try {
        Synchronize(call);
        return true;
    } catch (const platform::ESynchronizeCancelled &) {
        return false; // the main thread serves no calls any more: end as terminated
    }
}

bool THTTPGetThread::RaiseStatusCode()
{
    if (!OnStatusCode)
        return true;
    return Sync([this] { OnStatusCode(StatusCode); });
}

bool THTTPGetThread::RaiseHeadComplete()
{
    return Sync([this] { OnThreadHeadComplete(this, Head, StatusCode, ContentType, ContentLength, GetData); });
}

bool THTTPGetThread::RaiseProgress()
{
    if (!OnThreadProgress)
        return true;
    return Sync([this] { OnThreadProgress(this, BytesRead); });
}

bool THTTPGetThread::RaiseRefreshTimeOut()
{
    if (!OnRefreshTimeOut)
        return true;
    return Sync([this] { OnRefreshTimeOut(); });
}

bool THTTPGetThread::RaiseDataComplete()
{
    if (!OnThreadDataComplete)
        return true;
    return Sync([this] { OnThreadDataComplete(DataString); });
}
