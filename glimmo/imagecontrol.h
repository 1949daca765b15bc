#pragma once
// The picture control of the viewing area: holds one picture (a still image or an animated
// GIF), drawn either scaled to the control's size (stretch) or unscaled and centred, so a
// picture larger than the control shows its middle.

#include <QImage>
#include <QMovie>
#include <QWidget>

#include <memory>

namespace glimmo {

class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget *parent = nullptr);
    ~TImage() override;

    void SetPicture(const QImage &image);
    // Plays `movie` (started here, looping as the file says) in place of a still picture.
    void SetAnimation(std::unique_ptr<QMovie> movie);

    // The picture's own size (the first frame's for an animation); empty when none.
    [[nodiscard]] QSize PictureSize() const;
    [[nodiscard]] QImage CurrentFrame() const;
    [[nodiscard]] bool IsAnimated() const { return m_movie != nullptr; }
    [[nodiscard]] const QMovie *Animation() const { return m_movie.get(); }

    [[nodiscard]] bool Stretch() const { return m_stretch; }
    void SetStretch(bool stretch);
    [[nodiscard]] bool Center() const { return m_center; }
    void SetCenter(bool center);

signals:
    // A left click (press and release on the control).
    void Clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QImage m_image;
    std::unique_ptr<QMovie> m_movie;
    bool m_stretch = false;
    bool m_center = true;
};

} // namespace glimmo
