#pragma once
// The widget application the programs use: an exception that escapes any event handler is
// shown in a standard error box (on stderr when there is no display to show it on) and the
// event loop goes on.

#include "platform/coreapp.h"

#include <QApplication>

namespace platform {

class TApplication : public QApplication {
    Q_OBJECT
public:
    // A non-empty `title` becomes the application's display name (window and box titles).
    TApplication(int &argc, char **argv, const QString &title = QString());

    bool notify(QObject *receiver, QEvent *event) override;

    [[nodiscard]] QString Title() const;

    // Replaces how escaped exceptions are reported; an empty function restores the default
    // (ReportInErrorBox). A seam for tests.
    void SetReporter(ExceptionReporter reporter);
    [[nodiscard]] const ExceptionReporter &Reporter() const { return reporter_; }

    // True when error boxes can be seen: a real display, not the offscreen or minimal platform.
    [[nodiscard]] static bool HasDisplay();

    // The default report: QMessageBox::critical when there is a display, stderr otherwise.
    static void ReportInErrorBox(const QString &title, const QString &message);

private:
    ExceptionReporter reporter_;
};

// How the running application reports an escaped error: its reporter, or ReportInErrorBox
// when it has none or is not a TApplication.
[[nodiscard]] ExceptionReporter CurrentReporter();
// The running TApplication's title, or `fallback`.
[[nodiscard]] QString CurrentTitle(const QString &fallback);


} // namespace platform
