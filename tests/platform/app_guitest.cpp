#include "platform/gui/app.h"

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <stdexcept>

namespace {

class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        app = qobject_cast<platform::TApplication *>(QCoreApplication::instance());
        ASSERT_NE(app, nullptr) << "the widget test main creates a TApplication";
        previous = app->Reporter();
        app->SetReporter([this](const QString &title, const QString &message) {
            titles << title;
            messages << message;
        });
    }
    void TearDown() override
    {
        if (app)
            app->SetReporter(previous);
    }

    platform::TApplication *app = nullptr;
    platform::ExceptionReporter previous;
    QStringList titles;
    QStringList messages;
};

TEST_F(ApplicationTest, ExceptionsFromTimersQueuedCallsAndWidgetHandlersAreReportedAndTheLoopGoesOn)
{
    QPushButton button("Go");
    QObject::connect(&button, &QPushButton::clicked, [] { throw std::runtime_error("button handler"); });

    QEventLoop loop;
    bool lastFired = false;
    QTimer::singleShot(0, app, [] { throw std::runtime_error("timer handler"); });
    QMetaObject::invokeMethod(app, [] { throw 7; }, Qt::QueuedConnection);
    QTimer::singleShot(0, &button, [&button] { button.click(); });
    QTimer::singleShot(1, &loop, [&loop, &lastFired] {
        lastFired = true;
        loop.quit();
    });
    loop.exec();

    EXPECT_TRUE(lastFired);
    EXPECT_EQ(messages, (QStringList{"timer handler", "An unknown error occurred.", "button handler"}));
    EXPECT_EQ(titles, QStringList(3, app->Title()));
}

TEST_F(ApplicationTest, OffscreenHasNoDisplaySoTheDefaultReportGoesToStderr)
{
    EXPECT_FALSE(platform::TApplication::HasDisplay()); // a box here would block the test forever
    app->SetReporter({});
    ::testing::internal::CaptureStderr();
    QEventLoop loop;
    QTimer::singleShot(0, app, [] { throw std::runtime_error("shown without a display"); });
    QTimer::singleShot(1, &loop, &QEventLoop::quit);
    loop.exec();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(app->Title().toStdString() + ": shown without a display"), std::string::npos) << err;
}

TEST_F(ApplicationTest, TitleIsTheDisplayName)
{
    EXPECT_EQ(app->Title(), QGuiApplication::applicationDisplayName());
    EXPECT_FALSE(app->Title().isEmpty());
}

} // namespace
