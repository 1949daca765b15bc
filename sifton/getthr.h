#pragma once
// THTTPGetThread: one HTTP GET of one web page on a worker thread of its own. It opens the
// connection (directly, through a named proxy, or through the system's proxy settings), sends
// the request, answers one authentication challenge from the server or the proxy, reads the
// status, the raw head, the content type and length, asks its owner whether the body is
// wanted, reads the body chunk by chunk and hands the text back. Only HTML is fetched: any
// other content type is abandoned before the body.
//
// Every report to the owner runs on the main thread through Synchronize while the worker
// waits. The thread frees itself once its end has been reported (OnTerminate).

#include "platform/inet.h"
#include "platform/thread.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

class TCrackUrl;
class THTTPGetThread;

// What a fetch does with the body.
enum TGetAction : int32_t {
    HEAD_ONLY = 0,
    STORE_TO_DATASTRING = 1,
    STORE_TO_FILE = 2,
    STORE_TO_DATASTRING_AND_FILE = 3,
    STORE_OTHER = 4,
};

// How the connection is opened.
enum TProxyType : int32_t {
    PROXY_DIRECT = 0,   // no proxy
    PROXY_USEPROXY = 1, // the named proxy, address ":" port
    PROXY_DEFAULT = 2,  // the system's settings (the standard proxy environment variables)
};

using TOnStatusCode = std::function<void(int StatusCode)>;
using TOnThreadHeadComplete = std::function<void(THTTPGetThread *Sender, const std::string &Head, int StatusCode,
                                                 const std::string &ContentType, int ContentLength, bool &GetData)>;
using TOnThreadProgress = std::function<void(THTTPGetThread *Sender, uint32_t BytesRead)>;
using TOnRefreshTimeOut = std::function<void()>;
using TOnThreadDataComplete = std::function<void(std::string &DataString)>;
using TOnThreadEnd = std::function<void(platform::TThread *Sender)>;

class THTTPGetThread : public platform::TThread {
public:
    // Size of the buffer for header queries and option values, and the size offered to each
    // query (the rest keeps room for the terminating zero).
    static constexpr uint32_t kQueryBufferSize = 1026;
    static constexpr uint32_t kQueryOffered = 1024;
    // The raw head must fit this many bytes (its zero included).
    static constexpr uint32_t kHeadOffered = 2048;
    // A page body larger than this fails the fetch instead of exhausting memory.
    static constexpr uint32_t kMaxBodyBytes = 64u << 20;

    // Created suspended and freeing itself when it ends; the owner resumes it. `url` belongs
    // to the owner, which keeps it alive for the life of the thread.
    THTTPGetThread(const TCrackUrl &url, const std::string &agent, TGetAction getAction, const std::string &referer,
                   const std::string &userName, const std::string &password, TProxyType proxyType,
                   const std::string &proxyAddress, int32_t proxyPort, const std::string &proxyUser,
                   const std::string &proxyPassword, TOnThreadDataComplete onThreadDataComplete,
                   TOnThreadProgress onThreadProgress, TOnThreadHeadComplete onThreadHeadComplete,
                   TOnStatusCode onStatusCode, TOnThreadEnd onTerminate, TOnRefreshTimeOut onRefreshTimeOut);

    // Closes the request, connect and Internet handles that are open, each exactly once even
    // when the worker and the owner call this at the same moment. Called from the main thread
    // (after Terminate) it breaks a blocked network call.
    void CloseHandles();

    const TCrackUrl &Url;
    std::string Agent;
    bool GetData = true;
    std::string Referer;
    std::string UserName, Password;
    std::string DataString;
    bool Succeeded = false;
    bool Aborted = false;
    int32_t ContentLength = 0;
    int32_t StatusCode = 0;
    std::string Head;
    std::string ContentType;
    TOnThreadHeadComplete OnThreadHeadComplete;
    TOnThreadProgress OnThreadProgress;
    TOnThreadDataComplete OnThreadDataComplete;
    TOnStatusCode OnStatusCode;
    TOnRefreshTimeOut OnRefreshTimeOut;
    bool KeepData = false;
    char QueryBuffer[kQueryBufferSize] = {};
    TProxyType ProxyType = PROXY_DEFAULT;
    std::string ProxyAddress;
    int32_t ProxyPort = 80;
    std::string ProxyUser, ProxyPassword;
    std::atomic<platform::inet::HINTERNET> InternetHandle{0};
    std::atomic<platform::inet::HINTERNET> ConnectHandle{0};
    std::atomic<platform::inet::HINTERNET> RequestHandle{0};
    uint32_t BytesRead = 0;
    uint32_t ChunkBytes = 0;

protected:
    void Execute() override;

private:
    // The reports to the owner, each run on the main thread. They return false when the main
    // thread will not run calls any more; the fetch then ends as terminated.
    bool RaiseStatusCode();
    bool RaiseHeadComplete();
    bool RaiseProgress();
    bool RaiseRefreshTimeOut();
    bool RaiseDataComplete();
    bool Sync(const std::function<void()> &call);

    // The fetch steps up to the body; false means the fetch failed.
    bool OpenAndSend();
    bool SetCredentialOption(int option, const std::string &value);
    bool ReadHead();
    bool ReadBody();
};
