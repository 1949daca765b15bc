#pragma once
// The thumbnail jobs of the grid view: each decodes one JPEG or GIF file into a 73 x 63
// picture on a worker of a bounded pool and hands it to the user-interface thread.
//
// A folder of large photos must not be held in memory at once: at most `MaxThreads()` jobs
// decode at a time, a JPEG is decoded through libjpeg's DCT scaling at the smallest scale that
// still covers a cell, and the decoded picture is dropped as soon as the thumbnail is made.
// Every build of the grid starts a new generation; a job of an earlier one that has not
// started is dropped from the queue, and the result of one that has is discarded on arrival.
//
// Workers make only QImages; the delivery callback, which makes the widgets, runs on the
// thread that owns the loader.

#include <QImage>
#include <QObject>
#include <QRunnable>
#include <QSize>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <functional>

namespace glimmo {

inline constexpr int kThumbCellWidth = 75;
inline constexpr int kThumbCellHeight = 65;
inline constexpr QSize kThumbSize(kThumbCellWidth - 2, kThumbCellHeight - 2);

// The DCT scale denominator (8, 4, 2 or 1) that gives the smallest decoded picture still at
// least `cell` in both directions; 1 for pictures already smaller than the cell.
[[nodiscard]] int ThumbnailScaleFor(const QSize &fullSize, const QSize &cell = kThumbSize);

// What a job made: a still thumbnail of exactly kThumbSize, or for an animated GIF the note
// that the cell plays the file (frames are decoded one at a time as it plays).
struct ThumbResult {
    QImage thumbnail;
    bool animated = false;
    [[nodiscard]] bool ok() const { return animated || !thumbnail.isNull(); }
};

[[nodiscard]] ThumbResult MakeJpegThumbnail(const QString &path);
[[nodiscard]] ThumbResult MakeGifThumbnail(const QString &path);

class TThumbLoader;

// One job: the file, its list entry and its cell. All fields are set before it is queued.
class thumbLoader : public QRunnable {
public:
    QString FileName; // full path
    int ItemIndex = -1;
    int Column = 0;
    int Row = 0;

    void run() override;

protected:
    [[nodiscard]] virtual ThumbResult decode() const = 0;

private:
    friend class TThumbLoader;
    TThumbLoader *m_owner = nullptr;
    quint64 m_generation = 0;
};

class thumbLoaderJPG : public thumbLoader {
protected:
    [[nodiscard]] ThumbResult decode() const override { return MakeJpegThumbnail(FileName); }
};

class thumbLoaderGIF : public thumbLoader {
protected:
    [[nodiscard]] ThumbResult decode() const override { return MakeGifThumbnail(FileName); }
};

// What a job hands to the user-interface thread.
struct ThumbDelivery {
    QString FileName;
    int ItemIndex;
    int Column;
    int Row;
    ThumbResult result;
};

class TThumbLoader : public QObject {
    Q_OBJECT
public:
    explicit TThumbLoader(QObject *parent = nullptr);
    // Waits for running jobs (they never wait for this thread) and drops their results.
    ~TThumbLoader() override;

    // Called on this object's thread for each thumbnail of the current generation.
    std::function<void(const ThumbDelivery &)> Deliver;
    // Test seam: runs on the worker before each decode.
    std::function<void(const QString &fileName)> BeforeDecode;

    // Starts a new generation: queued jobs of earlier ones are dropped, and results of
    // running ones are discarded when they arrive.
    void NewGeneration();
    // Queues `job` (taking ownership) for the current generation.
    void Start(thumbLoader *job);

    [[nodiscard]] int MaxThreads() const { return m_pool.maxThreadCount(); }
    // Waits until no job is queued or running; deliveries still wait in the event queue.
    void WaitForIdle() { m_pool.waitForDone(); }
    [[nodiscard]] quint64 Generation() const { return m_generation.load(); }

private:
    friend class thumbLoader;
    void finished(quint64 generation, ThumbDelivery delivery);

    QThreadPool m_pool;
    std::atomic<quint64> m_generation{0};
};

} // namespace glimmo
