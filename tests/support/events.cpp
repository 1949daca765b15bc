#include "tests/support/events.h"

#include <QCoreApplication>

#include <thread>

namespace testsupport {

bool serveEventsUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void serveEventsFor(std::chrono::milliseconds duration)
{
    const auto end = std::chrono::steady_clock::now() + duration;
    (void)serveEventsUntil([&] { return std::chrono::steady_clock::now() >= end; }, duration * 2);
}

} // namespace testsupport
