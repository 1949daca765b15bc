#include "glimmo/imagecontrol.h"

#include <QMouseEvent>
#include <QPainter>

namespace glimmo {

TImage::TImage(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

TImage::~TImage() = default;

void TImage::SetPicture(const QImage &image)
{
    m_movie.reset();
    m_image = image;
    update();
}

void TImage::SetAnimation(std::unique_ptr<QMovie> movie)
{
    m_movie = std::move(movie);
    m_image = QImage();
    if (m_movie) {
        connect(m_movie.get(), &QMovie::frameChanged, this, [this] { update(); });
        m_movie->jumpToFrame(0);
        m_image = m_movie->currentImage();
        m_movie->start();
    }
    update();
}

QSize TImage::PictureSize() const
{
    return m_image.size();
}

QImage TImage::CurrentFrame() const
{
    return m_movie ? m_movie->currentImage() : m_image;
}

void TImage::SetStretch(bool stretch)
{
    if (m_stretch != stretch) {
        m_stretch = stretch;
        update();
    }
}

void TImage::SetCenter(bool center)
{
    if (m_center != center) {
        m_center = center;
        update();
    }
}

void TImage::paintEvent(QPaintEvent *)
{
    const QImage frame = CurrentFrame();
    if (frame.isNull())
        return;
    QPainter painter(this);
    if (m_stretch) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(rect(), frame);
    } else if (m_center) {
        painter.drawImage(QPoint((width() - frame.width()) / 2, (height() - frame.height()) / 2), frame);
    } else {
        painter.drawImage(QPoint(0, 0), frame);
    }
}

void TImage::mouseReleaseEvent(QMouseEvent *event)
{
    QWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit Clicked();
}

} // namespace glimmo
