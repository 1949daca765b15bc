#pragma once
// Every test runs with private folders: HOME, the XDG folders and the registry folder point
// into a fresh temporary folder that is removed when the test ends, so no test sees the
// user's settings or another test's files.

#include <QString>

namespace testenv {

// Registers the listener that gives each test its private folders. Called by the test mains.
void installPrivateFolders();

// The current test's private root folder (HOME). Empty outside a test.
QString root();

// The current test's registry folder (KELDANE_REGISTRY_DIR).
QString registryDir();

} // namespace testenv
