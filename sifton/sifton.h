#pragma once
// TSifton: the crawler component, the one object an application places on its window to crawl
// the web from a start address. It owns the HTML page scheduler (TKvDwnld), beats it with a
// 200 ms timer on the main thread, keeps the addresses already seen, the start address, the
// filter lists and the results file, analyses every received page (sifton/htmlscan.h) and
// turns the scheduler's callbacks into its own events.
//
// This is the library's chief header: it brings in every type a user of the component needs.
// The library depends on QtCore only; the three messages of Start go through a message hook the
// program sets (a modal box in a window, stderr in a console program; stderr by default).
//
// Everything runs on the main thread. The timer is a QTimer owned by the component; tests stop
// it (`Timer->stop()`) and call OnTimer by hand.

#include "sifton/crkurl.h"
#include "sifton/dwnld.h"
#include "sifton/geturl.h"
#include "sifton/htmlscan.h"
#include "sifton/resfile.h"
#include "sifton/slist.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QTimer;
class TSifton;

enum TResultFile : uint8_t { RESULTS_NOTHING, RESULTS_FILEOFRESULTS, RESULTS_CREATE_DATETIME };
enum TLinkScan : uint8_t { scanAllLinks, scanInitialSite, scanInitialPath };
enum TLinkReport : uint8_t { reportAllLinks, reportCurrentSiteLinks, reportCurrentPathLinks };

using TOnLinkFound = std::function<void(TSifton *Sender, const std::string &UrlFound, const std::string &TypeLink,
                                        const std::string &FromUrl, const std::string &HostName,
                                        const std::string &UrlPath, const std::string &UrlPathWithFile,
                                        const std::string &ExtraInfos, std::string &WriteToFile, char HrefOrSrc,
                                        int32_t CountArea, bool &FollowIfHtmlLink)>;
using TOnPageReceived = std::function<void(TSifton *Sender, const std::string &HostName, const std::string &Url,
                                           const std::string &Head, const std::string &Body)>;
using TOnSiftonUpdatedStats = std::function<void(TSifton *Sender, int InQueue, int Downloading, int ToAnalyze,
                                                 int Done, int Retries, int Errors)>;
using TOnMetaTag = std::function<void(TSifton *Sender, const std::string &Url, const std::string &ReferringUrl,
                                      const std::string &TagType, const std::string &Tag1stAttrib,
                                      const std::string &Tag1stValue, const std::string &Tag2ndAttrib,
                                      const std::string &Tag2ndValue, const std::string &Tag3rdAttrib,
                                      const std::string &Tag3rdValue)>;
// Raised with the scheduler as Sender, as the scheduler reported it.
using TScanOnError =
    std::function<void(TKvDwnld *Sender, const std::string &Url, uint32_t ErrorCode, const std::string &ErrorMsg)>;
using TOnLog = std::function<void(TSifton *Sender, const std::string &LogMessage)>;
// TOnWorking (Sender, Working_) is the scheduler's type, from sifton/dwnld.h.

// Hooks for descendants and the link rules.
using TOnHeritedTimer = std::function<void(TSifton *Sender, bool Aborting)>;
using TOnHeritedUpdatedStats = TOnUpdatedStats;
using TOnProcessNotHtmlLink = std::function<void(const std::string &TypeLink, const std::string &NewUrl,
                                                 const std::string &HostName, const std::string &ReferringUrl,
                                                 char HRefOrSrc, int32_t CountArea,
                                                 const std::string &UrlFilePath, bool HttpLink)>;
using TOnPostLocalizeHrefSrc = std::function<void(std::string &Body_)>;
using TOnPostHtmlPageReceived = std::function<void(TSifton *Sender, TKvHttpGet *PtGet)>;
using TOnEndUserPageReceived =
    std::function<void(TSifton *Sender, const std::string &HostName, const std::string &Url, const std::string &Head,
                       const std::string &Body, bool AlreadyOnDisk)>;

// How the component shows its three start messages ("no URL specified" and the like). The
// program sets it once; without it the text goes to stderr as one line.
using TShowMessage = std::function<void(const std::string &Text)>;
void SetShowMessageHook(TShowMessage hook);
void ShowMessage(const std::string &Text);

class TSifton {
public:
    static constexpr const char *kDefaultAgent = "Mozilla/4.0 (compatible; MSIE 5.0; Windows NT; DigExt)";
    static constexpr const char *kDefaultKeywords = "track\nhitbox\nreferer\nstat\ncount";

    TSifton();
    ~TSifton();
    TSifton(const TSifton &) = delete;
    TSifton &operator=(const TSifton &) = delete;

    // ---- Published properties -----------------------------------------------------------
    [[nodiscard]] int32_t GetTimeOut() const { return TimeOut; }
    void SetTimeOut(int32_t Value); // below 10: ignored
    [[nodiscard]] const std::string &GetFileOfResults() const { return FileOfResults; }
    // A non-empty name without "/" goes into the "Download" folder of the current directory.
    void SetFileOfResults(const std::string &Value);
    [[nodiscard]] bool GetLeavesFirst() const { return Dwnld->LeavesFirst; }
    void SetLeavesFirst(bool Value) { Dwnld->LeavesFirst = Value; }
    [[nodiscard]] const std::string &GetUserName() const { return UserName; }
    void SetUserName(const std::string &Value);
    [[nodiscard]] const std::string &GetPassword() const { return Password; }
    void SetPassword(const std::string &Value);
    [[nodiscard]] const std::string &GetAgent() const { return Agent; }
    void SetAgent(const std::string &Value);
    [[nodiscard]] int32_t GetRetries() const { return Retries; }
    void SetRetries(int32_t Value); // below 1: ignored
    [[nodiscard]] int32_t GetDepthSearchLevel() const { return Dwnld->DepthSearchLevel; }
    void SetDepthSearchLevel(int32_t Value); // below 1: ignored
    [[nodiscard]] TProxyType GetProxyType() const { return ProxyType; }
    void SetProxyType(TProxyType Value);
    [[nodiscard]] const std::string &GetProxyAddress() const { return ProxyAddress; }
    void SetProxyAddress(const std::string &Value);
    [[nodiscard]] int32_t GetProxyPort() const { return ProxyPort; }
    void SetProxyPort(int32_t Value);
    [[nodiscard]] const std::string &GetProxyUser() const { return ProxyUser; }
    void SetProxyUser(const std::string &Value);
    [[nodiscard]] const std::string &GetProxyPassword() const { return ProxyPassword; }
    void SetProxyPassword(const std::string &Value);
    [[nodiscard]] int32_t GetMaxQueueSize() const { return MaxQueueSize; }
    void SetMaxQueueSize(int32_t Value); // below 10: ignored
    [[nodiscard]] int32_t GetConcurrentDownloads() const { return Dwnld->Concurrency; }
    // below 1: ignored; else also records the per-server connection limits (SetConcDwnlds)
    void SetConcurrentDownloads(int32_t Value);

    // Stored only; read by the link rules and Start.
    std::string Referer;
    std::string StartingUrl;
    int32_t HttpPort = 80;
    TLinkScan LinkScan = scanAllLinks;
    TLinkReport LinkReport = reportAllLinks;
    bool TypeFilterEnabled = false;
    bool KeywordsFilterEnabled = false;
    bool KeywordsLimiterEnabled = false;
    bool SeekRobotsTxt = false;

    TOnMetaTag OnMetaTag;
    TOnLinkFound OnLinkFound;
    TOnPageReceived OnPageReceived;
    TOnSiftonUpdatedStats OnUpdatedStats;
    TOnLog OnLog;
    TScanOnError OnError;
    TOnWorking OnWorking;

    // ---- Public properties --------------------------------------------------------------
    [[nodiscard]] bool GetLogsEnabled() const { return LogsEnabled; }
    // Connects (true) or disconnects (false) the scheduler's log lines.
    void SetLogsEnabled(bool Value);
    TResultFile ResultFile = RESULTS_FILEOFRESULTS;
    std::string InitialReferringUrl;
    // The filter lists as texts, one entry per line. Writing lower-cases the text, loads it
    // and sorts the list (blank entries go).
    [[nodiscard]] std::string GetTypeFilter() const { return TypeFilter.Text(); }
    void SetTypeFilter(const std::string &Value) { LoadFilter(TypeFilter, Value); }
    [[nodiscard]] std::string GetKeywordsFilter() const { return KeywordsFilter.Text(); }
    void SetKeywordsFilter(const std::string &Value) { LoadFilter(KeywordsFilter, Value); }
    [[nodiscard]] std::string GetKeywordsLimiter() const { return KeywordsLimiter.Text(); }
    void SetKeywordsLimiter(const std::string &Value) { LoadFilter(KeywordsLimiter, Value); }
    [[nodiscard]] bool Working() const { return Dwnld->Working; }
    [[nodiscard]] bool Stopping() const { return Dwnld->Aborting; }
    [[nodiscard]] bool IsExiting() const { return Exiting; }

    // ---- Methods ------------------------------------------------------------------------
    // A non-empty Url becomes StartingUrl; then Start().
    bool Start(const std::string &Url);
    // Begins a crawl, or adds the start address to the running one. False (after a message)
    // when the results file cannot be created, no URL is set, or the URL is not valid.
    bool Start();
    // When working and not yet stopping: closes the results file, StopHtml, true.
    bool Stop();
    void StopHtml();
    // Shuts the crawler down; ten ticks later the application is asked to quit.
    void Exit();
    void CloseFileOfResults();
    void ClearUrlsDoneIfNotHtml();
    // Whether any entry of the list occurs in the lower-cased Url.
    [[nodiscard]] bool SearchKeywords(const TKvStringList &List, const std::string &Url) const;
    [[nodiscard]] TGetAction GetActionForHtmlPages() const { return STORE_TO_DATASTRING; }

    // The 200 ms tick; public so that tests can step it with the timer stopped.
    void OnTimer();

    // ---- Page analysis (the scheduler's page-received handler and its steps) -------------
    void HtmlPageReceived(TKvDwnld *Sender, TKvHttpGet *PtGet, bool AlreadyOnDisk);
    void KvSiftonPostLocalizeHrefSrc(std::string &Body_);
    void ParseHtml(TKvHttpGet *PtGet, std::string &Text, TCrackUrl &LinkRecord);
    void PageHead(TKvHttpGet *PtGet);
    void ProcessMeta(TKvHttpGet *PtGet, int32_t n, const std::string &O, const std::string &U);

    // ---- Link rules ----------------------------------------------------------------------
    void ProcessLinkFound(TKvHttpGet *PtGet, const std::string &Link, char Kind, TCrackUrl &LinkRecord,
                          int32_t CountArea);
    void RebuildNewUrl(TKvHttpGet *PtGet, const std::string &Link, std::string &NewUrl, std::string &TypeLink);
    void ExtractionType(const std::string &Url, int32_t &LastSlash, std::string &Scheme, std::string &TypeLink);

    // Seam: when set, sees every link the analysis hands to the link rules, before them.
    std::function<void(TKvHttpGet *PtGet, const std::string &Link, char Kind, int32_t CountArea)> OnLinkExtracted;

    // Writes one line of the results file (CR LF added). Throws std::system_error when the
    // write fails; a full disk is reported, never hidden.
    void WriteResultsLine(const std::string &Line);
    // The default results line: the type and the URL, each in double quotes, joined by ";".
    [[nodiscard]] static std::string DefaultResultsLine(const std::string &TypeLink, const std::string &Url);

    // ---- Seams --------------------------------------------------------------------------
    // Lets the user interface process its pending messages during the analysis of a page.
    std::function<void()> ProcessMessages;
    // Asks the application to end, ten ticks after Exit.
    std::function<void()> Terminate;

    // ---- State (read by the link rules and by descendants) ------------------------------
    std::unique_ptr<QTimer> Timer;
    bool InTimer = false;
    int32_t ExitCountdown = 0;
    bool InStart = false;
    TResultsFile ResultsFile;
    bool ResultsOpen = false;
    int32_t AreaCount = 0;
    TOnPostLocalizeHrefSrc OnPostLocalizeHrefSrc;
    TOnProcessNotHtmlLink OnProcessNotHtmlLink;
    TOnPostHtmlPageReceived OnPostHtmlPageReceived;
    TOnHeritedTimer OnHeritedTimer;
    TKvStringList UrlsDone;    // object 1: an HTML page, 0: anything else
    TKvStringList RobotsHosts; // hosts already considered for robots.txt
    TCrackUrl StartUrl;
    TOnHeritedUpdatedStats OnHeritedUpdatedStats;
    TKvStringList TypeFilter;
    TKvStringList KeywordsFilter;
    TKvStringList KeywordsLimiter;
    std::unique_ptr<TKvDwnld> Dwnld;

    // Scheduler callbacks.
    void DwnldStats(TKvDwnld *Sender, int Tag, int InQueue, int Downloading, int ToAnalyze, int Done, int Retries_,
                    int Errors, int AlreadyOnDisk);
    void OnGetError(TKvDwnld *Sender, int Tag_, const std::string &Url, uint32_t ErrorCode_,
                    const std::string &ErrorMsg_, const std::string &ReferringUrl);
    void HtmlDwnldWorking(TKvDwnld *Sender, bool Working_);
    void OnLogDwnld(TDwnldLogSender Sender, const std::string &LogMessage);
    void OnDwnldHtmlHeadComplete(THTTPGetThread *Sender, int Tag, const std::string &Url, const std::string &Head,
                                 int StatusCode, const std::string &ContentType, int ContentLength,
                                 int DepthSearchLevel_, bool &OkToGetData, int CountArea);

private:
    static void LoadFilter(TKvStringList &List, const std::string &Text);
    [[nodiscard]] bool OpenResultsFile();
    void InstallSchedulerHandlers();
    void Yield();

    bool Exiting = false;
    std::string Agent = kDefaultAgent;
    std::string UserName, Password;
    int32_t TimeOut = 300;
    int32_t MaxQueueSize = 5000;
    TProxyType ProxyType = PROXY_DEFAULT;
    std::string ProxyAddress;
    int32_t ProxyPort = 80;
    std::string ProxyUser, ProxyPassword;
    bool LogsEnabled = false;
    std::string FileOfResults = "c:\\results.txt";
    int32_t Retries = 3;
};
