#pragma once
// How Trawlix starts. A plain start (no argument, or any argument but the two below) only
// starts the updater, renovo, which checks for updates and then starts Trawlix again with
// "updateok"; "updateok" and "ie" (exactly so, case-sensitive) open the window, and "ie"
// also grabs the page shown in the running browser.
#include <QString>
#include <QStringList>

namespace trawlix {

// Whether `firstArgument` opens the window: "updateok" or "ie", compared whole and
// case-sensitively.
[[nodiscard]] bool IsNormalStart(const QString &firstArgument);

// Whether the window's start-up runs the browser import and search: the first argument
// contains "ie" anywhere (of the accepted arguments only "ie" does).
[[nodiscard]] bool WantsBrowserImport(const QStringList &arguments);

// The process: either starts renovo from the program's folder and returns 0 without any
// window, or runs the application with its main window and returns its exit code.
int ProgramEntry(int argc, char **argv);

} // namespace trawlix
