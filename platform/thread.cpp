#include "platform/thread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>

#include <condition_variable>
#include <mutex>
#include <utility>

namespace platform {
namespace {

// A call posted to the main thread. Exactly one of its two parts runs: `run` when the main
// thread serves it, `dropped` when it is destroyed unserved (never posted because there was
// no application, or discarded with the application's queued events when it is destroyed).
class Delivery {
public:
    Delivery(std::function<void()> run, std::function<void()> dropped)
        : run_(std::move(run)), dropped_(std::move(dropped))
    {
    }
    Delivery(Delivery &&other) noexcept
        : run_(std::exchange(other.run_, {})), dropped_(std::exchange(other.dropped_, {}))
    {
    }
    Delivery(const Delivery &) = delete;
    Delivery &operator=(const Delivery &) = delete;
    Delivery &operator=(Delivery &&) = delete;
    ~Delivery()
    {
        if (dropped_)
            dropped_();
    }

    void operator()()
    {
        dropped_ = nullptr;
        if (auto run = std::exchange(run_, {}))
            run();
    }

private:
    std::function<void()> run_;
    std::function<void()> dropped_;
};

// The way to the main thread. It follows the lifetime of the QCoreApplication: attached when
// an application is constructed, detached when it is destroyed, so no call is posted to an
// application that is gone.
class MainGate {
public:
    static MainGate &instance()
    {
        static MainGate gate;
        return gate;
    }

    // Called on the application's thread while the application is being constructed.
    void attach(QCoreApplication *app)
    {
        {
            std::lock_guard lock(mutex_);
            if (app_ == app)
                return;
            app_ = app;
            mainThread_ = std::this_thread::get_id();
            loopEnded_ = false;
        }
        QObject::connect(app, &QObject::destroyed, [this] { detach(); });
        QObject::connect(app, &QCoreApplication::aboutToQuit, [this] { loopEnded_ = true; });
    }

    // Attaches to an application created before this module was set up.
    void attachIfMissing()
    {
        QCoreApplication *app = QCoreApplication::instance();
        if (app && QThread::currentThread() == app->thread()) {
            bool missing;
            {
                std::lock_guard lock(mutex_);
                missing = app_ == nullptr;
            }
            if (missing)
                attach(app);
        }
    }

    [[nodiscard]] bool onMainThread() const { return std::this_thread::get_id() == mainThread_.load(); }

    [[nodiscard]] bool hasApplication()
    {
        std::lock_guard lock(mutex_);
        return app_ != nullptr;
    }

    // Queues the delivery on the main thread; without an application it is dropped at once.
    void post(Delivery delivery)
    {
        std::unique_lock lock(mutex_);
        if (!app_)
            return; // `delivery` runs its dropped part as it goes out of scope, unlocked
        QMetaObject::invokeMethod(app_, std::move(delivery), Qt::QueuedConnection);
    }

    // Asked on the main thread before a synchronized call runs: after exec() has returned,
    // calls served outside any event loop (during clean-up) are refused. An event loop that
    // runs again serves them again.
    [[nodiscard]] bool refusesCalls()
    {
        if (!loopEnded_)
            return false;
        if (QThread::currentThread()->loopLevel() > 0) {
            loopEnded_ = false;
            return false;
        }
        return true;
    }

private:
    void detach()
    {
        std::lock_guard lock(mutex_);
        app_ = nullptr;
        loopEnded_ = false;
    }

    std::mutex mutex_;
    QCoreApplication *app_ = nullptr;
    std::atomic<std::thread::id> mainThread_{};
    std::atomic<bool> loopEnded_{false};
};

void attachToApplication()
{
    MainGate::instance().attach(QCoreApplication::instance());
}

// One Synchronize call from a worker, shared by the worker and the main thread.
struct SyncRequest {
    enum class State { Pending, Done, Cancelled };

    explicit SyncRequest(std::function<void()> c) : call(std::move(c)) {}

    void serve()
    {
        if (MainGate::instance().refusesCalls()) {
            cancel();
            return;
        }
        std::exception_ptr caught;
        try {
            call();
        } catch (...) {
            caught = std::current_exception();
        }
        finish(State::Done, caught);
    }

    void cancel() { finish(State::Cancelled, nullptr); }

    void finish(State outcome, std::exception_ptr caught)
    {
        {
            std::lock_guard lock(mutex);
            if (state != State::Pending)
                return;
            state = outcome;
            error = caught;
        }
        changed.notify_all();
    }

    State wait()
    {
        std::unique_lock lock(mutex);
        while (state == State::Pending)
            changed.wait(lock);
        return state;
    }

    std::function<void()> call;
    std::mutex mutex;
    std::condition_variable changed;
    State state = State::Pending;
    std::exception_ptr error;
};

} // namespace

Q_COREAPP_STARTUP_FUNCTION(attachToApplication)

ESynchronizeCancelled::ESynchronizeCancelled()
    : std::runtime_error("the main thread no longer runs synchronized calls")
{
}

struct TThread::Control {
    std::mutex mutex;
    std::condition_variable changed;
    TThread *self = nullptr; // null once the object is being destroyed
    bool startPending = false;
    bool started = false;
    bool finished = false;  // Execute has returned
    bool endServed = false; // the end notice has been handled (or given up without an application)
};

TThread::TThread(bool createSuspended) : control_(std::make_shared<Control>())
{
    MainGate::instance().attachIfMissing();
    control_->self = this;
    if (!createSuspended) {
        control_->startPending = true;
        // Started from the event loop, when the subclass is fully constructed. Without an
        // application the start waits for Resume or WaitFor.
        std::shared_ptr<Control> control = control_;
        MainGate::instance().post(Delivery(
            [control] {
                TThread *self;
                {
                    std::lock_guard lock(control->mutex);
                    self = control->startPending ? control->self : nullptr;
                }
                if (self)
                    self->Start();
            },
            {}));
    }
}

TThread::~TThread()
{
    bool running;
    {
        std::lock_guard lock(control_->mutex);
        control_->self = nullptr;
        running = control_->started && !control_->finished;
    }
    if (running) {
        Terminate();
        WaitUntilFinished();
    }
    std::thread worker;
    {
        std::lock_guard lock(control_->mutex);
        worker = std::move(thread_);
    }
    if (worker.joinable()) {
        // A free-on-terminate thread is deleted by its own worker when no application is left.
        if (worker.get_id() == std::this_thread::get_id())
            worker.detach();
        else
            worker.join();
    }
}

void TThread::Start()
{
    std::lock_guard lock(control_->mutex);
    if (control_->started)
        return;
    control_->started = true;
    control_->startPending = false;
    thread_ = std::thread(&TThread::Run, control_);
}

void TThread::Resume()
{
    Start();
}

void TThread::Terminate() noexcept
{
    terminated_ = true;
}

bool TThread::Terminated() const noexcept
{
    return terminated_;
}

void TThread::SetFreeOnTerminate(bool value) noexcept
{
    freeOnTerminate_ = value;
}

bool TThread::FreeOnTerminate() const noexcept
{
    return freeOnTerminate_;
}

bool TThread::Finished() const
{
    std::lock_guard lock(control_->mutex);
    return control_->finished;
}

std::exception_ptr TThread::FatalException() const
{
    std::lock_guard lock(control_->mutex);
    return fatalException_;
}

void TThread::Run(std::shared_ptr<Control> control)
{
    TThread *self;
    {
        std::lock_guard lock(control->mutex);
        self = control->self;
    }
    std::exception_ptr fatal;
    if (self) {
        try {
            self->Execute();
        } catch (...) {
            fatal = std::current_exception();
        }
    }
    {
        std::lock_guard lock(control->mutex);
        if (control->self)
            control->self->fatalException_ = fatal;
        control->finished = true;
    }
    control->changed.notify_all();
    // From here on the owner may delete a thread that is not free-on-terminate, so only the
    // shared control block is used.
    MainGate::instance().post(Delivery([control] { EndOnMain(control); },
                                       [control] { EndWithoutApplication(control); }));
}

void TThread::EndOnMain(const std::shared_ptr<Control> &control)
{
    TThread *self;
    std::thread worker;
    {
        std::lock_guard lock(control->mutex);
        self = control->self;
        if (self)
            worker = std::move(self->thread_);
    }
    // Whatever OnTerminate does (it may throw, or delete its sender), the end is recorded and
    // a free-on-terminate object is freed afterwards.
    struct Finish {
        const std::shared_ptr<Control> &control;
        ~Finish()
        {
            TThread *toFree = nullptr;
            {
                std::lock_guard lock(control->mutex);
                control->endServed = true;
                if (control->self && control->self->FreeOnTerminate())
                    toFree = control->self;
            }
            control->changed.notify_all();
            delete toFree;
        }
    } finish{control};

    if (worker.joinable())
        worker.join();
    if (self && self->OnTerminate) {
        // A copy: the handler may delete its sender, and with it the member.
        const auto handler = self->OnTerminate;
        handler(self);
    }
}

void TThread::EndWithoutApplication(const std::shared_ptr<Control> &control)
{
    TThread *toFree = nullptr;
    {
        std::lock_guard lock(control->mutex);
        control->endServed = true;
        if (control->self && control->self->FreeOnTerminate())
            toFree = control->self;
    }
    control->changed.notify_all();
    delete toFree;
}

void TThread::Synchronize(std::function<void()> call)
{
    if (!call)
        return;
    MainGate &gate = MainGate::instance();
    if (gate.onMainThread()) {
        call();
        return;
    }
    auto request = std::make_shared<SyncRequest>(std::move(call));
    gate.post(Delivery([request] { request->serve(); }, [request] { request->cancel(); }));
    if (request->wait() == SyncRequest::State::Cancelled) {
        Terminate();
        throw ESynchronizeCancelled();
    }
    if (request->error)
        std::rethrow_exception(request->error);
}

void TThread::WaitUntilFinished()
{
    MainGate &gate = MainGate::instance();
    std::unique_lock lock(control_->mutex);
    if (gate.onMainThread()) {
        // The worker may be inside Synchronize: serve events until it has finished.
        while (!control_->finished && gate.hasApplication()) {
            lock.unlock();
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            lock.lock();
        }
    }
    while (!control_->finished)
        control_->changed.wait(lock);
}

void TThread::WaitFor()
{
    if (FreeOnTerminate())
        throw std::logic_error("WaitFor on a free-on-terminate thread");
    {
        std::lock_guard lock(control_->mutex);
        if (!control_->started && !control_->startPending)
            throw std::logic_error("WaitFor on a suspended thread that was never resumed");
    }
    Start();

    MainGate &gate = MainGate::instance();
    if (!gate.onMainThread()) {
        WaitUntilFinished();
        return;
    }
    // On the main thread: serve events until the end notice has raised OnTerminate. Without
    // an application the notice is given up by the worker itself.
    std::unique_lock lock(control_->mutex);
    while (!control_->endServed) {
        if (gate.hasApplication()) {
            lock.unlock();
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            lock.lock();
        } else {
            control_->changed.wait(lock);
        }
    }
}

} // namespace platform
