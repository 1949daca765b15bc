// What settings cost: a hive the size of Trawlix's key (about 80 values), read one value,
// write a changed value (lock, re-read, rewrite, two fsyncs), and write an unchanged value
// (lock and re-read only), which is most of what a close request's SaveSettings does.
#include "platform/registry.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

const QString kKey = QStringLiteral("Software\\Keldane\\@Trawlix");

void fillSettings()
{
    platform::TRegistry reg;
    reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    if (!reg.OpenKey(kKey, true))
        std::abort();
    for (int i = 0; i < 60; ++i)
        reg.WriteBool(QStringLiteral("CheckListBox2_ext%1").arg(i), i % 3 == 0);
    for (int i = 0; i < 20; ++i)
        reg.WriteString(QStringLiteral("Edit%1").arg(i), QStringLiteral("some setting text number %1").arg(i));
}

platform::TRegistry openSettings()
{
    platform::TRegistry reg;
    reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    if (!reg.OpenKey(kKey, false))
        std::abort();
    return reg;
}

void BM_ReadString(benchmark::State &state)
{
    platform::TRegistry reg = openSettings();
    for (auto _ : state)
        benchmark::DoNotOptimize(reg.ReadString("Edit7"));
}
BENCHMARK(BM_ReadString);

void BM_WriteChangedValue(benchmark::State &state)
{
    platform::TRegistry reg = openSettings();
    int32_t n = 0;
    for (auto _ : state)
        reg.WriteInteger("UpDown1", ++n);
}
BENCHMARK(BM_WriteChangedValue)->Unit(benchmark::kMillisecond);

void BM_WriteUnchangedValue(benchmark::State &state)
{
    platform::TRegistry reg = openSettings();
    reg.WriteString("Edit8", "proxy.example");
    for (auto _ : state)
        reg.WriteString("Edit8", "proxy.example");
}
BENCHMARK(BM_WriteUnchangedValue);

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir folder;
    ::setenv("KELDANE_REGISTRY_DIR", folder.path().toLocal8Bit().constData(), 1);
    fillSettings();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
