#include "sifton/tools.h"

#include "platform/registry.h"

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <limits>
#include <stdexcept>
#include <vector>

// ---- URL, path and character helpers -------------------------------------------------------

namespace {

// Appends the segments of `path` (separated by "/") to `out`, which already ends where the
// first segment belongs. "." segments are dropped; ".." removes the last segment written after
// the first one, so nothing climbs above the first segment (the host). A first segment that is
// "." or ".." would itself name the root or its parent, so its dots are written as "_".
void appendConfinedSegments(std::string &out, std::string_view path)
{
    size_t floor = std::string::npos; // end of the first segment and its "/" in `out`
    size_t start = 0;
    while (true) {
        const size_t slash = path.find('/', start);
        const bool last = slash == std::string_view::npos;
        const std::string_view segment = path.substr(start, last ? std::string_view::npos : slash - start);
        if (floor == std::string::npos) {
            if (segment == "." || segment == "..")
                out.append(segment.size(), '_');
            else
                out.append(segment);
            if (!last)
                out.push_back('/');
            floor = out.size();
        } else if (segment == ".") {
            // nothing: "a/./b" is "a/b"
        } else if (segment == "..") {
            if (out.size() > floor) {
                out.pop_back(); // the "/" after the segment being removed
                while (out.size() > floor && out.back() != '/')
                    out.pop_back();
            }
        } else {
            out.append(segment);
            if (!last)
                out.push_back('/');
        }
        if (last)
            break;
        start = slash + 1;
    }
}

} // namespace

int LastChar(char c, std::string_view text)
{
    const size_t pos = text.rfind(c);
    return pos == std::string_view::npos ? 0 : static_cast<int>(pos + 1);
}

void ReplaceCharInString(char from, char to, std::string &text)
{
    for (char &c : text) {
        if (c == from)
            c = to;
    }
}

void ReplaceCharsInString(std::string &text, std::string_view set, char replacement)
{
    for (char &c : text) {
        if (set.find(c) != std::string_view::npos)
            c = replacement;
    }
}

bool IsDirectory(const std::string &path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void AssignPathFromUrl(std::string &result, std::string_view root, std::string_view hostAndPath)
{
    result.assign(root);
    if (result.empty() || result.back() != '/')
        result.push_back('/');
    appendConfinedSegments(result, hostAndPath);
    if (hostAndPath.find('/') == std::string_view::npos)
        result.append("/index.html");
    else if (result.back() == '/')
        result.append("index.html");
}

std::string CreatePathFromUrl(std::string_view root, std::string_view hostAndPath)
{
    std::string result;
    AssignPathFromUrl(result, root, hostAndPath);
    return result;
}

std::string CreateSubFilePathFromUrl(std::string_view url)
{
    const size_t slashes = url.find("//");
    if (slashes == std::string_view::npos)
        return {};
    std::string_view rest = url.substr(slashes + 2);
    rest = rest.substr(0, rest.find('?'));
    rest = rest.substr(0, rest.find('#'));
    std::string result;
    appendConfinedSegments(result, rest);
    ReplaceCharsInString(result, "|=*:;,<>", '$');
    return result;
}

std::string CreateandReturnTreeFromFilePath(const std::string &filePath)
{
    const size_t k = filePath.rfind('/');
    if (k == std::string::npos || k == 0)
        return {};
    const std::string directory = filePath.substr(0, k + 1);
    if (!IsDirectory(directory)) {
        for (size_t slash = filePath.find('/'); slash != std::string::npos && slash <= k;
             slash = filePath.find('/', slash + 1)) {
            if (slash == 0)
                continue; // the file-system root
            // Errors (a level that exists, no permission) are not reported: the caller finds
            // out when it writes the file.
            ::mkdir(filePath.substr(0, slash).c_str(), 0777);
        }
    }
    return filePath.substr(0, k);
}

std::string CreateFileNameFromTime(const std::tm &localTime)
{
    char name[64];
    const size_t length = std::strftime(name, sizeof name, "%Y-%m-%d_%H.%M.%S.txt", &localTime);
    return std::string(name, length);
}

std::string CreateFileNameFromNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return CreateFileNameFromTime(local);
}

// ---- end of URL, path and character helpers ------------------------------------------------

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

// Resolves a program name without a slash through PATH, as a shell would.
std::string ResolveProgram(const QString& program)
{
    if (program.contains(QLatin1Char('/')))
        return program.toLocal8Bit().toStdString();
    return QStandardPaths::findExecutable(program).toLocal8Bit().toStdString();
}

// Marks every descriptor from 3 up close-on-exec, so the started program inherits none of
// ours (sockets, lock files). Async-signal-safe: runs between fork and exec.
void MarkDescriptorsCloseOnExec()
{
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0)
        return;
    const long max = ::sysconf(_SC_OPEN_MAX);
    for (int fd = 3; fd < (max > 0 && max < 65536 ? max : 65536); ++fd)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// Starts `words` (program first) as a detached process: its own session, adopted by init so
// no zombie is left, standard input from /dev/null, output and error shared with the caller,
// no other descriptor inherited, the caller's folder and environment. With `idle` it runs at
// nice 19. Returns whether the program was executed; does not wait for it to end.
bool SpawnDetached(const QStringList& words, bool idle)
{
    if (words.isEmpty() || words.first().isEmpty())
        return false;
    const std::string path = ResolveProgram(words.first());
    if (path.empty())
        return false;
    // Everything the child needs is made before fork: after it only async-signal-safe calls.
    std::vector<std::string> args;
    for (const QString& w : words)
        args.push_back(w.toLocal8Bit().toStdString());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    // The exec status comes back through a close-on-exec pipe: end of file means the exec
    // succeeded, an errno value means it failed.
    int status[2];
    if (::pipe2(status, O_CLOEXEC) != 0)
        return false;
    const pid_t middle = ::fork();
    if (middle < 0) {
        ::close(status[0]);
        ::close(status[1]);
        return false;
    }
    if (middle == 0) {
        ::setsid();
        // _Fork: no fork handlers run here, in a child of a possibly multithreaded process.
        const pid_t child = ::_Fork();
        if (child != 0) {
            if (child < 0) {
                const int e = errno;
                (void)!::write(status[1], &e, sizeof e);
            }
            ::_exit(0);
        }
        const int devNull = ::open("/dev/null", O_RDONLY);
        if (devNull >= 0 && devNull != STDIN_FILENO) {
            ::dup2(devNull, STDIN_FILENO);
            ::close(devNull);
        }
        MarkDescriptorsCloseOnExec();
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL); // an ignored signal would stay ignored across exec
        if (idle)
            ::setpriority(PRIO_PROCESS, 0, 19);
        ::execv(path.c_str(), argv.data());
        const int e = errno;
        (void)!::write(status[1], &e, sizeof e);
        ::_exit(127);
    }
    ::close(status[1]);
    int waitStatus = 0;
    while (::waitpid(middle, &waitStatus, 0) < 0 && errno == EINTR) {
    }
    int childErrno = 0;
    ssize_t n;
    while ((n = ::read(status[0], &childErrno, sizeof childErrno)) < 0 && errno == EINTR) {
    }
    ::close(status[0]);
    return n == 0;
}

QStringList SplitCommandLine(std::string_view commandLine)
{
    // Words are separated by blanks; double quotes group words (three in a row stand for a
    // literal quote).
    return QProcess::splitCommand(
        QString::fromLocal8Bit(commandLine.data(), static_cast<qsizetype>(commandLine.size())));
}

} // namespace

bool Run2Exe(std::string_view commandLine, std::string_view /*windowTitle*/)
{
    return SpawnDetached(SplitCommandLine(commandLine), false);
}

bool RunExe(std::string_view programFile, std::string_view /*windowTitle*/)
{
    if (programFile.empty())
        return false;
    const QString program =
        QString::fromLocal8Bit(programFile.data(), static_cast<qsizetype>(programFile.size()));
    return SpawnDetached(QStringList{program}, true);
}

void SetConcDwnlds(int32_t count)
{
    try {
        platform::TRegistry registry;
        registry.SetRootKey(platform::HKEY_CURRENT_USER);
        if (!registry.OpenKey("\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", true))
            return;
        if (count == -1)
            count = 2;
        registry.WriteInteger("MaxConnectionsPerServer", count);
        registry.WriteInteger("MaxConnectionsPer1_0Server", count + 2);
        registry.CloseKey();
    } catch (const platform::RegistryError &) {
        // A damaged or unwritable settings store: the limits are a hint, the crawl goes on.
    }
}

// ---- end of numbers, file sizes and starting programs -----------------------------------
