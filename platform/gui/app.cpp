#include "platform/gui/app.h"

#include <QMessageBox>

#include <utility>

namespace platform {

TApplication::TApplication(int &argc, char **argv, const QString &title) : QApplication(argc, argv)
{
    if (!title.isEmpty())
        setApplicationDisplayName(title);
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportEscapedException(std::current_exception(), reporter_ ? reporter_ : ExceptionReporter(&ReportInErrorBox),
                               Title());
        return false;
    }
}

QString TApplication::Title() const
{
    return applicationDisplayName();
}

void TApplication::SetReporter(ExceptionReporter reporter)
{
    reporter_ = std::move(reporter);
}

bool TApplication::HasDisplay()
{
    const QString platform = QGuiApplication::platformName();
    return !platform.isEmpty() && platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

void TApplication::ReportInErrorBox(const QString &title, const QString &message)
{
    if (HasDisplay())
        QMessageBox::critical(nullptr, title, message);
    else
        ReportOnStderr(title, message);
}

ExceptionReporter CurrentReporter()
{
    const auto *app = qobject_cast<TApplication *>(QCoreApplication::instance());
    return app && app->Reporter() ? app->Reporter() : ExceptionReporter(&TApplication::ReportInErrorBox);
}

QString CurrentTitle(const QString &fallback)
{
    const auto *app = qobject_cast<TApplication *>(QCoreApplication::instance());
    return app ? app->Title() : fallback;
}

} // namespace platform
