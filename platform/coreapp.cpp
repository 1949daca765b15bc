#include "platform/coreapp.h"

#include <cstdio>
#include <utility>

namespace platform {

QString ExceptionMessage(std::exception_ptr error)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
    }
    return QStringLiteral("An unknown error occurred.");
}

void ReportOnStderr(const QString &title, const QString &message)
{
    const QByteArray line = (title.isEmpty() ? message : title + QStringLiteral(": ") + message).toLocal8Bit();
    std::fprintf(stderr, "%s\n", line.constData());
    std::fflush(stderr);
}

void ReportEscapedException(std::exception_ptr error, const ExceptionReporter &report, const QString &title)
{
    const QString message = ExceptionMessage(error);
    try {
        if (report)
            report(title, message);
        else
            ReportOnStderr(title, message);
    } catch (...) {
        ReportOnStderr(title, message);
        ReportOnStderr(title, QStringLiteral("reporting that error failed: ") + ExceptionMessage(std::current_exception()));
    }
}

TCoreApplication::TCoreApplication(int &argc, char **argv, const QString &title)
    : QCoreApplication(argc, argv), title_(title)
{
}

bool TCoreApplication::notify(QObject *receiver, QEvent *event)
{
    // Qt cannot unwind through its event loop, so every handler's exception ends here.
    try {
        return QCoreApplication::notify(receiver, event);
    } catch (...) {
        ReportEscapedException(std::current_exception(), reporter_, Title());
        return false;
    }
}

QString TCoreApplication::Title() const
{
    return title_.isEmpty() ? applicationName() : title_;
}

void TCoreApplication::SetReporter(ExceptionReporter reporter)
{
    reporter_ = std::move(reporter);
}

} // namespace platform
