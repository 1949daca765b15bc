#pragma once
// A worker thread with the operations the programs rely on: create suspended or running,
// Resume, a terminate flag, free-on-terminate, Synchronize (run a call on the main thread and
// wait for it) and an end-of-thread notification raised on the main thread.
//
// The main thread is the thread of the QCoreApplication. The rules for winding down:
//  - A worker inside Synchronize waits until the main thread has run its call, so the main
//    thread must never block on a worker without serving events. WaitFor() on the main thread
//    keeps processing events while it waits; owners of free-on-terminate threads set the
//    terminate flag and keep processing events until OnTerminate has been raised.
//  - Once the application can no longer serve calls, Synchronize does not run its call: the
//    worker gets ESynchronizeCancelled and its terminate flag is set. That happens when there
//    is no application, when the application object is destroyed (calls still queued are
//    cancelled then), and when the application's exec() has returned (after aboutToQuit) and
//    the call would be served outside any event loop, e.g. by a WaitFor during clean-up, when
//    the windows it may touch are being freed. A later event loop serves calls again.
//  - OnTerminate is still raised when the end notice is served after exec() has returned (it
//    is how owners learn that a worker is gone). If the application is destroyed before the
//    notice is served, OnTerminate is not raised; a free-on-terminate object is still freed.

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>

namespace platform {

// Thrown by Synchronize in a worker when the main thread will not run the call (see above).
class ESynchronizeCancelled : public std::runtime_error {
public:
    ESynchronizeCancelled();
};

class TThread {
public:
    // A thread created running starts once control is back in the main event loop (or at the
    // first Resume or WaitFor), never inside the constructor: Execute is virtual and the
    // subclass's constructor has not run yet at that point.
    explicit TThread(bool createSuspended);
    TThread(const TThread &) = delete;
    TThread &operator=(const TThread &) = delete;

    // Must not be reached while Execute still runs with the subclass already destroyed: a
    // subclass that may be deleted while running calls Terminate() and WaitFor() in its own
    // destructor. If the thread still runs here, this sets the terminate flag and waits
    // (serving events on the main thread).
    virtual ~TThread();

    // Starts a thread that was created suspended (or whose deferred start is still pending).
    // Does nothing once the thread has started.
    void Resume();

    // Asks Execute to stop; Execute polls Terminated().
    void Terminate() noexcept;
    [[nodiscard]] bool Terminated() const noexcept;

    // With this set, the object deletes itself on the main thread after the end notice. Set it
    // before the thread starts; after that, nobody may touch the object once it has started.
    void SetFreeOnTerminate(bool value) noexcept;
    [[nodiscard]] bool FreeOnTerminate() const noexcept;

    // Runs `call` on the main thread and waits until it has run. On the main thread itself the
    // call runs at once. An exception thrown by the call is rethrown here. Throws
    // ESynchronizeCancelled when the call was not run (see the rules above).
    void Synchronize(std::function<void()> call);

    // Waits until Execute has returned. On the main thread it keeps processing events (so a
    // worker inside Synchronize is served) and returns after OnTerminate has been raised.
    // Throws std::logic_error for a free-on-terminate thread (the object would be gone when
    // this returns) and for a suspended thread that was never resumed (it would wait forever).
    void WaitFor();

    // True once Execute has returned.
    [[nodiscard]] bool Finished() const;

    // The exception that escaped Execute, if any. Read it after the thread has finished.
    [[nodiscard]] std::exception_ptr FatalException() const;

    // Raised on the main thread after Execute has returned, with this thread as the sender.
    // Set it before the thread starts.
    std::function<void(TThread *sender)> OnTerminate;

protected:
    // The thread's body. Runs once on the worker thread.
    virtual void Execute() = 0;

private:
    struct Control;

    void Start();
    static void Run(std::shared_ptr<Control> control);
    static void EndOnMain(const std::shared_ptr<Control> &control);
    static void EndWithoutApplication(const std::shared_ptr<Control> &control);
    void WaitUntilFinished();

    std::shared_ptr<Control> control_;
    std::thread thread_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> freeOnTerminate_{false};
    std::exception_ptr fatalException_;
};

} // namespace platform
