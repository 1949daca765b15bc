#include "platform/coreapp.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace {

struct Report {
    QString title;
    QString message;
};

// Captures what the application reports while a test runs, then restores the test main's
// reporter.
class CoreApplicationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        app = qobject_cast<platform::TCoreApplication *>(QCoreApplication::instance());
        ASSERT_NE(app, nullptr) << "the test main creates a TCoreApplication";
        previous = app->Reporter();
        app->SetReporter([this](const QString &title, const QString &message) { reports.push_back({title, message}); });
    }
    void TearDown() override
    {
        if (app)
            app->SetReporter(previous);
    }

    platform::TCoreApplication *app = nullptr;
    platform::ExceptionReporter previous;
    std::vector<Report> reports;
};

// Ways a handler can be reached from the event loop.
struct Delivery {
    const char *name;
    std::function<void(std::function<void()>)> schedule;
};

const Delivery deliveries[] = {
    {"timer slot", [](std::function<void()> handler) { QTimer::singleShot(0, QCoreApplication::instance(), handler); }},
    {"queued call",
     [](std::function<void()> handler) {
         QMetaObject::invokeMethod(QCoreApplication::instance(), handler, Qt::QueuedConnection);
     }},
};

struct Thrown {
    const char *name;
    std::function<void()> raise;
    QString expectedMessage;
};

const Thrown throws[] = {
    {"runtime_error", [] { throw std::runtime_error("disk is full"); }, "disk is full"},
    {"logic_error", [] { throw std::out_of_range("index 7"); }, "index 7"},
    {"not a std::exception", [] { throw 42; }, "An unknown error occurred."},
};

TEST_F(CoreApplicationTest, ExceptionFromAHandlerIsReportedAndTheLoopGoesOn)
{
    for (const Delivery &delivery : deliveries) {
        for (const Thrown &thrown : throws) {
            SCOPED_TRACE(std::string(delivery.name) + " throwing " + thrown.name);
            reports.clear();
            QEventLoop loop;
            bool secondFired = false;
            delivery.schedule(thrown.raise);
            QTimer::singleShot(1, &loop, [&loop, &secondFired] {
                secondFired = true;
                loop.quit();
            });
            loop.exec(); // an exception escaping the loop fails the test
            EXPECT_TRUE(secondFired);
            ASSERT_EQ(reports.size(), 1u);
            EXPECT_EQ(reports[0].message, thrown.expectedMessage);
            EXPECT_EQ(reports[0].title, app->Title());
        }
    }
}

TEST_F(CoreApplicationTest, TitleDefaultsToTheApplicationName)
{
    EXPECT_EQ(app->Title(), QCoreApplication::applicationName());
    EXPECT_FALSE(app->Title().isEmpty());
}

TEST_F(CoreApplicationTest, EveryExceptionOfARepeatingTimerIsReported)
{
    QEventLoop loop;
    int fired = 0;
    QTimer repeating;
    QObject::connect(&repeating, &QTimer::timeout, [&fired, &loop] {
        if (++fired == 3)
            loop.quit();
        throw std::runtime_error("tick " + std::to_string(fired));
    });
    repeating.start(0);
    loop.exec();
    repeating.stop();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[2].message, "tick 3");
}

TEST(ExceptionReporting, ReporterThatThrowsFallsBackToStderr)
{
    ::testing::internal::CaptureStderr();
    platform::ReportEscapedException(std::make_exception_ptr(std::runtime_error("first")),
                                     [](const QString &, const QString &) { throw std::runtime_error("box failed"); },
                                     "Trawlix");
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Trawlix: first"), std::string::npos) << err;
    EXPECT_NE(err.find("box failed"), std::string::npos) << err;
}

TEST(ExceptionReporting, WithoutAReporterTheMessageGoesToStderr)
{
    ::testing::internal::CaptureStderr();
    platform::ReportEscapedException(std::make_exception_ptr(std::runtime_error("no reporter")), {}, "Glimmo");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Glimmo: no reporter\n");
}

TEST(ExceptionReporting, StderrLineNamesTheTitle)
{
    ::testing::internal::CaptureStderr();
    platform::ReportOnStderr("Renovo", "could not rename");
    platform::ReportOnStderr("", "no title");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Renovo: could not rename\nno title\n");
}

} // namespace
