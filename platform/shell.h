#pragma once
// Starting programs and finding the user's folders, the way the programs use the shell:
// a start never waits for the started program, and the suite's programs find each other in
// the folder of the running executable.

#include <QString>
#include <QStringList>

namespace platform {

// Starts `program` (a path, or a name looked up in PATH) with `args`, detached: it runs on
// after this process ends. False when it could not be started.
[[nodiscard]] bool StartDetached(const QString &program, const QStringList &args);

// The folder that holds the running executable.
[[nodiscard]] QString ExecutableFolder();

// The path of `name` in `folder` (by default next to the running executable), e.g. "renovo"
// next to "trawlix".
[[nodiscard]] QString SiblingExecutable(const QString &name, const QString &folder = ExecutableFolder());

// Starts the sibling `name` with `args`, detached. False, without any message, when there is
// no executable file of that name or it cannot be started.
[[nodiscard]] bool StartSibling(const QString &name, const QStringList &args,
                                const QString &folder = ExecutableFolder());

// The user's documents folder, created when missing. Empty when it cannot be found or made.
[[nodiscard]] QString DocumentsFolder();

} // namespace platform
