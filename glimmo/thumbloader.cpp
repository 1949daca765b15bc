#include "glimmo/thumbloader.h"

#include "platform/gui/jpeg.h"

#include <QImageReader>
#include <QThread>

#include <algorithm>

namespace glimmo {

int ThumbnailScaleFor(const QSize &fullSize, const QSize &cell)
{
    // libjpeg rounds each scaled side up, as DecodeJpeg documents.
    for (const int denom : {8, 4, 2}) {
        const int w = (fullSize.width() + denom - 1) / denom;
        const int h = (fullSize.height() + denom - 1) / denom;
        if (w >= cell.width() && h >= cell.height())
            return denom;
    }
    return 1;
}

namespace {

QImage toThumbnail(const QImage &decoded)
{
    // The cell draws its picture stretched to 73 x 63, aspect ratio not kept; scaling here once
    // lets the decoded picture go at once.
    return decoded.scaled(kThumbSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace

ThumbResult MakeJpegThumbnail(const QString &path)
{
    const platform::JpegHeader header = platform::ReadJpegHeaderFile(path);
    if (!header.ok)
        return {};
    const platform::JpegPicture picture = platform::DecodeJpegFile(path, ThumbnailScaleFor(header.size));
    if (!picture.ok())
        return {};
    return {toThumbnail(picture.image), false};
}

ThumbResult MakeGifThumbnail(const QString &path)
{
    QImageReader reader(path, "gif");
    const bool animated = reader.supportsAnimation() && reader.imageCount() > 1;
    const QImage first = reader.read();
    if (first.isNull())
        return {};
    return {toThumbnail(first), animated};
}

void thumbLoader::run()
{
    // The owner waits for every job before it goes, so it outlives this call.
    TThumbLoader *owner = m_owner;
    if (FileName.isEmpty() || !owner || owner->Generation() != m_generation)
        return;
    if (owner->BeforeDecode)
        owner->BeforeDecode(FileName);
    ThumbResult result;
    try {
        result = decode();
    } catch (...) {
        return; // a failed decode leaves its cell empty, without a message
    }
    if (!result.ok())
        return;
    ThumbDelivery delivery{FileName, ItemIndex, Column, Row, std::move(result)};
    const quint64 generation = m_generation;
    // Queued: a worker never waits for the user-interface thread. Posted events die with
    // the owner, so a delivery for a loader that is gone is dropped.
    QMetaObject::invokeMethod(
        owner, [owner, generation, delivery = std::move(delivery)]() mutable { owner->finished(generation, std::move(delivery)); },
        Qt::QueuedConnection);
}

TThumbLoader::TThumbLoader(QObject *parent) : QObject(parent)
{
    m_pool.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
}

TThumbLoader::~TThumbLoader()
{
    m_pool.clear();
    m_pool.waitForDone();
}

void TThumbLoader::NewGeneration()
{
    ++m_generation;
    m_pool.clear(); // jobs not yet running are deleted unrun
}

void TThumbLoader::Start(thumbLoader *job)
{
    job->m_owner = this;
    job->m_generation = m_generation.load();
    job->setAutoDelete(true);
    m_pool.start(job);
}

void TThumbLoader::finished(quint64 generation, ThumbDelivery delivery)
{
    if (generation != m_generation.load() || !Deliver)
        return; // started for an earlier build of the grid
    Deliver(delivery);
}

} // namespace glimmo
