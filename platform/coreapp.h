#pragma once
// The application objects the programs use. An exception that escapes any event handler (a
// slot, a timer, a queued call) ends only that handler: its message is reported and the
// event loop goes on. This module holds the reporting shared by the console application
// below and the widget application in platform/gui/app.h.

#include <QCoreApplication>
#include <QString>

#include <exception>
#include <functional>

namespace platform {

// Receives the application title and the message of an exception that escaped a handler.
using ExceptionReporter = std::function<void(const QString &title, const QString &message)>;

// The message shown for a caught exception: what() of a std::exception, a fixed text for
// anything else.
[[nodiscard]] QString ExceptionMessage(std::exception_ptr error);

// Writes "title: message" as one line to stderr.
void ReportOnStderr(const QString &title, const QString &message);

// Reports an exception caught in notify(): its message goes to `report` (stderr when that is
// empty). A reporter that throws itself must not end the event loop either: that failure
// goes to stderr.
void ReportEscapedException(std::exception_ptr error, const ExceptionReporter &report, const QString &title);

class TCoreApplication : public QCoreApplication {
    Q_OBJECT
public:
    // `title` names the program in reports; when empty, the application name is used.
    TCoreApplication(int &argc, char **argv, const QString &title = QString());

    bool notify(QObject *receiver, QEvent *event) override;

    [[nodiscard]] QString Title() const;

    // Replaces how escaped exceptions are reported (stderr by default); an empty function
    // restores the default. A seam for tests.
    void SetReporter(ExceptionReporter reporter);
    [[nodiscard]] const ExceptionReporter &Reporter() const { return reporter_; }

private:
    QString title_;
    ExceptionReporter reporter_;
};

} // namespace platform
