#pragma once
// JPEG pictures on libjpeg(-turbo): the size from the header alone, and decoding into a
// QImage at full size or at a DCT scale (1/2, 1/4, 1/8) for thumbnails.
//
// libjpeg reports fatal errors through its error manager; ours jumps back out of the library
// (longjmp) and returns the message, so a damaged file never ends the process. libjpeg-turbo
// has no limits of its own: the header's size is checked before any pixel memory is taken,
// and the number of progressive scans is capped, so a hostile file cannot ask for gigabytes
// or minutes. libjpeg merely warns about a file cut short (it pads the picture with grey);
// with `JpegCompleteness::Required` such warnings fail the decode. Pictures of 16 MB and more
// live in a mapping of their own, and the last one released is reused for the next.

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace platform {

// Largest picture decoded: 30000 pixels either way and 300 megapixels (1.2 GB as 32-bit
// pixels) in all. A 6000 x 4000 camera picture is 24 megapixels.
inline constexpr int kJpegMaxSide = 30000;
inline constexpr qint64 kJpegMaxPixels = 300'000'000;
// More scans than any encoder writes (progressive pictures have about ten).
inline constexpr int kJpegMaxScans = 1000;

enum class JpegCompleteness {
    Required, // a truncated or corrupt-data file is an error
    Tolerated // libjpeg's warnings are ignored; a cut picture is padded as libjpeg does
};

struct JpegHeader {
    bool ok = false;
    QSize size;          // the picture's own size, from the frame header
    int components = 0;  // 1 grey, 3 YCbCr/RGB, 4 CMYK/YCCK
    bool progressive = false;
    QString error;       // set when !ok
};

struct JpegPicture {
    QImage image;        // null when decoding failed
    QSize fullSize;      // the picture's own size (also when decoded at a scale)
    QString error;       // set when image is null
    [[nodiscard]] bool ok() const { return !image.isNull(); }
};

// Reads only the markers up to the first scan. The size limits above apply.
[[nodiscard]] JpegHeader ReadJpegHeader(const QByteArray &data);
[[nodiscard]] JpegHeader ReadJpegHeaderFile(const QString &path);

// Decodes at 1/`scaleDenom` of the full size (1, 2, 4 or 8; anything else is refused), as
// libjpeg's DCT scaling does: each side is rounded up. Grey pictures come back as
// Format_Grayscale8, all others as Format_RGB32; CMYK and YCCK are converted to RGB
// (Adobe's inverted CMYK, as every common encoder writes it).
[[nodiscard]] JpegPicture DecodeJpeg(const QByteArray &data, int scaleDenom = 1,
                                     JpegCompleteness completeness = JpegCompleteness::Required);
[[nodiscard]] JpegPicture DecodeJpegFile(const QString &path, int scaleDenom = 1,
                                         JpegCompleteness completeness = JpegCompleteness::Required);

} // namespace platform
