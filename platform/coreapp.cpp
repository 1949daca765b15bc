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

bool DeliverReportingExceptions(const std::function<bool()> &deliver, const ExceptionReporter &report,
                                const QString &title)
{
    try {
        return deliver();
    } catch (...) {
        const QString message = ExceptionMessage(std::current_exception());
        try {
            if (report)
                report(title, message);
            else
                ReportOnStderr(title, message);
        } catch (...) {
            ReportOnStderr(title, message);
            ReportOnStderr(title, QStringLiteral("reporting that error failed: ") +
                                      ExceptionMessage(std::current_exception()));
        }
        return false;
    }
}

TCoreApplication::TCoreApplication(int &argc, char **argv, const QString &title)
    : QCoreApplication(argc, argv), title_(title)
{
}

bool TCoreApplication::notify(QObject *receiver, QEvent *event)
{
    return DeliverReportingExceptions([&] { return QCoreApplication::notify(receiver, event); },
                                      reporter_, Title());
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
