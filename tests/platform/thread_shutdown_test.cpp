// What Synchronize does while the application winds down: after exec() has returned, and
// once the application object is gone. A worker must never hang there, and no call may run
// when the main thread can no longer serve it safely.
#include "platform/thread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace {

using namespace std::chrono_literals;

class BodyThread : public platform::TThread {
public:
    using Body = std::function<void(BodyThread &)>;
    BodyThread(Body body, std::atomic<int> *destructions = nullptr)
        : TThread(true), body_(std::move(body)), destructions_(destructions)
    {
    }
    ~BodyThread() override
    {
        if (destructions_)
            ++*destructions_;
    }

protected:
    void Execute() override { body_(*this); }

private:
    Body body_;
    std::atomic<int> *destructions_;
};

void waitWithoutEventsUntil(const std::function<bool()> &done)
{
    while (!done())
        std::this_thread::sleep_for(1ms);
}

// What one worker saw of its single Synchronize call.
struct SyncOutcome {
    std::atomic<bool> callRan{false};
    std::atomic<bool> cancelled{false};
    std::atomic<bool> terminatedAfter{false};
};

// A worker that waits for `go`, then makes one synchronized call.
BodyThread *syncOnceWhen(std::atomic<bool> &go, SyncOutcome &outcome, std::atomic<int> *destructions = nullptr)
{
    return new BodyThread([&go, &outcome](BodyThread &self) {
        waitWithoutEventsUntil([&go] { return go.load(); });
        try {
            self.Synchronize([&outcome] { outcome.callRan = true; });
        } catch (const platform::ESynchronizeCancelled &) {
            outcome.cancelled = true;
        }
        outcome.terminatedAfter = self.Terminated();
    }, destructions);
}

void runApplicationLoopOnce()
{
    QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
}

TEST(ThreadShutdown, AfterExecReturnedCallsServedDuringCleanUpAreCancelledUntilALoopRunsAgain)
{
    runApplicationLoopOnce(); // emits aboutToQuit: the program is winding down

    std::atomic<bool> go{false};
    SyncOutcome late;
    std::unique_ptr<BodyThread> worker(syncOnceWhen(go, late));
    worker->Resume();
    go = true;
    worker->WaitFor(); // serves events outside any loop, as clean-up code after exec() does
    EXPECT_FALSE(late.callRan) << "a call served during clean-up may touch freed windows";
    EXPECT_TRUE(late.cancelled);
    EXPECT_TRUE(late.terminatedAfter) << "a cancelled call also asks the worker to stop";

    // An event loop that runs again serves calls again.
    std::atomic<bool> goAgain{false};
    SyncOutcome again;
    std::unique_ptr<BodyThread> second(syncOnceWhen(goAgain, again));
    QEventLoop loop;
    second->OnTerminate = [&loop](platform::TThread *) { loop.quit(); };
    second->Resume();
    goAgain = true;
    loop.exec();
    second->WaitFor();
    EXPECT_TRUE(again.callRan);
    EXPECT_FALSE(again.cancelled);
}

// The application object is destroyed while a worker waits in Synchronize, while another has
// ended with its end notice still queued, and before a third has even started. Run in a child
// process, as the application cannot come back afterwards.
TEST(ThreadShutdown, DestroyingTheApplicationCancelsWaitingCallsAndStillFreesSelfFreeingThreads)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::atomic<bool> go{false};
            SyncOutcome waiting;
            std::unique_ptr<BodyThread> blocked(syncOnceWhen(go, waiting));
            bool onTerminateRan = false;
            blocked->OnTerminate = [&onTerminateRan](platform::TThread *) { onTerminateRan = true; };

            std::atomic<int> freed{0};
            auto *endedEarly = new BodyThread([](BodyThread &) {}, &freed);
            endedEarly->SetFreeOnTerminate(true);

            std::atomic<bool> goLate{false};
            SyncOutcome late;
            BodyThread *startedLate = syncOnceWhen(goLate, late, &freed);
            startedLate->SetFreeOnTerminate(true);

            blocked->Resume();
            go = true;
            endedEarly->Resume();
            // No event is served until the application is gone, so `endedEarly` is not freed yet.
            waitWithoutEventsUntil([endedEarly] { return endedEarly->Finished(); });
            std::this_thread::sleep_for(50ms); // `blocked` waits in Synchronize, `endedEarly` has ended

            QCoreApplication *app = QCoreApplication::instance();
            app->~QCoreApplication(); // the stack object is never destroyed again: we _exit below

            int failures = 0;
            blocked->WaitFor(); // no application left: waits without serving events
            failures += waiting.callRan ? 1 : 0;
            failures += waiting.cancelled ? 0 : 2;
            failures += onTerminateRan ? 4 : 0;
            failures += freed >= 1 ? 0 : 8; // endedEarly's queued notice was dropped and freed it

            startedLate->Resume();
            goLate = true;
            waitWithoutEventsUntil([&freed] { return freed == 2; }); // freed by its own worker
            failures += late.callRan ? 16 : 0;
            failures += late.cancelled ? 0 : 32;
            blocked.reset();
            ::_exit(failures);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
