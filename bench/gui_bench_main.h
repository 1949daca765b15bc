#pragma once
// The main of a benchmark of a window: private HOME, XDG and registry folders under `dir`
// (so no user setting is read or written), the offscreen platform, the application object,
// then the registered benchmarks.

#include "platform/gui/app.h"

#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

inline int RunGuiBenchmarks(int argc, char **argv, const QTemporaryDir &dir, const QString &title)
{
    for (const char *sub : {"home", "config", "data", "cache", "registry"})
        QDir().mkpath(dir.filePath(sub));
    qputenv("HOME", dir.filePath("home").toUtf8());
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", dir.filePath("data").toUtf8());
    qputenv("XDG_CACHE_HOME", dir.filePath("cache").toUtf8());
    qputenv("KELDANE_REGISTRY_DIR", dir.filePath("registry").toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    platform::TApplication app(argc, argv, title);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
