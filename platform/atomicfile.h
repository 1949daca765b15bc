#pragma once
// Durable whole-file replacement and an advisory lock, shared by the stores we write
// (registry hives, INI files). A store is never written in place: a kill or a full disk in
// the middle of a write must leave the previous file whole.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <sys/types.h>

namespace platform {

// Outcome of a file operation: errorNumber is the errno of the call that failed (0 on
// success) and message says which call on which file, for error texts.
struct FileResult {
    int errorNumber = 0;
    QString message;

    [[nodiscard]] bool ok() const { return errorNumber == 0; }
    [[nodiscard]] static FileResult failure(int errorNumber, const QString &what, const QString &path);
};

// Replaces `path` with `contents`: a temporary file in the same folder (named path +
// ".tmp-XXXXXX"), every byte written in a loop that checks each return, fsync, rename over
// `path`, fsync of the folder. On any failure the temporary file is removed and `path` is
// left exactly as it was. The new file gets `mode`.
[[nodiscard]] FileResult WriteFileAtomically(const QString &path, QByteArrayView contents, mode_t mode = 0600);

// Reads the whole file. A missing file is reported with errorNumber ENOENT.
[[nodiscard]] FileResult ReadWholeFile(const QString &path, QByteArray &contents);

// Creates `path` and its missing parents with `mode` (existing folders are left alone).
[[nodiscard]] FileResult MakeFolders(const QString &path, mode_t mode = 0700);

// An exclusive or shared flock() on a lock file, held for the object's life. The lock file
// is separate from the store because the store itself is replaced by rename, and a lock on
// the old inode would protect nothing. Lock files are created once and never removed:
// removing one would let two processes lock two different inodes of the same name.
class FileLock {
public:
    enum Mode { Shared, Exclusive };

    FileLock() = default;
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
    FileLock(FileLock &&other) noexcept;
    FileLock &operator=(FileLock &&other) noexcept;
    ~FileLock();

    // Waits until the lock is granted. Creates the lock file (mode 0600) when missing.
    [[nodiscard]] FileResult acquire(const QString &lockPath, Mode mode);
    [[nodiscard]] bool held() const { return m_fd >= 0; }
    void release();

private:
    int m_fd = -1;
};

} // namespace platform
