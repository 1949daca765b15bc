#include "platform/coreapp.h"
#include "platform/thread.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// A thread whose body is a function; counts its destructions.
class BodyThread : public platform::TThread {
public:
    using Body = std::function<void(BodyThread &)>;
    BodyThread(bool createSuspended, Body body, std::atomic<int> *destructions = nullptr)
        : TThread(createSuspended), body_(std::move(body)), destructions_(destructions)
    {
    }
    ~BodyThread() override
    {
        if (destructions_)
            ++*destructions_;
    }
    using TThread::Synchronize;

protected:
    void Execute() override { body_(*this); }

private:
    Body body_;
    std::atomic<int> *destructions_;
};

// Serves the main thread's events until `done` holds.
void serveEventsUntil(const std::function<bool()> &done)
{
    while (!done()) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(1ms);
    }
}

// Waits without serving events, as a main thread busy elsewhere would.
void waitWithoutEventsUntil(const std::function<bool()> &done)
{
    while (!done())
        std::this_thread::sleep_for(1ms);
}

TEST(Thread, SuspendedThreadRunsOnlyAfterResume)
{
    std::atomic<bool> ran{false};
    std::atomic<std::thread::id> bodyThread{};
    BodyThread thread(true, [&ran, &bodyThread](BodyThread &) {
        bodyThread = std::this_thread::get_id();
        ran = true;
    });
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(ran);
    EXPECT_FALSE(thread.Finished());
    EXPECT_THROW(thread.WaitFor(), std::logic_error) << "waiting for a never resumed thread would hang";

    thread.Resume();
    thread.Resume(); // a second Resume changes nothing
    thread.WaitFor();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(thread.Finished());
    EXPECT_NE(bodyThread.load(), std::this_thread::get_id());
}

// The subclass's constructor body sets a member the body reads. A thread started by the base
// constructor would run Execute before (or while) the subclass is constructed.
class ReadsMemberSetInConstructor : public platform::TThread {
public:
    explicit ReadsMemberSetInConstructor(std::atomic<bool> &startedEarly) : TThread(false)
    {
        std::this_thread::sleep_for(20ms); // gives a wrongly started thread time to show
        startedEarly = executing_.load();
        value_ = 42;
    }
    std::atomic<bool> executing_{false};
    int value_ = 0;
    int seen_ = -1;

protected:
    void Execute() override
    {
        executing_ = true;
        seen_ = value_;
    }
};

TEST(Thread, CreatedRunningStartsOnlyAfterTheConstructor)
{
    std::atomic<bool> startedEarly{false};
    ReadsMemberSetInConstructor thread(startedEarly);
    EXPECT_FALSE(startedEarly);
    serveEventsUntil([&thread] { return thread.Finished(); });
    thread.WaitFor();
    EXPECT_EQ(thread.seen_, 42);
}

TEST(Thread, CreatedRunningStartsAtWaitForWithoutAnEventLoopTurn)
{
    std::atomic<bool> ran{false};
    BodyThread thread(false, [&ran](BodyThread &) { ran = true; });
    thread.WaitFor();
    EXPECT_TRUE(ran);
}

TEST(Thread, DeletedBeforeItsDeferredStartNeverRuns)
{
    std::atomic<bool> ran{false};
    std::atomic<int> destructions{0};
    {
        BodyThread thread(false, [&ran](BodyThread &) { ran = true; }, &destructions);
    }
    // The queued start is served now and must find the object gone.
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(ran);
    EXPECT_EQ(destructions, 1);
}

TEST(Thread, WorkerSeesTerminateFlag)
{
    std::atomic<bool> looping{false};
    std::atomic<long> rounds{0};
    BodyThread thread(true, [&looping, &rounds](BodyThread &self) {
        looping = true;
        while (!self.Terminated())
            ++rounds;
    });
    thread.Resume();
    waitWithoutEventsUntil([&looping] { return looping.load(); });
    EXPECT_FALSE(thread.Terminated());
    thread.Terminate();
    EXPECT_TRUE(thread.Terminated());
    thread.WaitFor();
    EXPECT_TRUE(thread.Finished());
}

TEST(Thread, SynchronizeRunsTheCallOnTheMainThreadAndReturnsItsEffect)
{
    const std::thread::id mainThread = std::this_thread::get_id();
    int servedOnMain = 0; // touched only on the main thread
    std::atomic<int> result{0};
    std::atomic<bool> callRanOnMain{false};
    BodyThread thread(true, [&](BodyThread &self) {
        int value = 0;
        self.Synchronize([&value, &servedOnMain, &callRanOnMain, mainThread] {
            callRanOnMain = std::this_thread::get_id() == mainThread;
            ++servedOnMain;
            value = 21;
        });
        // The call has run by the time Synchronize returns.
        result = value * 2;
    });
    thread.Resume();
    thread.WaitFor();
    EXPECT_TRUE(callRanOnMain);
    EXPECT_EQ(servedOnMain, 1);
    EXPECT_EQ(result, 42);
}

TEST(Thread, SynchronizeOnTheMainThreadRunsAtOnce)
{
    BodyThread thread(true, [](BodyThread &) {});
    bool ran = false;
    thread.Synchronize([&ran] { ran = true; }); // no event is served in between
    EXPECT_TRUE(ran);
    EXPECT_THROW(thread.Synchronize([] { throw std::runtime_error("direct"); }), std::runtime_error);
    thread.Synchronize({}); // an empty call is skipped
}

TEST(Thread, ExceptionInASynchronizedCallIsRethrownInTheWorker)
{
    std::string caught;
    std::atomic<bool> secondCallRan{false};
    BodyThread thread(true, [&caught, &secondCallRan](BodyThread &self) {
        try {
            self.Synchronize([] { throw std::runtime_error("handler failed"); });
        } catch (const std::runtime_error &e) {
            caught = e.what();
        }
        self.Synchronize([&secondCallRan] { secondCallRan = true; });
    });
    thread.Resume();
    thread.WaitFor();
    EXPECT_EQ(caught, "handler failed");
    EXPECT_TRUE(secondCallRan) << "the worker's next call must still be served";
    EXPECT_FALSE(thread.Terminated());
}

TEST(Thread, ExceptionEscapingExecuteIsKeptAndTheEndIsStillReported)
{
    bool ended = false;
    BodyThread thread(true, [](BodyThread &) { throw std::runtime_error("body failed"); });
    thread.OnTerminate = [&ended](platform::TThread *) { ended = true; };
    thread.Resume();
    thread.WaitFor();
    EXPECT_TRUE(ended);
    ASSERT_TRUE(thread.FatalException());
    EXPECT_THROW(std::rethrow_exception(thread.FatalException()), std::runtime_error);
}

TEST(Thread, OnTerminateIsRaisedOnTheMainThreadAfterExecute)
{
    const std::thread::id mainThread = std::this_thread::get_id();
    std::atomic<bool> executeReturned{false};
    BodyThread thread(true, [&executeReturned](BodyThread &) { executeReturned = true; });
    int raised = 0;
    bool onMain = false, afterExecute = false, finishedThen = false;
    platform::TThread *sender = nullptr;
    thread.OnTerminate = [&](platform::TThread *s) {
        ++raised;
        onMain = std::this_thread::get_id() == mainThread;
        afterExecute = executeReturned;
        finishedThen = s->Finished();
        sender = s;
    };
    thread.Resume();
    thread.WaitFor(); // returns after OnTerminate
    EXPECT_EQ(raised, 1);
    EXPECT_TRUE(onMain);
    EXPECT_TRUE(afterExecute);
    EXPECT_TRUE(finishedThen);
    EXPECT_EQ(sender, &thread);
    // Nothing else is pending for it.
    QCoreApplication::processEvents();
    EXPECT_EQ(raised, 1);
}

TEST(Thread, OnTerminateMayDeleteItsSender)
{
    std::atomic<int> destructions{0};
    auto *thread = new BodyThread(true, [](BodyThread &) {}, &destructions);
    thread->OnTerminate = [](platform::TThread *sender) { delete sender; };
    thread->Resume();
    serveEventsUntil([&destructions] { return destructions == 1; });
    QCoreApplication::processEvents();
    EXPECT_EQ(destructions, 1);
}

TEST(Thread, FreeOnTerminateDeletesTheObjectOnTheMainThreadAfterTheNotice)
{
    const std::thread::id mainThread = std::this_thread::get_id();
    std::atomic<int> destructions{0};
    std::atomic<bool> deletedOnMain{false};
    struct Counted : BodyThread {
        using BodyThread::BodyThread;
        std::atomic<bool> *deletedOnMain = nullptr;
        std::thread::id mainThread;
        ~Counted() override { *deletedOnMain = std::this_thread::get_id() == mainThread; }
    };
    auto *thread = new Counted(true, [](BodyThread &) {}, &destructions);
    thread->deletedOnMain = &deletedOnMain;
    thread->mainThread = mainThread;
    thread->SetFreeOnTerminate(true);
    EXPECT_TRUE(thread->FreeOnTerminate());
    EXPECT_THROW(thread->WaitFor(), std::logic_error) << "the object would be gone when WaitFor returns";
    int destructionsAtNotice = -1;
    thread->OnTerminate = [&destructionsAtNotice, &destructions](platform::TThread *) {
        destructionsAtNotice = destructions;
    };
    thread->Resume();
    serveEventsUntil([&destructions] { return destructions > 0; });
    EXPECT_EQ(destructionsAtNotice, 0) << "OnTerminate comes before the object is freed";
    EXPECT_TRUE(deletedOnMain);
    QCoreApplication::processEvents();
    EXPECT_EQ(destructions, 1);
}

TEST(Thread, FreeOnTerminateObjectIsFreedEvenWhenOnTerminateThrows)
{
    auto *app = qobject_cast<platform::TCoreApplication *>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    const platform::ExceptionReporter previous = app->Reporter();
    QStringList reports;
    app->SetReporter([&reports](const QString &, const QString &message) { reports << message; });

    std::atomic<int> destructions{0};
    auto *thread = new BodyThread(true, [](BodyThread &) {}, &destructions);
    thread->SetFreeOnTerminate(true);
    thread->OnTerminate = [](platform::TThread *) { throw std::runtime_error("end handler failed"); };
    thread->Resume();
    serveEventsUntil([&destructions] { return destructions > 0; });
    app->SetReporter(previous);
    EXPECT_EQ(reports, QStringList{"end handler failed"});
}

TEST(Thread, ManyThreadsSynchronizingAtOnceAreEachServed)
{
    constexpr int threads = 16;
    constexpr int callsEach = 50;
    const std::thread::id mainThread = std::this_thread::get_id();
    int total = 0; // main thread only: a call served elsewhere would race here under ASan/TSan
    std::atomic<int> offMain{0};
    std::vector<std::unique_ptr<BodyThread>> workers;
    for (int i = 0; i < threads; ++i) {
        workers.push_back(std::make_unique<BodyThread>(true, [&total, &offMain, mainThread](BodyThread &self) {
            for (int call = 0; call < callsEach; ++call) {
                int seen = -1;
                self.Synchronize([&total, &offMain, &seen, mainThread] {
                    if (std::this_thread::get_id() != mainThread)
                        ++offMain;
                    seen = ++total;
                });
                if (seen <= 0)
                    throw std::logic_error("call did not run");
            }
        }));
    }
    for (auto &worker : workers)
        worker->Resume();
    for (auto &worker : workers) {
        worker->WaitFor();
        EXPECT_FALSE(worker->FatalException());
    }
    EXPECT_EQ(total, threads * callsEach);
    EXPECT_EQ(offMain, 0);
}

// The wind-down the crawler does: the worker keeps reporting through Synchronize until it is
// told to stop; the main thread, busy elsewhere until then (serving no events), sets the flag
// and waits. A wait that served no events would never return.
TEST(Thread, WorkerBlockedInSynchronizeDoesNotDeadlockAMainThreadWindingDownWithWaitFor)
{
    std::atomic<bool> reporting{false};
    int served = 0;
    BodyThread thread(true, [&reporting, &served](BodyThread &self) {
        while (!self.Terminated()) {
            reporting = true;
            self.Synchronize([&served] { ++served; });
        }
    });
    bool ended = false;
    thread.OnTerminate = [&ended](platform::TThread *) { ended = true; };
    thread.Resume();
    waitWithoutEventsUntil([&reporting] { return reporting.load(); });
    std::this_thread::sleep_for(20ms); // the worker is now blocked in Synchronize
    EXPECT_EQ(served, 0);
    thread.Terminate();
    thread.WaitFor();
    EXPECT_TRUE(thread.Finished());
    EXPECT_TRUE(ended);
    EXPECT_GE(served, 1) << "the blocked call was served while waiting";
}

// The same with self-freeing threads, wound down the way their owners do it: set the flag,
// then serve events until every end has been reported.
TEST(Thread, FreeOnTerminateWorkersInSynchronizeWindDownByServingEvents)
{
    constexpr int count = 8;
    std::atomic<int> reporting{0};
    std::atomic<int> destructions{0};
    int ended = 0;
    std::vector<BodyThread *> workers;
    for (int i = 0; i < count; ++i) {
        auto *worker = new BodyThread(true, [&reporting](BodyThread &self) {
            bool counted = false;
            while (!self.Terminated()) {
                if (!counted) {
                    ++reporting;
                    counted = true;
                }
                self.Synchronize([] {});
            }
        }, &destructions);
        worker->SetFreeOnTerminate(true);
        worker->OnTerminate = [&ended](platform::TThread *) { ++ended; };
        workers.push_back(worker);
    }
    for (BodyThread *worker : workers)
        worker->Resume();
    waitWithoutEventsUntil([&reporting] { return reporting == count; });
    for (BodyThread *worker : workers)
        worker->Terminate(); // the owner still holds them: none can have ended yet
    workers.clear();
    serveEventsUntil([&ended] { return ended == count; });
    serveEventsUntil([&destructions] { return destructions == count; });
}

// A subclass with no state of its own, so its body may outlive the subclass's destructor.
std::atomic<bool> g_statelessReporting{false};
class StatelessReporter : public platform::TThread {
public:
    StatelessReporter() : TThread(true) {}

protected:
    void Execute() override
    {
        while (!Terminated()) {
            g_statelessReporting = true;
            Synchronize([] {});
        }
    }
};

TEST(Thread, DeletingARunningThreadStopsItEvenWhileItWaitsInSynchronize)
{
    auto thread = std::make_unique<StatelessReporter>();
    thread->Resume();
    waitWithoutEventsUntil([] { return g_statelessReporting.load(); });
    thread.reset(); // sets the flag and serves the pending call instead of deadlocking
    SUCCEED();
}

TEST(Thread, WaitForFromAnotherThreadWaitsForTheEnd)
{
    std::atomic<bool> release{false};
    BodyThread worker(true, [&release](BodyThread &) { waitWithoutEventsUntil([&release] { return release.load(); }); });
    worker.Resume();
    std::atomic<bool> waited{false};
    BodyThread waiter(true, [&worker, &waited](BodyThread &) {
        worker.WaitFor();
        waited = worker.Finished();
    });
    waiter.Resume();
    std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(waited);
    release = true;
    waiter.WaitFor();
    EXPECT_TRUE(waited);
    worker.WaitFor();
}

} // namespace
