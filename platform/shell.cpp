#include "platform/shell.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace platform {

bool StartDetached(const QString &program, const QStringList &args)
{
    if (program.isEmpty())
        return false;
    return QProcess::startDetached(program, args);
}

QString ExecutableFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    // Before the application object exists: the kernel's link to our own executable.
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

QString SiblingExecutable(const QString &name, const QString &folder)
{
    return QDir(folder).filePath(name);
}

bool StartSibling(const QString &name, const QStringList &args, const QString &folder)
{
    if (name.isEmpty())
        return false;
    const QFileInfo sibling(SiblingExecutable(name, folder));
    if (!sibling.isFile() || !sibling.isExecutable())
        return false;
    return StartDetached(sibling.absoluteFilePath(), args);
}

QString DocumentsFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder) || !QFileInfo(folder).isDir())
        return QString();
    return folder;
}

} // namespace platform
