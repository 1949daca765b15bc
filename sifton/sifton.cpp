#include "sifton/sifton.h"

#include "sifton/tools.h"
#include "sifton/types.h"
#include "platform/url.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <mutex>
#include <unistd.h>

namespace {

// The address relative links of a page are resolved against: its scheme, host, the port when
// it is not 80, and its normalised path (so /gallery/summer counts as the folder
// /gallery/summer/). User, password and query are left out.
std::string BaseOfPage(const TCrackUrl &page)
{
    std::string base(page.Scheme());
    base += "://";
    base += page.HostName();
    if (page.Port() != 80) {
        base += ':';
        base += std::to_string(page.Port());
    }
    base += page.UrlPath;
    return base;
}

std::mutex g_messageMutex;
TShowMessage g_showMessage;

[[nodiscard]] std::string LowerCased(std::string_view text)
{
    std::string result(text);
    for (char &c : result)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return result;
}

[[nodiscard]] std::string UpperCased(std::string_view text)
{
    std::string result(text);
    for (char &c : result)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return result;
}

// Position (0-based) of the first case-insensitive occurrence of the upper-case `needle`.
[[nodiscard]] size_t FindUpperCased(std::string_view text, std::string_view needle)
{
    if (needle.empty() || needle.size() > text.size())
        return std::string_view::npos;
    const char first = needle[0];
    for (size_t i = 0; i + needle.size() <= text.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        if (c != first)
            continue;
        size_t k = 1;
        for (; k < needle.size(); ++k) {
            char d = text[i + k];
            if (d >= 'a' && d <= 'z')
                d = char(d - 'a' + 'A');
            if (d != needle[k])
                break;
        }
        if (k == needle.size())
            return i;
    }
    return std::string_view::npos;
}

[[nodiscard]] std::string CurrentDirectory()
{
    std::string buffer(4096, '\0');
    if (::getcwd(buffer.data(), buffer.size()) == nullptr)
        return ".";
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    return buffer;
}

// Clears a re-entry guard on every way out of its scope, exceptions included.
class GuardFlag {
public:
    explicit GuardFlag(bool &flag) : flag_(flag) { flag_ = true; }
    ~GuardFlag() { flag_ = false; }
    GuardFlag(const GuardFlag &) = delete;
    GuardFlag &operator=(const GuardFlag &) = delete;

private:
    bool &flag_;
};

} // namespace

void SetShowMessageHook(TShowMessage hook)
{
    std::lock_guard lock(g_messageMutex);
    g_showMessage = std::move(hook);
}

void ShowMessage(const std::string &Text)
{
    TShowMessage hook;
    {
        std::lock_guard lock(g_messageMutex);
        hook = g_showMessage;
    }
    if (hook)
        hook(Text);
    else
        std::fprintf(stderr, "%s\n", Text.c_str());
}

TSifton::TSifton()
{
    OnPostLocalizeHrefSrc = [this](std::string &Body_) { KvSiftonPostLocalizeHrefSrc(Body_); };
    ProcessMessages = [] { QCoreApplication::processEvents(); };
    Terminate = [] { QCoreApplication::quit(); };
    Dwnld = std::make_unique<TKvDwnld>();
    Dwnld->DepthSearchLevel = 3;
    Dwnld->Concurrency = 6;
    Dwnld->LeavesFirst = false;
    Dwnld->TimeOut = TimeOut;
    Dwnld->RetryCount = Retries;
    Dwnld->ProxyType = ProxyType;
    Dwnld->ProxyPort = ProxyPort;
    TypeFilter.SetText("gif");
    KeywordsFilter.SetText(kDefaultKeywords);
    KeywordsFilter.Sort();
    KeywordsLimiter.Sort();
    Dwnld->Tag = 1;
    InstallSchedulerHandlers();
    Dwnld->Agent = Agent;
    UrlsDone.SetCapacity(32000);
    RobotsHosts.SetCapacity(10000);
    Timer = std::make_unique<QTimer>();
    Timer->setInterval(200);
    QObject::connect(Timer.get(), &QTimer::timeout, Timer.get(), [this] { OnTimer(); });
    Timer->start();
}

TSifton::~TSifton()
{
    Timer->stop();
    CloseFileOfResults();
    // The scheduler goes before the lists its handlers would touch; its handlers are cut
    // first, so nothing it reports while winding down reaches a half-destroyed component.
    Dwnld->OnDataReceived = nullptr;
    Dwnld->OnUpdatedStats = nullptr;
    Dwnld->OnDwnldHeadComplete = nullptr;
    Dwnld->OnGetError = nullptr;
    Dwnld->OnWorking = nullptr;
    Dwnld->OnDwnldLog = nullptr;
    Dwnld.reset();
}

void TSifton::InstallSchedulerHandlers()
{
    Dwnld->OnDataReceived = [this](TKvDwnld *s, TKvHttpGet *g, bool d) { HtmlPageReceived(s, g, d); };
    Dwnld->OnUpdatedStats = [this](TKvDwnld *s, int tag, int q, int dl, int ta, int done, int r, int e, int od) {
        DwnldStats(s, tag, q, dl, ta, done, r, e, od);
    };
    Dwnld->OnDwnldHeadComplete = [this](THTTPGetThread *s, int tag, const std::string &url, const std::string &head,
                                        int status, const std::string &type, int length, int depth, bool &ok,
                                        int area) {
        OnDwnldHtmlHeadComplete(s, tag, url, head, status, type, length, depth, ok, area);
    };
    Dwnld->OnGetError = [this](TKvDwnld *s, int tag, const std::string &url, uint32_t code, const std::string &msg,
                               const std::string &ref) { OnGetError(s, tag, url, code, msg, ref); };
    Dwnld->OnWorking = [this](TKvDwnld *s, bool w) { HtmlDwnldWorking(s, w); };
}

// ---- Properties ----------------------------------------------------------------------------

void TSifton::SetTimeOut(int32_t Value)
{
    if (Value < 10)
        return;
    TimeOut = Value;
    Dwnld->TimeOut = Value;
}

void TSifton::SetFileOfResults(const std::string &Value)
{
    if (!Value.empty() && Value.find('/') == std::string::npos)
        FileOfResults = CurrentDirectory() + "/Download/" + Value;
    else
        FileOfResults = Value;
}

void TSifton::SetUserName(const std::string &Value)
{
    UserName = Value;
    Dwnld->UserName = Value;
}

void TSifton::SetPassword(const std::string &Value)
{
    Password = Value;
    Dwnld->Password = Value;
}

void TSifton::SetAgent(const std::string &Value)
{
    Agent = Value;
    Dwnld->Agent = Value;
}

void TSifton::SetRetries(int32_t Value)
{
    if (Value < 1)
        return;
    Retries = Value;
    Dwnld->RetryCount = Value;
}

void TSifton::SetDepthSearchLevel(int32_t Value)
{
    if (Value >= 1)
        Dwnld->DepthSearchLevel = Value;
}

void TSifton::SetProxyType(TProxyType Value)
{
    ProxyType = Value;
    Dwnld->ProxyType = Value;
}

void TSifton::SetProxyAddress(const std::string &Value)
{
    ProxyAddress = Value;
    Dwnld->ProxyAddress = Value;
}

void TSifton::SetProxyPort(int32_t Value)
{
    ProxyPort = Value;
    Dwnld->ProxyPort = Value;
}

void TSifton::SetProxyUser(const std::string &Value)
{
    ProxyUser = Value;
    Dwnld->ProxyUser = Value;
}

void TSifton::SetProxyPassword(const std::string &Value)
{
    ProxyPassword = Value;
    Dwnld->ProxyPassword = Value;
}

void TSifton::SetMaxQueueSize(int32_t Value)
{
    if (Value >= 10)
        MaxQueueSize = Value;
}

void TSifton::SetConcurrentDownloads(int32_t Value)
{
    if (Value < 1)
        return;
    Dwnld->Concurrency = Value;
    SetConcDwnlds(Value);
}

void TSifton::SetLogsEnabled(bool Value)
{
    LogsEnabled = Value;
    if (Value)
        Dwnld->OnDwnldLog = [this](TDwnldLogSender s, const std::string &m) { OnLogDwnld(s, m); };
    else
        Dwnld->OnDwnldLog = nullptr;
}

void TSifton::LoadFilter(TKvStringList &List, const std::string &Text)
{
    List.SetText(LowerCased(Text));
    List.Sort();
}

// ---- Methods -------------------------------------------------------------------------------

bool TSifton::Start(const std::string &Url)
{
    if (!Url.empty())
        StartingUrl = Url;
    return Start();
}

bool TSifton::OpenResultsFile()
{
    std::string path;
    if (ResultFile == RESULTS_CREATE_DATETIME)
        path = CurrentDirectory() + "/Download/" + CreateFileNameFromNow();
    else if (ResultFile == RESULTS_FILEOFRESULTS)
        path = FileOfResults;
    if (path.empty())
        return true;
    if (!ResultsFile.Open(path)) {
        ShowMessage("unable to create file: " + path);
        return false;
    }
    ResultsOpen = true;
    return true;
}

bool TSifton::Start()
{
    if (InStart)
        return true;
    GuardFlag guard(InStart);
    bool ok = true;
    if (!Dwnld->Aborting && !ResultsOpen)
        ok = OpenResultsFile();
    if (ok && StartingUrl.empty()) {
        ShowMessage("no URL specified");
        ok = false;
    }
    if (ok && !StartUrl.CrackUrl(StartingUrl, Dwnld->SaveRoot)) {
        ShowMessage("Invalid Url : " + StartingUrl);
        ok = false;
    }
    if (!ok)
        return false;
    if (StartUrl.Components.nPort == 80 && HttpPort != 80)
        StartUrl.Components.nPort = uint16_t(HttpPort);
    if (!UserName.empty())
        Dwnld->UserName = UserName;
    if (!Password.empty())
        Dwnld->Password = Password;
    const std::string url = StartUrl.Url();
    int found = -1, insert = -1;
    if (!UrlsDone.Find(url, found, insert, true)) {
        UrlsDone.SetObjects(insert, 1);
        const std::string &referer = InitialReferringUrl.empty() ? url : InitialReferringUrl;
        (void)Dwnld->AddInQueue(url, referer, 1, 0, ' ', GetActionForHtmlPages(), 0, false, -1);
    }
    return true;
}

bool TSifton::Stop()
{
    if (!Dwnld->Working || Dwnld->Aborting)
        return false;
    CloseFileOfResults();
    StopHtml();
    return true;
}

void TSifton::StopHtml()
{
    Dwnld->SetAborting(true);
}

void TSifton::Exit()
{
    Exiting = true;
    Dwnld->Accepting = false;
    Dwnld->OnDataReceived = nullptr;
    Dwnld->OnUpdatedStats = nullptr;
    Dwnld->OnDwnldLog = nullptr;
    Dwnld->OnGetError = nullptr;
    Dwnld->OnDwnldHeadComplete = nullptr;
    Dwnld->OnProgress = nullptr;
    Dwnld->SetAborting(true);
    ExitCountdown = 10;
}

void TSifton::CloseFileOfResults()
{
    if (!ResultsOpen)
        return;
    ResultsOpen = false;
    (void)ResultsFile.Close();
}

void TSifton::ClearUrlsDoneIfNotHtml()
{
    for (int i = UrlsDone.Count() - 1; i >= 0; --i)
        if (UrlsDone.Objects(i) == 0)
            UrlsDone.Delete(i);
}

bool TSifton::SearchKeywords(const TKvStringList &List, const std::string &Url) const
{
    const std::string lower = LowerCased(Url);
    for (int i = 0; i < List.Count(); ++i)
        if (lower.find(List.Strings(i)) != std::string::npos)
            return true;
    return false;
}

void TSifton::WriteResultsLine(const std::string &Line)
{
    ResultsFile.WriteLine(Line);
}

std::string TSifton::DefaultResultsLine(const std::string &TypeLink, const std::string &Url)
{
    return "\"" + TypeLink + "\";\"" + Url + "\"";
}

void TSifton::OnTimer()
{
    if (InTimer)
        return;
    GuardFlag guard(InTimer);
    if (Dwnld->Working) {
        Dwnld->OnTimer();
        if (!Dwnld->RefreshStats()) {
            Dwnld->SetWorking(false);
            CloseFileOfResults();
        }
    }
    if (ExitCountdown == 0) {
        if (OnHeritedTimer)
            OnHeritedTimer(this, false);
    } else {
        if (OnHeritedTimer)
            OnHeritedTimer(this, true);
        if (--ExitCountdown == 0) {
            Exiting = false;
            if (Terminate)
                Terminate();
        }
    }
}

// ---- Scheduler callbacks -------------------------------------------------------------------

void TSifton::DwnldStats(TKvDwnld *Sender, int Tag, int InQueue, int Downloading, int ToAnalyze, int Done,
                         int Retries_, int Errors, int AlreadyOnDisk)
{
    (void)Sender;
    if (OnHeritedUpdatedStats)
        OnHeritedUpdatedStats(Dwnld.get(), Tag, InQueue, Downloading, ToAnalyze, Done, Retries_, Errors,
                              AlreadyOnDisk);
    if (OnUpdatedStats)
        OnUpdatedStats(this, InQueue, Downloading, ToAnalyze, Done, Retries_, Errors);
}

void TSifton::OnGetError(TKvDwnld *Sender, int, const std::string &Url, uint32_t ErrorCode_,
                         const std::string &ErrorMsg_, const std::string &)
{
    if (OnError)
        OnError(Sender, Url, ErrorCode_, ErrorMsg_);
}

void TSifton::HtmlDwnldWorking(TKvDwnld *Sender, bool Working_)
{
    if (OnWorking)
        OnWorking(Sender, Working_);
    if (!Working_) {
        UrlsDone.Clear();
        RobotsHosts.Clear();
    }
}

void TSifton::OnLogDwnld(TDwnldLogSender Sender, const std::string &LogMessage)
{
    if (Dwnld->Aborting || !LogsEnabled || !OnLog)
        return;
    bool html = std::holds_alternative<TKvHttpGet *>(Sender);
    if (const auto *scheduler = std::get_if<TKvDwnld *>(&Sender))
        html = *scheduler != nullptr && (*scheduler)->Tag == 1;
    OnLog(this, (html ? "HTML: " : "OTHER: ") + LogMessage);
}

void TSifton::OnDwnldHtmlHeadComplete(THTTPGetThread *, int, const std::string &Url, const std::string &,
                                      int StatusCode, const std::string &, int, int, bool &, int)
{
    if (LogsEnabled && OnLog)
        OnLog(this, "html head complete (" + std::to_string(StatusCode) + "):" + Url);
}

// ---- Page analysis -------------------------------------------------------------------------

void TSifton::Yield()
{
    if (ProcessMessages)
        ProcessMessages();
}

void TSifton::HtmlPageReceived(TKvDwnld *, TKvHttpGet *PtGet, bool)
{
    const std::string pageUrl = PtGet->Url.Url();
    if (OnPageReceived)
        OnPageReceived(this, std::string(PtGet->Url.HostName()), pageUrl, PtGet->Head, PtGet->DataString);
    if (OnMetaTag)
        PageHead(PtGet);
    TCrackUrl linkRecord;
    (void)linkRecord.CrackUrl(PtGet->Referer, Dwnld->SaveRoot);
    if (LogsEnabled && OnLog)
        OnLog(this, "page received, processing:" + pageUrl);
    std::string text = NormalizeMarkup(PtGet->DataString, true, false);
    Yield();
    if (pageUrl.size() >= 10 && LowerCased(std::string_view(pageUrl).substr(pageUrl.size() - 10)) == "robots.txt")
        ProcessLinkFound(PtGet, pageUrl, ' ', linkRecord, 0);
    if (LocalizeHrefSrc(text)) {
        Yield();
        if (OnPostLocalizeHrefSrc)
            OnPostLocalizeHrefSrc(text);
        ParseHtml(PtGet, text, linkRecord);
        if (OnPostHtmlPageReceived)
            OnPostHtmlPageReceived(this, PtGet);
    }
}

void TSifton::KvSiftonPostLocalizeHrefSrc(std::string &Body_)
{
    ::KvSiftonPostLocalizeHrefSrc(Body_);
}

void TSifton::ParseHtml(TKvHttpGet *PtGet, std::string &Text, TCrackUrl &LinkRecord)
{
    // The scheduler is read through the pointer before every byte: a user stop during one of
    // the yields below ends the pass at the next byte.
    TKvDwnld *scheduler = Dwnld.get();
    // The links are views into Text, which no step below changes; the link handed on is a
    // copy, so a handler may keep it.
    std::string link;
    ScanMarkedText(
        Text, AreaCount, [scheduler] { return scheduler->Aborting; },
        [&](char kind, std::string_view found, bool inArea) {
            link.assign(found);
            if (kind == MARK_BASEHREF)
                (void)PtGet->Url.CrackUrl(link, scheduler->SaveRoot);
            ProcessLinkFound(PtGet, link, kind, LinkRecord, inArea ? AreaCount : 0);
            Yield();
        });
}

void TSifton::PageHead(TKvHttpGet *PtGet)
{
    const std::string &body = PtGet->DataString;
    const size_t h1 = FindUpperCased(body, "<HEAD>");
    const size_t h2 = FindUpperCased(body, "</HEAD>");
    if (h1 == std::string::npos || h2 == std::string::npos)
        return;
    const size_t from = h1 + 6;
    const std::string_view inner =
        h2 > from ? std::string_view(body).substr(from, h2 - from) : std::string_view();
    const std::string H = NormalizeMarkup(inner, false, true);
    const std::string HU = UpperCased(H);
    const std::string pageUrl = PtGet->Url.Url();

    const size_t t1 = HU.find("<TITLE>");
    const size_t t2 = HU.find("</TITLE>");
    if (t1 != std::string::npos && t2 != std::string::npos && OnMetaTag) {
        const std::string title = t2 > t1 + 7 ? H.substr(t1 + 7, t2 - t1 - 7) : std::string();
        OnMetaTag(this, pageUrl, PtGet->Referer, "TITLE", "TITLE", title, "", "", "", "");
    }

    std::string original, upper;
    for (size_t i = 0; i < H.size(); ++i) {
        const char c = H[i];
        if (c == '<') {
            original.clear();
            upper.clear();
        } else if (c == '>') {
            if (upper.size() > 5 && upper[4] == ' ')
                ProcessMeta(PtGet, 5, original, upper);
            original.clear();
            upper.clear();
        } else {
            original.push_back(c);
            upper.push_back(HU[i]);
        }
    }
}

void TSifton::ProcessMeta(TKvHttpGet *PtGet, int32_t n, const std::string &O, const std::string &U)
{
    if (n < 1 || size_t(n) > U.size() || O.size() != U.size())
        return;
    const std::string tagType = U.substr(0, size_t(n - 1));
    std::string names[3], values[3];
    int i = 0;
    bool inValue = false, inQuote = false, walkedToEnd = true;
    for (size_t p = size_t(n); p < O.size(); ++p) {
        const char o = O[p];
        const char u = U[p];
        if (o == '=') {
            inValue = true;
        } else if (o == '"') {
            inQuote = !inQuote;
        } else if (o == ' ' && !inQuote) {
            if (inValue) {
                if (i < 2) {
                    ++i;
                    inValue = false;
                    names[i].clear();
                    values[i].clear();
                } else {
                    walkedToEnd = false;
                    break;
                }
            }
        } else if (!inValue) {
            names[i].push_back(u);
        } else {
            values[i].push_back(inQuote ? o : u);
        }
    }
    const std::string pageUrl = PtGet->Url.Url();
    if (walkedToEnd && inValue && OnMetaTag)
        OnMetaTag(this, pageUrl, PtGet->Referer, tagType, names[0], values[0], names[1], values[1], names[2],
                  values[2]);

    if (UpperCased(names[0]) != "HTTP-EQUIV" || UpperCased(values[0]) != "REFRESH" ||
        UpperCased(names[1]) != "CONTENT")
        return;
    const size_t k = values[1].find("URL");
    if (k == std::string::npos)
        return;
    std::string target = values[1].substr(k + 3);
    if (target.empty())
        return;
    if (UpperCased(std::string_view(target).substr(0, 4)) != "HTTP") {
        // Resolved against the page like any relative link on it: gluing the target to the
        // page address would make http://h/dir/page.html and next.html into
        // .../page.html/next.html. A target the combiner refuses is glued on as before and
        // queued as built; its fetch then fails.
        char resolved[1024];
        size_t length = 0;
        if (platform::CombineUrl(BaseOfPage(PtGet->Url), target, resolved, sizeof resolved, length))
            target.assign(resolved, length);
        else if ((!pageUrl.empty() && pageUrl.back() == '/') || target.front() == '/')
            target = pageUrl + target;
        else
            target = pageUrl + "/" + target;
    }
    int found = -1, insert = -1;
    if (!UrlsDone.Find(target, found, insert, true)) {
        UrlsDone.SetObjects(insert, 1);
        (void)Dwnld->AddInQueue(target, pageUrl, PtGet->DepthSearchLevel, 0, 'H', GetActionForHtmlPages(), 0, false,
                                -1);
    }
}

// ---- Link rules: every link the page analysis finds -------------------------------------

namespace {

// Cuts `text` before its first `c` when that lies after the first character.
void cutBeforeFirst(std::string &text, char c)
{
    const size_t pos = text.find(c);
    if (pos != std::string::npos && pos > 0)
        text.resize(pos);
}

} // namespace

void TSifton::RebuildNewUrl(TKvHttpGet *PtGet, const std::string &link, std::string &newUrl, std::string &typeLink)
{
    const std::string upper = UpperCased(link);
    newUrl.clear();
    if (upper.find("MAILTO:") != std::string::npos) {
        typeLink = "mail";
        newUrl = link.size() > 7 ? link.substr(7) : std::string();
        cutBeforeFirst(newUrl, '?');
        return;
    }
    if (upper.find("JAVASCRIPT") != std::string::npos)
        return;
    if (upper.rfind("HTTP:", 0) == 0 || upper.rfind("HTTPS:", 0) == 0) {
        newUrl = link;
    } else {
        const std::string base = BaseOfPage(PtGet->Url);
        char result[1024];
        size_t length = 0;
        if (platform::CombineUrl(base, link, result, sizeof result, length))
            newUrl.assign(result, length);
    }
    cutBeforeFirst(newUrl, '#');
}

void TSifton::ExtractionType(const std::string &address, int32_t &lastSlash, std::string &scheme, std::string &typeLink)
{
    typeLink = "unknown";
    scheme = "http";
    lastSlash = 0;
    std::string work = address;
    if (const size_t k = work.find("://"); k != std::string::npos && k > 0) {
        scheme = LowerCased(std::string_view(work).substr(0, k));
        work[k + 1] = '\\';
        work[k + 2] = '\\';
    }
    if (const size_t hash = work.find('#'); hash != std::string::npos && hash > 0) {
        work.resize(hash);
        typeLink = "htm";
    } else if (work.find('&') != std::string::npos || work.find('?') != std::string::npos) {
        typeLink = "htm";
    } else {
        const size_t slash = work.rfind('/');
        const int s = slash == std::string::npos ? 0 : int(slash) + 1;
        lastSlash = s;
        if (scheme.compare(0, 4, "http") == 0) {
            const size_t dot = work.rfind('.');
            const int d = dot == std::string::npos ? 0 : int(dot) + 1;
            if (d > 0) {
                if (s == 0 || s >= d)
                    typeLink = "htm";
                else if (size_t(d) < work.size())
                    typeLink = work.substr(size_t(d));
            }
        }
    }
    if (typeLink != "unknown" && typeLink != "htm" && QuickFindType(typeLink, 1, 550) == -1)
        typeLink = "htm";
    if (typeLink == "jpeg")
        typeLink = "jpg";
    else if (typeLink == "mpeg")
        typeLink = "mpg";
}

void TSifton::ProcessLinkFound(TKvHttpGet *PtGet, const std::string &link, char kind, TCrackUrl &record,
                               int32_t countArea)
{
    if (OnLinkExtracted)
        OnLinkExtracted(PtGet, link, kind, countArea);

    std::string newUrl;
    std::string typeLink = "unknown";
    std::string scheme;
    bool accept = true;
    bool isHttp = true;
    bool needRobots = false;

    RebuildNewUrl(PtGet, link, newUrl, typeLink);
    if (newUrl.empty())
        accept = false;
    if (accept && KeywordsFilterEnabled && KeywordsFilter.Count() > 0 && SearchKeywords(KeywordsFilter, newUrl))
        accept = false;
    if (accept && KeywordsLimiterEnabled && KeywordsLimiter.Count() > 0
        && !SearchKeywords(KeywordsLimiter, newUrl))
        accept = false;

    if (accept) {
        if (typeLink == "mail") {
            isHttp = false;
        } else if (typeLink == "unknown") {
            int32_t lastSlash = 0;
            ExtractionType(newUrl, lastSlash, scheme, typeLink);
        }
        if (typeLink != "unknown")
            (void)record.CrackUrl(newUrl, Dwnld->SaveRoot);
        else
            accept = false;
        if (scheme.compare(0, 4, "http") != 0)
            isHttp = false;
    }

    if (accept && isHttp) {
        if (!newUrl.empty() && newUrl.back() == ')')
            newUrl.pop_back();
        int found = -1, insert = -1;
        if (!RobotsHosts.Find(record.HostName(), found, insert, true))
            needRobots = true;
    }

    if (accept && !newUrl.empty()) {
        int found = -1, insert = -1;
        if (UrlsDone.Find(newUrl, found, insert, true))
            accept = false; // met before in this crawl: neither reported nor queued again
    }

    const TCrackUrl &p = PtGet->Url;
    const bool sameSite = record.Domain == StartUrl.Domain;
    const bool samePageSite = record.Domain == p.Domain;
    const bool inStartPath = sameSite && newUrl.find(StartUrl.UrlPath) != std::string::npos;
    const bool inPagePath = samePageSite && newUrl.find(p.UrlPath) != std::string::npos;
    const bool scanOK = LinkScan == scanAllLinks || (LinkScan == scanInitialSite && sameSite)
        || (LinkScan == scanInitialPath && inStartPath);
    const bool reportOK = LinkReport == reportAllLinks || (LinkReport == reportCurrentSiteLinks && samePageSite)
        || (LinkReport == reportCurrentPathLinks && inPagePath);

    if (!accept)
        return;

    std::string writeToFile = "x";
    const char hrefOrSrc = kind == 4 ? 'H' : kind == 6 ? 'S' : ' ';
    const std::string pageAddress = p.Url();
    if (reportOK) {
        int typeFound = -1, typeInsert = -1;
        if (OnLinkFound && (!TypeFilterEnabled || TypeFilter.Find(typeLink, typeFound, typeInsert, false))) {
            if (isHttp)
                OnLinkFound(this, newUrl, typeLink, pageAddress, std::string(record.HostName()), record.UrlPath,
                            std::string(record.PathWithFile()), std::string(record.ExtraInfo()), writeToFile,
                            hrefOrSrc, countArea, accept);
            else
                OnLinkFound(this, newUrl, typeLink, pageAddress, "", "", "", "", writeToFile, hrefOrSrc, countArea,
                            accept);
        }
        if (ResultsOpen) {
            if (writeToFile == "x")
                WriteResultsLine("\"" + typeLink + "\";\"" + newUrl + "\"");
            else if (!writeToFile.empty())
                WriteResultsLine(writeToFile);
        }
    }
    if (!accept)
        return; // the handler vetoed following

    // The handler may have started or ended a crawl, which changes the list: find the entry again.
    int found = -1, insert = -1;
    const bool stillDone = UrlsDone.Find(newUrl, found, insert, false);
    if (isHttp && typeLink == "htm") {
        if (stillDone)
            UrlsDone.SetObjects(found, 1);
        if (scanOK) {
            if (needRobots && SeekRobotsTxt)
                (void)Dwnld->AddInQueue("http://" + std::string(record.HostName()) + "/robots.txt", "",
                                       PtGet->DepthSearchLevel + 1, Retries, kind, STORE_TO_DATASTRING, countArea,
                                       false, -1);
            if (Dwnld->QueueCount() < MaxQueueSize && GetDepthSearchLevel() > PtGet->DepthSearchLevel && !Dwnld->Aborting)
                (void)Dwnld->AddInQueue(newUrl, pageAddress, PtGet->DepthSearchLevel + 1, 0, kind, STORE_TO_DATASTRING,
                                       countArea, false, -1);
        }
    } else if (isHttp && stillDone) {
        UrlsDone.SetObjects(found, 0);
    }
    if (isHttp && !Dwnld->Aborting && OnProcessNotHtmlLink)
        OnProcessNotHtmlLink(typeLink, newUrl, std::string(record.HostName()), pageAddress, hrefOrSrc, countArea,
                             record.LocalFilePath, true);
}
