#include "tests/support/testenv.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace testenv {
namespace {

std::unique_ptr<QTemporaryDir> g_dir;

void setEnv(const char *name, const QString &value)
{
    ::setenv(name, QFile::encodeName(value).constData(), 1);
}

class PrivateFolders : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo &) override
    {
        g_dir = std::make_unique<QTemporaryDir>();
        const QString base = g_dir->path();
        for (const char *sub : {"home", "config", "data", "cache", "state", "runtime", "registry"})
            QDir(base).mkpath(sub);
        QFile::setPermissions(base + "/runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        setEnv("HOME", base + "/home");
        setEnv("XDG_CONFIG_HOME", base + "/config");
        setEnv("XDG_DATA_HOME", base + "/data");
        setEnv("XDG_CACHE_HOME", base + "/cache");
        setEnv("XDG_STATE_HOME", base + "/state");
        setEnv("XDG_RUNTIME_DIR", base + "/runtime");
        setEnv("KELDANE_REGISTRY_DIR", base + "/registry");
    }
    void OnTestEnd(const ::testing::TestInfo &) override { g_dir.reset(); }
};

} // namespace

void installPrivateFolders()
{
    ::testing::UnitTest::GetInstance()->listeners().Append(new PrivateFolders);
}

QString root()
{
    return g_dir ? g_dir->path() + "/home" : QString();
}

QString registryDir()
{
    return g_dir ? g_dir->path() + "/registry" : QString();
}

} // namespace testenv
