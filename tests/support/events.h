#pragma once
// Serving the main thread's events in tests, as a program's event loop would.

#include <chrono>
#include <functional>

namespace testsupport {

// Processes events until `done` holds; false when `timeout` passed first.
[[nodiscard]] bool serveEventsUntil(const std::function<bool()> &done,
                                    std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Processes events for the given time.
void serveEventsFor(std::chrono::milliseconds duration);

} // namespace testsupport
