#include "platform/atomicfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

int closeKeepingErrno(int fd)
{
    const int saved = errno;
    const int rc = ::close(fd);
    errno = saved;
    return rc;
}

QString folderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        return QStringLiteral(".");
    if (slash == 0)
        return QStringLiteral("/");
    return path.left(slash);
}

} // namespace

FileResult FileResult::failure(int errorNumber, const QString &what, const QString &path)
{
    FileResult result;
    result.errorNumber = errorNumber != 0 ? errorNumber : EIO;
    result.message = QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(result.errorNumber)));
    return result;
}

FileResult WriteFileAtomically(const QString &path, QByteArrayView contents, mode_t mode)
{
    QByteArray tempName = encoded(path) + ".tmp-XXXXXX";
    const int fd = ::mkostemp(tempName.data(), O_CLOEXEC);
    if (fd < 0)
        return FileResult::failure(errno, QStringLiteral("cannot create a temporary file next to"), path);
    const QString tempPath = QFile::decodeName(tempName);

    auto fail = [&](const QString &what, bool fdOpen) {
        const int error = errno;
        if (fdOpen)
            closeKeepingErrno(fd);
        ::unlink(tempName.constData());
        return FileResult::failure(error, what, tempPath);
    };

    if (::fchmod(fd, mode) != 0)
        return fail(QStringLiteral("cannot set the mode of"), true);

    const char *data = contents.data();
    qsizetype left = contents.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(QStringLiteral("cannot write"), true);
        }
        if (n == 0) {
            // A write that takes nothing and reports no error: treat it as a full disk
            // rather than loop forever.
            errno = ENOSPC;
            return fail(QStringLiteral("cannot write"), true);
        }
        data += n;
        left -= n;
    }
    if (::fsync(fd) != 0)
        return fail(QStringLiteral("cannot flush"), true);
    if (::close(fd) != 0)
        return fail(QStringLiteral("cannot close"), false);
    if (::rename(tempName.constData(), encoded(path).constData()) != 0) {
        const int error = errno;
        ::unlink(tempName.constData());
        return FileResult::failure(error, QStringLiteral("cannot rename the temporary file onto"), path);
    }

    // The rename is only durable once the folder's entry is on disk.
    const QString folder = folderOf(path);
    const int dirFd = ::open(encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return FileResult::failure(errno, QStringLiteral("cannot open the folder"), folder);
    const bool synced = ::fsync(dirFd) == 0 || errno == EINVAL; // some file systems refuse fsync on folders
    const int syncError = errno;
    ::close(dirFd);
    if (!synced)
        return FileResult::failure(syncError, QStringLiteral("cannot flush the folder"), folder);
    return {};
}

FileResult ReadWholeFile(const QString &path, QByteArray &contents)
{
    contents.clear();
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return FileResult::failure(errno, QStringLiteral("cannot open"), path);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return FileResult::failure(error, QStringLiteral("cannot examine"), path);
    }
    if (S_ISDIR(info.st_mode)) {
        ::close(fd);
        return FileResult::failure(EISDIR, QStringLiteral("cannot read"), path);
    }
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            contents.clear();
            return FileResult::failure(error, QStringLiteral("cannot read"), path);
        }
        if (n == 0)
            break;
        contents.append(buffer, n);
    }
    ::close(fd);
    return {};
}

FileResult MakeFolders(const QString &path, mode_t mode)
{
    const QByteArray full = encoded(path);
    for (qsizetype i = 1; i <= full.size(); ++i) {
        if (i != full.size() && full[i] != '/')
            continue;
        const QByteArray part = full.left(i);
        if (::mkdir(part.constData(), mode) == 0 || errno == EEXIST)
            continue;
        return FileResult::failure(errno, QStringLiteral("cannot create the folder"), QFile::decodeName(part));
    }
    struct stat info {};
    if (::stat(full.constData(), &info) != 0)
        return FileResult::failure(errno, QStringLiteral("cannot examine"), path);
    if (!S_ISDIR(info.st_mode))
        return FileResult::failure(ENOTDIR, QStringLiteral("cannot use as a folder"), path);
    return {};
}

FileLock::FileLock(FileLock &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

FileLock &FileLock::operator=(FileLock &&other) noexcept
{
    if (this != &other) {
        release();
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

FileLock::~FileLock()
{
    release();
}

FileResult FileLock::acquire(const QString &lockPath, Mode mode)
{
    release();
    const QByteArray name = encoded(lockPath);
    int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EACCES)
        fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC); // flock works on any descriptor
    if (fd < 0)
        return FileResult::failure(errno, QStringLiteral("cannot open the lock file"), lockPath);
    while (::flock(fd, mode == Exclusive ? LOCK_EX : LOCK_SH) != 0) {
        if (errno == EINTR)
            continue;
        const int error = errno;
        ::close(fd);
        return FileResult::failure(error, QStringLiteral("cannot lock"), lockPath);
    }
    m_fd = fd;
    return {};
}

void FileLock::release()
{
    if (m_fd >= 0) {
        ::close(m_fd); // closing the descriptor drops the flock
        m_fd = -1;
    }
}

} // namespace platform
