// The thumbnail grid on a folder of 40 camera photos of 12 megapixels (4000 x 3000): the time
// from Thumbnails1Click until all 40 cells hold their thumbnail, and the process's peak
// memory while it builds, next to vipsthumbnail (libvips-tools) making the same 73 x 63
// thumbnails of the same files in the same run.
//
// Peak memory: the peak resident size is reset (/proc/self/clear_refs) before each build and
// read (VmHWM) after it, so the photos made at start do not count; vipsthumbnail's figure is
// the largest resident size of its process (getrusage of the children). Runs offscreen with
// private settings and home folders. The photos are one picture copied 40 times: both sides
// read them from the page cache.
#include "glimmo/viewfrm.h"
#include "platform/gui/app.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "bench/gui_bench_main.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

QTemporaryDir *g_dir = nullptr;
constexpr int kPhotos = 40;

QString photoFolder()
{
    static const QString folder = [] {
        QImage image(4000, 3000, QImage::Format_RGB32);
        QRandomGenerator random(7);
        for (int y = 0; y < image.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const int noise = int(random.bounded(24));
                const int r = int(128 + 100 * std::sin(x / 300.0)) + noise;
                const int g = int(128 + 100 * std::sin(y / 200.0 + x / 900.0)) + noise;
                const int b = int(128 + 100 * std::cos((x + y) / 500.0)) + noise;
                line[x] = qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
            }
        }
        const QString dir = g_dir->filePath("photos");
        QDir().mkpath(dir);
        const QString first = dir + QStringLiteral("/photo00.jpg");
        if (!image.save(first, "JPEG", 90))
            std::abort();
        for (int i = 1; i < kPhotos; ++i)
            QFile::copy(first, dir + QStringLiteral("/photo%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
        return dir;
    }();
    return folder;
}

void resetPeakMemory()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

double peakMegabytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0; // kB
    return 0;
}

int thumbnailCount(const glimmo::TViewFrm &frm)
{
    return int(frm.Panel4->findChildren<glimmo::TImage *>(QString(), Qt::FindDirectChildrenOnly).size());
}

void BM_ThumbnailGrid40Photos12MP(benchmark::State &state)
{
    const QString folder = photoFolder();
    glimmo::TViewFrm frm({QLatin1Char('"') + folder + QLatin1Char('/')});
    frm.show();
    QCoreApplication::processEvents();
    frm.Panel4->setFixedSize(300, 520); // 5 columns, 8 rows: all 40 photos in the first grid
    QCoreApplication::processEvents();
    double peak = 0;
    for (auto _ : state) {
        resetPeakMemory();
        frm.Thumbnails1Click();
        // Every job posts its thumbnail before it ends: one round of events delivers them all.
        frm.ThumbLoader->WaitForIdle();
        QCoreApplication::processEvents();
        peak = std::max(peak, peakMegabytes());
        if (thumbnailCount(frm) != kPhotos)
            state.SkipWithError("grid not full");
    }
    state.counters["peak_MB"] = peak;
    state.counters["threads"] = frm.ThumbLoader->MaxThreads();
}
BENCHMARK(BM_ThumbnailGrid40Photos12MP)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5);

void BM_Vipsthumbnail40Photos12MP(benchmark::State &state)
{
    const QString folder = photoFolder();
    const QString vips = QStandardPaths::findExecutable(QStringLiteral("vipsthumbnail"));
    if (vips.isEmpty()) {
        state.SkipWithError("vipsthumbnail not installed (libvips-tools)");
        return;
    }
    const QString out = g_dir->filePath("vips");
    QDir().mkpath(out);
    QStringList args{QStringLiteral("--size"), QStringLiteral("73x63!"), QStringLiteral("-o"),
                     out + QStringLiteral("/%s.jpg")};
    for (const QString &name : QDir(folder).entryList({QStringLiteral("*.jpg")}))
        args << folder + QLatin1Char('/') + name;
    for (auto _ : state) {
        QProcess process;
        process.start(vips, args);
        if (!process.waitForFinished(120000) || process.exitCode() != 0)
            state.SkipWithError("vipsthumbnail failed");
    }
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    state.counters["peak_MB"] = double(usage.ru_maxrss) / 1024.0;
    state.counters["made"] = double(QDir(out).entryList({QStringLiteral("*.jpg")}).size());
}
BENCHMARK(BM_Vipsthumbnail40Photos12MP)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5);

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    g_dir = &dir;
    return RunGuiBenchmarks(argc, argv, dir, QStringLiteral("@Glimmo"));
}
