#include "tests/support/childprocess.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

ChildProcess::ChildProcess(std::function<int()> body)
{
    std::fflush(nullptr);
    m_pid = ::fork();
    if (m_pid < 0)
        throw std::runtime_error("fork failed");
    if (m_pid == 0) {
        int code = 99;
        try {
            code = body();
        } catch (const std::exception &e) {
            std::fprintf(stderr, "child: exception: %s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "child: unknown exception\n");
        }
        std::fflush(nullptr);
        ::_exit(code); // no atexit handlers, no GoogleTest teardown in the child
    }
}

ChildProcess::~ChildProcess()
{
    if (!m_reaped) {
        ::kill(m_pid, SIGKILL);
        wait();
    }
}

int ChildProcess::wait()
{
    if (!m_reaped) {
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_reaped = true;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    }
    return m_status;
}

void ChildProcess::kill(int signal)
{
    if (!m_reaped)
        ::kill(m_pid, signal);
}

SignalPipe::SignalPipe()
{
    if (::pipe(m_fd) != 0)
        throw std::runtime_error("pipe failed");
}

SignalPipe::~SignalPipe()
{
    closeReadEnd();
    closeWriteEnd();
}

void SignalPipe::send(char byte)
{
    while (::write(m_fd[1], &byte, 1) < 0 && errno == EINTR) {
    }
}

int SignalPipe::receive()
{
    unsigned char byte = 0;
    for (;;) {
        const ssize_t n = ::read(m_fd[0], &byte, 1);
        if (n == 1)
            return byte;
        if (n == 0)
            return -1;
        if (errno != EINTR)
            return -1;
    }
}

void SignalPipe::closeReadEnd()
{
    if (m_fd[0] >= 0) {
        ::close(m_fd[0]);
        m_fd[0] = -1;
    }
}

void SignalPipe::closeWriteEnd()
{
    if (m_fd[1] >= 0) {
        ::close(m_fd[1]);
        m_fd[1] = -1;
    }
}

bool isBlockedOnFileLock(pid_t pid)
{
    // Waiting requests are listed as "N: -> FLOCK  ADVISORY  WRITE <pid> ...".
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        if (line.find("->") == std::string::npos || line.find("FLOCK") == std::string::npos)
            continue;
        std::istringstream fields(line.substr(line.find("->") + 2));
        std::string kind, advisory, access;
        long owner = 0;
        if (fields >> kind >> advisory >> access >> owner && owner == pid)
            return true;
    }
    return false;
}

} // namespace testsupport
