#pragma once
// TKvHttpGet: one reusable page-fetch slot of the scheduler's pool. It holds what one fetch
// needs (the cracked URL, the request settings, the crawl bookkeeping that travels with the
// URL) and its results (status, head, content length, page text), starts one fetch thread per
// fetch, turns the thread's reports into its own state and events, and keeps the deadline the
// scheduler's time-out rests on. Every method runs on the main thread.

#include "sifton/crkurl.h"
#include "sifton/getthr.h"

#include <cstdint>
#include <functional>
#include <string>

class TKvHttpGet;

enum TKvHttpGetState : int32_t {
    GETHTTP_NOTUSED = 0,
    GETHTTP_WAITING = 1,
    GETHTTP_PREPARING = 2,
    GETHTTP_GETTING = 3,
    GETHTTP_THREAD_DONE = 4,
    GETHTTP_OK = 5,
    GETHTTP_ERROR = 6,
};

enum TKvHttpGetRequest : int32_t {
    GETHTTP_HEAD = 0,
    GETHTTP_BODY = 1,
};

using TOnGetUrlHeadComplete = std::function<void(THTTPGetThread *Sender, const std::string &Url,
                                                 const std::string &Head_, int StatusCode,
                                                 const std::string &ContentType, int ContentLength,
                                                 int DepthSearchLevel_, bool &OkToGetData, int CountArea)>;
using TOnGetUrlProgress = std::function<void(TKvHttpGet *PtGet, uint32_t BytesRead)>;
using TOnGetUrlLog = std::function<void(TKvHttpGet *Sender, const std::string &LogMessage)>;

class TKvHttpGet {
public:
    TKvHttpGet() = default;
    // A fetch still running is killed and waited for (serving events meanwhile), so no
    // thread reports to a freed getter or reads its Url.
    ~TKvHttpGet();
    TKvHttpGet(const TKvHttpGet &) = delete;
    TKvHttpGet &operator=(const TKvHttpGet &) = delete;

    [[nodiscard]] int32_t GetTimeOut() const { return TimeOut / 1000; }
    void SetTimeOut(int32_t seconds) { TimeOut = seconds * 1000; }

    // Starts a fetch of Url and returns at once.
    void Get(TKvHttpGetRequest request);
    // Stops the current fetch (the thread ends soon after, as terminated).
    void KillGet();
    // Closes the books on an ended fetch.
    void FinalizeGet();

    bool EventsEnabled = false;
    std::string Agent = "Mozilla/4.0 (compatible; MSIE 5.0; Windows NT; DigExt)";
    std::string UserName, Password;
    std::string Referer;
    TOnGetUrlLog OnLog;
    THTTPGetThread *Thread = nullptr; // not owned: the thread frees itself
    TKvHttpGetState State = GETHTTP_NOTUSED;
    TKvHttpGetRequest Request = GETHTTP_BODY;
    bool ThreadSucceeded = false;
    bool ThreadAborted = false;
    int32_t StatusCode = 0;
    int32_t ContentLength = 0;
    TOnGetUrlProgress OnProgress;
    uint32_t Deadline = 0;
    int32_t TimeOut = 300000; // milliseconds
    bool Busy = false;
    std::string DataString;
    std::string Head;
    bool Killed = false;
    TGetAction GetAction = HEAD_ONLY;
    TProxyType ProxyType = PROXY_DEFAULT;
    std::string ProxyAddress;
    int32_t ProxyPort = 80;
    std::string ProxyUser, ProxyPassword;
    TOnGetUrlHeadComplete OnHeadComplete;
    TCrackUrl Url;
    int32_t DepthSearchLevel = 1;
    int32_t RetriesDone = 0;
    int32_t CountArea = 0;
    char LinkKind = 0;
    int32_t CallerTag = 0;

    // The fetch thread's reports, run on the main thread.
    void OnStatusCode(int statusCode);
    void HeadComplete(THTTPGetThread *sender, const std::string &head, int statusCode,
                      const std::string &contentType, int contentLength, bool &getData);
    void Progress(THTTPGetThread *sender, uint32_t bytesRead);
    void RefreshTimeOut();
    void OnDataComplete(std::string &dataString);
    void OnEndThread(platform::TThread *sender);
};
