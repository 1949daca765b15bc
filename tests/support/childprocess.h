#pragma once
// Runs a piece of a test in a forked child process, for behaviour that needs a second
// process (file locks, concurrent writers, a kill in the middle of a write) or a changed
// process state (resource limits, another user). GoogleTest assertions do not work in the
// child: the body returns an exit code that the parent checks.

#include <functional>
#include <string>

#include <sys/types.h>

namespace testsupport {

class ChildProcess {
public:
    // Forks and runs `body` in the child, which ends with its return value (an escaping
    // exception ends it with 99 after printing what()).
    explicit ChildProcess(std::function<int()> body);
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;
    // Kills and reaps a child still running.
    ~ChildProcess();

    [[nodiscard]] pid_t pid() const { return m_pid; }
    // Waits for the child's end: its exit code, or 128 + signal number when killed.
    int wait();
    void kill(int signal);

private:
    pid_t m_pid = -1;
    bool m_reaped = false;
    int m_status = -1;
};

// A pipe for one-way messages of one byte from a child to the parent.
class SignalPipe {
public:
    SignalPipe();
    ~SignalPipe();
    SignalPipe(const SignalPipe &) = delete;
    SignalPipe &operator=(const SignalPipe &) = delete;

    // In the child.
    void send(char byte);
    // In the parent: the next byte, or -1 when every writer has closed its end.
    int receive();
    // Each side closes the end it does not use.
    void closeReadEnd();
    void closeWriteEnd();

private:
    int m_fd[2] = {-1, -1};
};

// Whether the process `pid` is waiting for a flock() (seen in /proc/locks).
[[nodiscard]] bool isBlockedOnFileLock(pid_t pid);

} // namespace testsupport
