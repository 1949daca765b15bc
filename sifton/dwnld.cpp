#include "sifton/dwnld.h"

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Reads the whole regular file at `path`. False when it does not open as a regular file
// (a FIFO or socket is refused rather than blocked on) or a read fails.
bool ReadWholeFile(const std::string &path, std::string &content)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    content.clear();
    char buffer[65536];
    while (ok) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ok = false;
        else if (n == 0)
            break;
        else
            content.append(buffer, size_t(n));
    }
    ::close(fd);
    return ok;
}

bool IsRetriedStatus(int32_t status)
{
    return (status >= 201 && status <= 299) || (status >= 500 && status <= 599);
}

} // namespace

TKvDwnld::~TKvDwnld()
{
    // No report of a fetch thread may reach this scheduler or its owner from here on, and all
    // fetches are stopped together so that the getters' destructors wait for them only once.
    for (auto &get : TabGets) {
        get->OnHeadComplete = nullptr;
        get->OnProgress = nullptr;
        get->OnLog = nullptr;
        get->KillGet();
        // A getter busy without a thread (STORE_OTHER) has nothing to wait for.
        if (get->State == GETHTTP_GETTING && get->Thread == nullptr)
            get->State = GETHTTP_THREAD_DONE;
    }
    TabGets.clear();
    Queue.Clear();
}

uint32_t TKvDwnld::Now() const
{
    return Clock ? Clock() : platform::GetTickCount();
}

void TKvDwnld::Log(const std::string &line)
{
    if (OnDwnldLog)
        OnDwnldLog(TDwnldLogSender(this), line);
}

bool TKvDwnld::AddInQueue(const std::string &Url, const std::string &Referer, int32_t DepthSearchLevel_,
                          int32_t RetriesDone, char LinkKind, TGetAction GetAction, int32_t CountArea, bool Priority,
                          int32_t CallerTag)
{
    if (!Accepting)
        return false;
    if (Aborting)
        return true;
    if (!Working) {
        bool mayReset = true;
        if (OnCanReinit)
            OnCanReinit(this, mayReset);
        if (mayReset)
            Reinit();
        SetWorking(true);
    }
    if (Priority)
        HasPriority = true;
    if (ReloadFromDisk &&
        ServeFromDisk(Url, Referer, DepthSearchLevel_, RetriesDone, LinkKind, GetAction, CountArea, CallerTag))
        return true;
    Queue.Add(Tag, Url, Referer, DepthSearchLevel_, RetriesDone, LinkKind, GetAction, CountArea, Priority, CallerTag);
    return true;
}

bool TKvDwnld::ServeFromDisk(const std::string &Url, const std::string &Referer, int32_t DepthSearchLevel_,
                             int32_t RetriesDone, char LinkKind, TGetAction GetAction, int32_t CountArea,
                             int32_t CallerTag)
{
    auto get = std::make_unique<TKvHttpGet>();
    if (!get->Url.CrackUrl(Url, SaveRoot))
        return false; // queued, and dropped when its getter finds it invalid
    const std::string &path = get->Url.LocalFilePath;
    std::error_code error;
    if (path.empty() || !std::filesystem::exists(path, error) || std::filesystem::is_directory(path, error))
        return false;
    get->Referer = Referer;
    get->DepthSearchLevel = DepthSearchLevel_;
    get->GetAction = GetAction;
    get->RetriesDone = RetriesDone;
    get->CallerTag = CallerTag;
    get->CountArea = CountArea;
    get->LinkKind = LinkKind;
    // A copy that exists but cannot be read is fetched instead; it is neither delivered
    // (there is no page) nor counted as on disk.
    if (!ReadWholeFile(path, get->DataString))
        return false;
    get->ContentLength = int32_t(std::min<size_t>(get->DataString.size(), INT32_MAX));
    if (!Aborting) {
        Log("(reloaded from disk) " + get->Url.Url());
        if (OnDataReceived)
            OnDataReceived(this, get.get(), true);
    }
    ++AlreadyOnDisk;
    QCoreApplication::processEvents();
    return true;
}

void TKvDwnld::Reinit()
{
    Done = 0;
    Errors = 0;
    Retries = 0;
    AlreadyOnDisk = 0;
    HasPriority = false;
    LastStats = {99999, 99999, 99999, 99999, 99999, 99999, 99999};
    if (OnUpdatedStats)
        OnUpdatedStats(this, Tag, 0, 0, 0, 0, 0, 0, 0);
    if (OnReinit)
        OnReinit();
    Queue.Clear();
}

void TKvDwnld::SetWorking(bool Value)
{
    Working = Value;
    if (OnWorking)
        OnWorking(this, Value);
    if (!Value)
        Aborting = false;
}

void TKvDwnld::SetAborting(bool Value)
{
    Aborting = Value;
    if (Value)
        for (auto &get : TabGets)
            get->KillGet();
}

void TKvDwnld::OnTimer()
{
    bool retiredInRange = false;
    for (size_t i = 0; i < TabGets.size() && int32_t(i) < Concurrency; ++i)
        retiredInRange |= TabGets[i]->State == GETHTTP_NOTUSED;
    if (int32_t(TabGets.size()) != Concurrency || retiredInRange)
        ResizeTabGets();
    if (Aborting)
        Queue.Clear();
    else
        StartGetOnWaitingThreads();
    // By index: handlers raised below may queue URLs but never change the pool's length.
    for (size_t i = 0; i < TabGets.size(); ++i) {
        TKvHttpGet &get = *TabGets[i];
        switch (get.State) {
        case GETHTTP_NOTUSED:
        case GETHTTP_PREPARING:
            break;
        case GETHTTP_WAITING:
            (void)StartGetOnWaitingThread(int32_t(i));
            break;
        case GETHTTP_GETTING:
            HandleGetting(get);
            break;
        case GETHTTP_THREAD_DONE:
            HandleThreadDone(get);
            break;
        case GETHTTP_OK:
            HandleOk(get);
            break;
        case GETHTTP_ERROR:
            HandleError(get);
            break;
        }
    }
}

void TKvDwnld::HandleGetting(TKvHttpGet &get)
{
    // Passed means the clock is after the deadline by less than half the counter's range, so
    // the comparison holds across the wrap of the 32-bit tick count.
    const bool timedOut = int32_t(platform::TicksBetween(get.Deadline, Now())) > 0;
    if (timedOut && !get.Killed) {
        if (!Aborting)
            RaiseGetError(get, "timeout : " + get.Url.Url(), 0, "TimeOut", ERROR_TIMEDOUT);
        ++Errors;
        get.KillGet();
    } else if (Aborting) {
        get.KillGet();
    }
    // A getter that is busy without a fetch thread (STORE_OTHER starts none) would never get an
    // end notice: it ends here as aborted, so the URL is dropped and the slot is not lost.
    if (get.Thread == nullptr && get.State == GETHTTP_GETTING) {
        get.ThreadSucceeded = false;
        get.ThreadAborted = true;
        get.State = GETHTTP_THREAD_DONE;
    }
}

void TKvDwnld::HandleThreadDone(TKvHttpGet &get)
{
    get.FinalizeGet();
    if (get.ThreadSucceeded) {
        get.State = GETHTTP_OK;
        return;
    }
    if (OnProgress)
        OnProgress(&get, 0);
    get.State = get.ThreadAborted ? GETHTTP_WAITING : GETHTTP_ERROR;
}

void TKvDwnld::HandleOk(TKvHttpGet &get)
{
    get.State = GETHTTP_WAITING;
    if (get.Request != GETHTTP_BODY)
        return;
    const int32_t status = get.StatusCode;
    if (status == 200) {
        ++Done;
        if (!Aborting && OnDataReceived)
            OnDataReceived(this, &get, false);
    } else if (IsRetriedStatus(status)) {
        get.State = GETHTTP_ERROR;
    } else if (!Aborting) {
        RaiseGetError(get, get.Url.Url(), uint32_t(status), "ERROR", ERROR_RETRYCOUNT);
    }
}

void TKvDwnld::HandleError(TKvHttpGet &get)
{
    if (!Aborting) {
        if (get.RetriesDone < RetryCount) {
            Queue.Add(Tag, get.Url.Url(), get.Referer, get.DepthSearchLevel, get.RetriesDone + 1, get.LinkKind,
                      get.GetAction, get.CountArea, false, -1);
            ++Retries;
        } else {
            const std::string url = get.Url.Url();
            RaiseGetError(get, url, uint32_t(get.StatusCode), "", ERROR_OTHER);
            Log("GetHttp_Error " + url);
            ++Errors;
        }
    }
    get.State = GETHTTP_WAITING;
}

void TKvDwnld::RaiseGetError(TKvHttpGet &get, const std::string &url, uint32_t code, const std::string &message,
                             TErrorInfo info)
{
    if (OnGetError)
        OnGetError(this, Tag, url, code, message, get.Referer);
    if (OnGetError2)
        OnGetError2(this, &get, info);
}

void TKvDwnld::StartGetOnWaitingThreads()
{
    const int32_t count = std::min<int32_t>(int32_t(TabGets.size()), Concurrency);
    for (int32_t i = 0; i < count; ++i)
        if (!Aborting)
            (void)StartGetOnWaitingThread(i);
}

bool TKvDwnld::StartGetOnWaitingThread(int32_t Index)
{
    // Surplus getters of a shrinking pool are never started again.
    if (Index < 0 || Index >= int32_t(TabGets.size()) || Index >= Concurrency)
        return false;
    TKvHttpGet &get = *TabGets[size_t(Index)];
    if (get.State != GETHTTP_WAITING)
        return false;
    get.State = GETHTTP_PREPARING;
    if (Queue.Count() == 0) {
        get.State = GETHTTP_WAITING;
        return false;
    }
    int32_t pick = HasPriority ? FindPriorityInQueue() : 0;
    if (!HasPriority && LeavesFirst)
        pick = FindDeepestInQueue();
    const TUrlInQueue::TRow &row = Queue.List[size_t(pick)];

    get.OnLog = [this](TKvHttpGet *sender, const std::string &line) {
        if (OnDwnldLog)
            OnDwnldLog(TDwnldLogSender(sender), line);
    };
    get.OnProgress = [this](TKvHttpGet *ptGet, uint32_t bytes) { Progress(ptGet, bytes); };
    (void)get.Url.CrackUrl(row.Url, SaveRoot);
    get.SetTimeOut(TimeOut);
    get.RetriesDone = row.Object.RetriesDone;
    get.DepthSearchLevel = row.Object.DepthSearchLevel;
    get.CountArea = row.Object.CountArea;
    get.LinkKind = row.Object.LinkKind;
    get.CallerTag = row.Object.CallerTag;
    get.GetAction = row.Object.GetAction;
    get.Referer = row.Object.Referer;
    get.OnHeadComplete = [this](THTTPGetThread *sender, const std::string &url, const std::string &head, int status,
                                const std::string &type, int length, int depth, bool &ok, int area) {
        GetUrlOnHeadComplete(sender, url, head, status, type, length, depth, ok, area);
    };
    get.Agent = Agent;
    get.UserName = UserName;
    get.Password = Password;
    get.ProxyType = ProxyType;
    get.ProxyAddress = ProxyAddress;
    get.ProxyPort = ProxyPort;
    get.ProxyUser = ProxyUser;
    get.ProxyPassword = ProxyPassword;
    if (SaveRoot.empty())
        get.GetAction = STORE_TO_DATASTRING;
    Queue.Delete(pick);

    if (Aborting) {
        get.State = GETHTTP_WAITING;
        return false;
    }
    Log("starting download for " + get.Url.Url());
    if (OnStartingGet)
        OnStartingGet(Index, get.CallerTag);
    get.Get(GETHTTP_BODY);
    return true;
}

int32_t TKvDwnld::FindPriorityInQueue()
{
    for (int32_t i = 0; i < Queue.Count(); ++i)
        if (Queue.List[size_t(i)].Object.Priority)
            return i;
    HasPriority = false;
    return 0;
}

int32_t TKvDwnld::FindDeepestInQueue() const
{
    int32_t best = 0;
    for (int32_t i = 1; i < Queue.Count(); ++i)
        if (Queue.List[size_t(i)].Object.DepthSearchLevel > Queue.List[size_t(best)].Object.DepthSearchLevel)
            best = i;
    return best;
}

void TKvDwnld::ResizeTabGets()
{
    const size_t wanted = size_t(std::max<int32_t>(Concurrency, 0));
    // Getters retired by an earlier shrink that Concurrency covers again go back to work.
    for (size_t i = 0; i < TabGets.size() && i < wanted; ++i)
        if (TabGets[i]->State == GETHTTP_NOTUSED)
            TabGets[i]->State = GETHTTP_WAITING;
    if (TabGets.size() < wanted) {
        while (TabGets.size() < wanted) {
            auto get = std::make_unique<TKvHttpGet>();
            get->State = GETHTTP_WAITING;
            TabGets.push_back(std::move(get));
        }
        return;
    }
    bool allRetired = true;
    for (size_t i = wanted; i < TabGets.size(); ++i) {
        TKvHttpGet &get = *TabGets[i];
        if (get.State == GETHTTP_WAITING)
            get.State = GETHTTP_NOTUSED;
        allRetired &= get.State == GETHTTP_NOTUSED;
    }
    if (allRetired)
        TabGets.resize(wanted);
}

void TKvDwnld::GetUrlOnHeadComplete(THTTPGetThread *Sender, const std::string &Url, const std::string &Head_,
                                    int StatusCode, const std::string &ContentType, int ContentLength,
                                    int DepthSearchLevel_, bool &OkToGetData, int CountArea)
{
    if (Aborting)
        return;
    if (Tag == 1 && ContentType.find("htm") == std::string::npos)
        OkToGetData = false;
    else if (OnDwnldHeadComplete)
        OnDwnldHeadComplete(Sender, Tag, Url, Head_, StatusCode, ContentType, ContentLength, DepthSearchLevel_,
                            OkToGetData, CountArea);
}

void TKvDwnld::Progress(TKvHttpGet *PtGet, uint32_t BytesRead)
{
    if (!Aborting && OnProgress)
        OnProgress(PtGet, BytesRead);
}

bool TKvDwnld::RefreshStats()
{
    TDwnldStats now;
    bool active = false;
    for (const auto &get : TabGets) {
        now.Downloading += get->State == GETHTTP_GETTING;
        now.ToAnalyze += get->State == GETHTTP_OK;
        active |= get->State > GETHTTP_WAITING;
    }
    now.InQueue = QueueCount();
    now.Done = Done;
    now.Errors = Errors;
    now.Retries = Retries;
    now.AlreadyOnDisk = AlreadyOnDisk;
    const bool changed = !(now == LastStats);
    if (changed) {
        // Stored with or without a handler: otherwise every check would count as a change
        // and the crawl would never be seen to end.
        LastStats = now;
        if (OnUpdatedStats)
            OnUpdatedStats(this, Tag, now.InQueue, now.Downloading, now.ToAnalyze, now.Done, now.Retries, now.Errors,
                           now.AlreadyOnDisk);
    }
    if (now.InQueue == 0 && now.Downloading == 0 && !changed && !active) {
        if (IdleTicks == 0)
            return false;
        --IdleTicks;
    } else {
        IdleTicks = 10;
    }
    return true;
}
