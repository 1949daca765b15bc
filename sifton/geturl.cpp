#include "sifton/geturl.h"

#include "platform/tick.h"

#include <QCoreApplication>
#include <QEventLoop>

TKvHttpGet::~TKvHttpGet()
{
    // Only a fetch with a thread can still report; a busy getter without one (STORE_OTHER)
    // has nothing to wait for.
    if (Busy && State == GETHTTP_GETTING && Thread) {
        KillGet();
        while (State == GETHTTP_GETTING)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
}

void TKvHttpGet::Get(TKvHttpGetRequest request)
{
    if (!Url.Cracked) {
        State = GETHTTP_WAITING;
        return;
    }
    State = GETHTTP_GETTING;
    Request = request;
    ThreadAborted = false;
    ThreadSucceeded = false;
    StatusCode = 0;
    if (Busy)
        return;
    Busy = true;
    Deadline = platform::GetTickCount() + uint32_t(TimeOut);
    if (GetAction == STORE_OTHER)
        return; // declared but never used: the getter stays busy until killed and finalised
    ContentLength = 0;
    Killed = false;
    EventsEnabled = true;
    Thread = new THTTPGetThread(
        Url, Agent, GetAction, Referer, UserName, Password, ProxyType, ProxyAddress, ProxyPort, ProxyUser,
        ProxyPassword, [this](std::string &data) { OnDataComplete(data); },
        [this](THTTPGetThread *sender, uint32_t bytes) { Progress(sender, bytes); },
        [this](THTTPGetThread *sender, const std::string &head, int status, const std::string &type, int length,
               bool &getData) { HeadComplete(sender, head, status, type, length, getData); },
        [this](int status) { OnStatusCode(status); }, [this](platform::TThread *sender) { OnEndThread(sender); },
        [this] { RefreshTimeOut(); });
    Thread->Resume();
}

void TKvHttpGet::KillGet()
{
    Killed = true;
    if (Busy && State == GETHTTP_GETTING && Thread) {
        EventsEnabled = false;
        Thread->Terminate();
        Thread->CloseHandles();
    }
}

void TKvHttpGet::FinalizeGet()
{
    if (OnLog && EventsEnabled)
        OnLog(this, "thread done: " + Url.Url());
    Busy = false;
}

void TKvHttpGet::OnStatusCode(int statusCode)
{
    StatusCode = statusCode;
}

void TKvHttpGet::HeadComplete(THTTPGetThread *sender, const std::string &head, int statusCode,
                              const std::string &contentType, int contentLength, bool &getData)
{
    ContentLength = contentLength;
    Head = head;
    if (OnHeadComplete && EventsEnabled)
        OnHeadComplete(sender, Url.Url(), Head, statusCode, contentType, contentLength, DepthSearchLevel, getData,
                       CountArea);
}

void TKvHttpGet::Progress(THTTPGetThread *, uint32_t bytesRead)
{
    if (OnProgress && State == GETHTTP_GETTING)
        OnProgress(this, bytesRead);
}

void TKvHttpGet::RefreshTimeOut()
{
    Deadline = platform::GetTickCount() + uint32_t(TimeOut);
}

void TKvHttpGet::OnDataComplete(std::string &dataString)
{
    DataString = dataString;
}

void TKvHttpGet::OnEndThread(platform::TThread *sender)
{
    auto *thread = static_cast<THTTPGetThread *>(sender);
    ThreadSucceeded = thread->Succeeded;
    ThreadAborted = thread->Aborted;
    State = GETHTTP_THREAD_DONE;
    Thread = nullptr; // the thread frees itself after this notice
}
