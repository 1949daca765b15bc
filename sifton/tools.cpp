#include "sifton/tools.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <limits>
#include <stdexcept>
#include <thread>

namespace sifton {

// ---- Numbers, file sizes and starting programs ------------------------------------------

int32_t KvStrToInt(std::string_view text, int32_t defaultValue)
{
    if (text.empty())
        return defaultValue;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return defaultValue;
    }
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    int64_t value = 0;
    for (const char c : text) {
        value = value * 10 + (c - '0');
        if (value > kMax) {
            // Digits only, but too large: a conversion error, not the default.
            throw std::out_of_range("'" + std::string(text) + "' is not a valid integer value");
        }
    }
    return static_cast<int32_t>(value);
}

int64_t SizeOfFile(const std::string& path)
{
    if (path.find('\0') != std::string::npos)
        return -1; // would name a different file at the system call
    // O_NONBLOCK: opening a named pipe must not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return ok ? static_cast<int64_t>(st.st_size) : -1;
}

namespace {

bool StartDetached(QProcess& process)
{
    process.setStandardInputFile(QProcess::nullDevice());
    return process.startDetached();
}

} // namespace

bool Run2Exe(std::string_view commandLine, std::string_view /*windowTitle*/)
{
    const QStringList words = QProcess::splitCommand(
        QString::fromLocal8Bit(commandLine.data(), static_cast<qsizetype>(commandLine.size())));
    if (words.isEmpty() || words.first().isEmpty())
        return false;
    QProcess process;
    process.setProgram(words.first());
    process.setArguments(words.mid(1));
    return StartDetached(process);
}

bool RunExe(std::string_view programFile, std::string_view /*windowTitle*/)
{
    if (programFile.empty())
        return false;
    const QString program =
        QString::fromLocal8Bit(programFile.data(), static_cast<qsizetype>(programFile.size()));
    // Idle priority from the first instruction on. On Linux the nice value belongs to a thread
    // and a forked child inherits the forking thread's, so the start runs on a short-lived
    // thread whose own nice value is raised to 19; the caller's threads keep theirs. (QProcess
    // in Qt 6.4 skips the child-process modifier for detached starts.)
    bool started = false;
    std::thread starter([&] {
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 19);
        QProcess process;
        process.setProgram(program);
        started = StartDetached(process);
    });
    starter.join();
    return started;
}

// ---- end of numbers, file sizes and starting programs -----------------------------------

} // namespace sifton
