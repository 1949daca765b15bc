#pragma once
// Windows metafiles as pictures: WMF through libwmf and EMF through libemf2svg, both turned
// into SVG and drawn with Qt SVG at the size the metafile's own header gives (96 pixels to
// the inch): for a WMF the placeable header's bounding box and units per inch, for an EMF
// the frame rectangle in 0.01 mm. A WMF without the placeable header has no size of its own
// and is refused, as the metafile picture class refuses it.

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace glimmo {

struct MetafilePicture {
    QImage image; // null on failure
    QSize size;   // from the header
    QString error;
    [[nodiscard]] bool ok() const { return !image.isNull(); }
};

// Size from the header alone; an invalid size and an error text when it is not a metafile
// of that kind.
[[nodiscard]] QSize WmfHeaderSize(const QByteArray &data, QString *error = nullptr);
[[nodiscard]] QSize EmfHeaderSize(const QByteArray &data, QString *error = nullptr);

[[nodiscard]] MetafilePicture RenderWmf(const QByteArray &data);
[[nodiscard]] MetafilePicture RenderEmf(const QByteArray &data);
// Reads the file and picks the kind from its content (the placeable WMF key or the EMF
// header record), whatever its name says.
[[nodiscard]] MetafilePicture LoadMetafile(const QString &path);

// Largest side drawn, so a forged header cannot ask for a huge raster.
inline constexpr int kMetafileMaxSide = 10000;
// Larger files are refused before they are read.
inline constexpr qint64 kMetafileMaxBytes = 64 * 1024 * 1024;

} // namespace glimmo
