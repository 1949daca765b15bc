// What the viewer's display costs: ShowFile on a 6000 x 4000 JPEG (decode, hand-over to the
// picture control, shrink, status) next to libjpeg-turbo's own djpeg decoding the same file
// in the same run, and the start-up to a shown window on a folder of 1,000 pictures.
//
// Runs offscreen with private settings and home folders. djpeg is started as a process per
// iteration, so its figure includes process start (a few milliseconds) and writing the PPM
// to /dev/null; BM_DecodeJpeg is our decoder alone for the in-process comparison.
#include "glimmo/viewfrm.h"
#include "platform/gui/app.h"
#include "platform/gui/jpeg.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "bench/gui_bench_main.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

QTemporaryDir *g_dir = nullptr;

QString bigJpeg()
{
    static const QString path = [] {
        // Camera-like content: smooth shapes plus sensor noise, so the entropy coder has work.
        QImage image(6000, 4000, QImage::Format_RGB32);
        QRandomGenerator random(42);
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
        const QString file = g_dir->filePath("big/camera.jpg");
        QDir().mkpath(g_dir->filePath("big"));
        if (!image.save(file, "JPEG", 90))
            std::abort();
        return file;
    }();
    return path;
}

QString thousandPictures()
{
    static const QString folder = [] {
        const QString dir = g_dir->filePath("thousand");
        QDir().mkpath(dir);
        QImage image(320, 240, QImage::Format_RGB32);
        image.fill(qRgb(40, 90, 160));
        const QString first = dir + "/pic0000.jpg";
        if (!image.save(first, "JPEG", 85))
            std::abort();
        for (int i = 1; i < 1000; ++i)
            QFile::copy(first, dir + QStringLiteral("/pic%1.jpg").arg(i, 4, 10, QLatin1Char('0')));
        return dir;
    }();
    return folder;
}

void BM_ShowFile6000x4000(benchmark::State &state)
{
    const QString file = bigJpeg();
    glimmo::TViewFrm frm({QLatin1Char('"') + QFileInfo(file).absolutePath() + QLatin1Char('/')});
    frm.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        frm.ShowFile(QStringLiteral("camera.jpg"));
        if (frm.Image1->PictureSize() != QSize(6000, 4000))
            state.SkipWithError("not shown");
    }
}
BENCHMARK(BM_ShowFile6000x4000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void BM_DecodeJpeg6000x4000(benchmark::State &state)
{
    const QString file = bigJpeg();
    for (auto _ : state) {
        const platform::JpegPicture picture = platform::DecodeJpegFile(file);
        benchmark::DoNotOptimize(picture.image.constBits());
    }
}
BENCHMARK(BM_DecodeJpeg6000x4000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void BM_Djpeg6000x4000(benchmark::State &state)
{
    const QString file = bigJpeg();
    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    if (djpeg.isEmpty()) {
        state.SkipWithError("djpeg not installed (libjpeg-turbo-progs)");
        return;
    }
    for (auto _ : state) {
        QProcess process;
        process.start(djpeg, {QStringLiteral("-outfile"), QStringLiteral("/dev/null"), file});
        if (!process.waitForFinished(60000) || process.exitCode() != 0)
            state.SkipWithError("djpeg failed");
    }
}
BENCHMARK(BM_Djpeg6000x4000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// djpeg on a 16 x 16 picture: what starting the process costs, to subtract from the above.
void BM_DjpegProcessStart(benchmark::State &state)
{
    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    if (djpeg.isEmpty()) {
        state.SkipWithError("djpeg not installed (libjpeg-turbo-progs)");
        return;
    }
    const QString tiny = g_dir->filePath("tiny.jpg");
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::gray);
    if (!image.save(tiny, "JPEG"))
        std::abort();
    for (auto _ : state) {
        QProcess process;
        process.start(djpeg, {QStringLiteral("-outfile"), QStringLiteral("/dev/null"), tiny});
        if (!process.waitForFinished(60000) || process.exitCode() != 0)
            state.SkipWithError("djpeg failed");
    }
}
BENCHMARK(BM_DjpegProcessStart)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

// Construction (settings read), first showing (folder opened, 1,000 rows listed) and, with a
// file argument, that picture shown.
void BM_StartUpWith1000Pictures(benchmark::State &state)
{
    const QString folder = thousandPictures();
    const bool withFile = state.range(0) != 0;
    const QString argument = QLatin1Char('"') + folder + (withFile ? QStringLiteral("/pic0500.jpg") : QStringLiteral("/"));
    for (auto _ : state) {
        auto frm = std::make_unique<glimmo::TViewFrm>(QStringList{argument});
        frm->show();
        if (frm->PTShellList1->Count() != 1000)
            state.SkipWithError("list not filled");
        state.PauseTiming();
        frm.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartUpWith1000Pictures)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    g_dir = &dir;
    return RunGuiBenchmarks(argc, argv, dir, QStringLiteral("@Glimmo"));
}
