#pragma once
// TKvDwnld: the download scheduler of a crawl. It keeps a FIFO queue of URLs (TUrlInQueue) and
// a pool of page getters (TabGets, one per concurrent fetch). Its owner beats it with a 200 ms
// timer by calling OnTimer and then RefreshStats: each tick starts fetches on idle getters,
// watches running ones for time-outs, and turns each ended fetch into a delivered page, a
// reported HTTP error, a re-queued retry or a final error. Statistics are reported only when
// they change, and RefreshStats returns false once nothing has happened for 11 checks in a
// row, which is how the owner learns that the crawl is over.
//
// Everything runs on the main thread; fetch threads report through Synchronize.
//
// Choices made here:
//  - LeavesFirst: with no priority entry waiting, the deepest entry (highest
//    DepthSearchLevel) is taken, the oldest of equal depth.
//  - Getters retired while the pool shrank are brought back into service when Concurrency
//    rises again to cover their slot.
//  - The default Agent is kDefaultAgent.
//  - The destructor detaches every getter from the scheduler, kills all running fetches at
//    once, and then frees the getters; each getter's own destructor serves events until its
//    fetch thread has reported its end, so no thread reports to a freed getter.
//  - Deadlines are compared through the tick difference, so a deadline that wrapped past
//    2^32 ms does not count as passed.
//  - LastStats is kept current whether or not OnUpdatedStats is set, so that idle detection
//    works for every user of the library.
//  - An entry whose action starts no fetch thread (STORE_OTHER with a SaveRoot) ends on the
//    tick that started it, as an aborted fetch: dropped without an event.
//  - With ReloadFromDisk, a local copy that exists but cannot be read as a regular file is
//    fetched instead, without a page event or an AlreadyOnDisk count.

#include "platform/tick.h"
#include "sifton/geturl.h"
#include "sifton/urlque.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

class TKvDwnld;

enum TErrorInfo : int32_t {
    ERROR_TIMEDOUT = 0,
    ERROR_RETRYCOUNT = 1, // a final HTTP status, reported without retry
    ERROR_OTHER = 2,      // failed for good after its retries
};

// A log line comes from the scheduler itself or from one of its getters ("thread done: ").
using TDwnldLogSender = std::variant<TKvDwnld *, TKvHttpGet *>;

using TOnUpdatedStats = std::function<void(TKvDwnld *Sender, int Tag, int InQueue, int Downloading, int ToAnalyze,
                                           int Done, int Retries, int Errors, int AlreadyOnDisk)>;
using TOnDataReceived = std::function<void(TKvDwnld *Sender, TKvHttpGet *PtGet, bool AlreadyOnDisk)>;
using TOnDwnldHeadComplete =
    std::function<void(THTTPGetThread *Sender, int Tag, const std::string &Url, const std::string &Head,
                       int StatusCode, const std::string &ContentType, int ContentLength, int DepthSearchLevel_,
                       bool &OkToGetData, int CountArea)>;
using TOnGetError = std::function<void(TKvDwnld *Sender, int Tag_, const std::string &Url, uint32_t ErrorCode_,
                                       const std::string &ErrorMsg_, const std::string &ReferringUrl)>;
using TOnGetError2 = std::function<void(TKvDwnld *Sender, TKvHttpGet *PtGet, TErrorInfo ErrorInfo)>;
using TOnProgress = std::function<void(TKvHttpGet *PtGet, uint32_t BytesRead)>;
using TOnDwnldLog = std::function<void(TDwnldLogSender Sender, const std::string &LogMessage)>;
using TOnWorking = std::function<void(TKvDwnld *Sender, bool Working_)>;
using TOnCanReinit = std::function<void(TKvDwnld *Sender, bool &OnCanReinit_)>;
using TOnReinit = std::function<void()>;
using TOnStartingGet = std::function<void(int Index, int CallerTag)>;

// The seven values whose change RefreshStats reports.
struct TDwnldStats {
    int32_t InQueue = 0;
    int32_t ToAnalyze = 0;
    int32_t Downloading = 0;
    int32_t Done = 0;
    int32_t Errors = 0;
    int32_t Retries = 0;
    int32_t AlreadyOnDisk = 0;
    friend bool operator==(const TDwnldStats &, const TDwnldStats &) = default;
};

class TKvDwnld {
public:
    static constexpr const char *kDefaultAgent = "Sifton/1.0";

    TKvDwnld() = default;
    ~TKvDwnld();
    TKvDwnld(const TKvDwnld &) = delete;
    TKvDwnld &operator=(const TKvDwnld &) = delete;

    // Queues one URL; false only when the scheduler no longer accepts URLs. The first URL of a
    // crawl resets the scheduler (unless OnCanReinit vetoes) and switches it to working.
    [[nodiscard]] bool AddInQueue(const std::string &Url, const std::string &Referer, int32_t DepthSearchLevel,
                                  int32_t RetriesDone, char LinkKind, TGetAction GetAction, int32_t CountArea,
                                  bool Priority, int32_t CallerTag);
    [[nodiscard]] int32_t QueueCount() const { return Queue.Count(); }

    // One tick. The owner's timer calls it (every 200 ms); tests call it by hand.
    void OnTimer();
    // Reports the statistics if they changed; false once the scheduler has been idle for
    // 11 checks in a row.
    [[nodiscard]] bool RefreshStats();

    void SetWorking(bool Value);
    // true kills every running fetch; the ticks then wind the crawl down.
    void SetAborting(bool Value);
    // Resets counters and queue for a new crawl.
    void Reinit();

    // Steps of the tick, public so that owners and tests can drive them.
    void ResizeTabGets();
    void StartGetOnWaitingThreads();
    // True if a fetch was started on getter `Index`.
    bool StartGetOnWaitingThread(int32_t Index);
    // Index of the first priority entry; 0 (and HasPriority cleared) when there is none.
    [[nodiscard]] int32_t FindPriorityInQueue();
    // Index of the deepest entry, the oldest of equal depth; 0 for an empty queue.
    [[nodiscard]] int32_t FindDeepestInQueue() const;

    // Handlers installed on each getter.
    void GetUrlOnHeadComplete(THTTPGetThread *Sender, const std::string &Url, const std::string &Head_,
                              int StatusCode, const std::string &ContentType, int ContentLength,
                              int DepthSearchLevel_, bool &OkToGetData, int CountArea);
    void Progress(TKvHttpGet *PtGet, uint32_t BytesRead);

    int32_t Tag = 0; // 1: the HTML scheduler, which accepts only HTML responses
    int32_t IdleTicks = 10;
    std::string SaveRoot;
    int32_t RetryCount = 3;
    int32_t TimeOut = 300; // seconds
    int32_t DepthSearchLevel = 2; // kept for the owner; not used here
    int32_t Concurrency = 3;
    TUrlInQueue Queue;
    bool HasPriority = false;
    TOnUpdatedStats OnUpdatedStats;
    TOnDataReceived OnDataReceived;
    TOnDwnldLog OnDwnldLog;
    TOnGetError OnGetError;
    TOnGetError2 OnGetError2;
    TOnProgress OnProgress;
    TOnStartingGet OnStartingGet;
    bool ReloadFromDisk = false;
    TOnDwnldHeadComplete OnDwnldHeadComplete;
    TOnReinit OnReinit;
    TOnCanReinit OnCanReinit;
    TOnWorking OnWorking;
    bool Working = false;
    bool Aborting = false;
    std::string Agent = kDefaultAgent;
    std::string UserName, Password;
    TProxyType ProxyType = PROXY_DEFAULT;
    std::string ProxyAddress;
    int32_t ProxyPort = 80;
    std::string ProxyUser, ProxyPassword;
    std::vector<std::unique_ptr<TKvHttpGet>> TabGets;
    bool LeavesFirst = false;
    int32_t Done = 0, Errors = 0, Retries = 0, AlreadyOnDisk = 0;
    TDwnldStats LastStats;
    bool Accepting = true;

    // The clock the time-out is judged by: milliseconds, 32-bit, wrapping like
    // platform::GetTickCount (the getters set their deadlines from that clock). Tests replace it.
    std::function<uint32_t()> Clock = platform::GetTickCount;

private:
    [[nodiscard]] uint32_t Now() const;
    void Log(const std::string &line);
    void RaiseGetError(TKvHttpGet &get, const std::string &url, uint32_t code, const std::string &message,
                       TErrorInfo info);
    void HandleGetting(TKvHttpGet &get);
    void HandleThreadDone(TKvHttpGet &get);
    void HandleOk(TKvHttpGet &get);
    void HandleError(TKvHttpGet &get);
    // Serves a URL from its local copy under SaveRoot; false when it has to be fetched.
    bool ServeFromDisk(const std::string &Url, const std::string &Referer, int32_t DepthSearchLevel,
                       int32_t RetriesDone, char LinkKind, TGetAction GetAction, int32_t CountArea,
                       int32_t CallerTag);
};
