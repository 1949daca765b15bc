#include "sifton/resfile.h"

#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

TResultsFile::~TResultsFile()
{
    Close();
}

bool TResultsFile::Open(const std::string &path)
{
    Close();
    path_ = path;
    if (path.find('\0') != std::string::npos) {
        errno_ = EINVAL;
        return false;
    }
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    errno_ = fd_ < 0 ? errno : 0;
    return fd_ >= 0;
}

void TResultsFile::WriteLine(std::string_view line)
{
    if (fd_ < 0)
        throw std::system_error(EBADF, std::generic_category(), "results file not open");
    line_.assign(line);
    line_.append("\r\n");
    const char *data = line_.data();
    size_t left = line_.size();
    while (left > 0) {
        const ssize_t written = ::write(fd_, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            errno_ = errno;
            throw std::system_error(errno_, std::generic_category(), "write to results file " + path_);
        }
        if (written == 0) {
            errno_ = ENOSPC;
            throw std::system_error(errno_, std::generic_category(), "write to results file " + path_);
        }
        data += written;
        left -= size_t(written);
    }
}

bool TResultsFile::Close()
{
    if (fd_ < 0)
        return true;
    bool ok = true;
    // A device such as /dev/full cannot be synced (EINVAL); only real failures count.
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
        errno_ = errno;
        ok = false;
    }
    if (::close(fd_) != 0 && errno != EINTR) {
        errno_ = errno;
        ok = false;
    }
    fd_ = -1;
    return ok;
}
