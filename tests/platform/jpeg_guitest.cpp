#include "platform/gui/jpeg.h"

#include "tests/support/testenv.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace {

const QString kWuffs = QStringLiteral(TRAWLIX_CORPUS_DIR "/images/wuffs/");

QByteArray encodeWithQt(const QImage &image, int quality = 90)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "JPEG", quality));
    return bytes;
}

QImage gradient(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x * 255 / std::max(1, w - 1), y * 255 / std::max(1, h - 1), 128));
    return image;
}

// A CMYK JPEG as Photoshop writes it (Adobe marker, inverted inks), made with libjpeg itself
// since Qt cannot write CMYK. Every pixel is pure red: no cyan ink, full magenta and yellow.
QByteArray cmykRedJpeg(int w, int h)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char *out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = JDIMENSION(w);
    cinfo.image_height = JDIMENSION(h);
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(size_t(w) * 4);
    for (int x = 0; x < w; ++x) {
        // Inverted: 255 means no ink.
        row[size_t(x) * 4 + 0] = 255; // cyan: none
        row[size_t(x) * 4 + 1] = 0;   // magenta: full
        row[size_t(x) * 4 + 2] = 0;   // yellow: full
        row[size_t(x) * 4 + 3] = 255; // black: none
    }
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&cinfo, &p, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char *>(out), qsizetype(outSize));
    std::free(out);
    return bytes;
}

// Rewrites the frame size in a baseline JPEG's SOF0 header.
QByteArray withFrameSize(QByteArray jpeg, int w, int h)
{
    for (qsizetype i = 2; i + 9 < jpeg.size(); ++i) {
        if (uchar(jpeg[i]) == 0xFF && (uchar(jpeg[i + 1]) == 0xC0 || uchar(jpeg[i + 1]) == 0xC2)) {
            jpeg[i + 5] = char(h >> 8);
            jpeg[i + 6] = char(h & 0xFF);
            jpeg[i + 7] = char(w >> 8);
            jpeg[i + 8] = char(w & 0xFF);
            return jpeg;
        }
    }
    ADD_FAILURE() << "no SOF marker";
    return jpeg;
}

int maxChannelDifference(const QImage &a, const QImage &b)
{
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

TEST(Jpeg, DecodesColourAndGreyAtFullSize)
{
    const QImage original = gradient(64, 48);
    const QByteArray bytes = encodeWithQt(original, 95);

    const platform::JpegHeader header = platform::ReadJpegHeader(bytes);
    ASSERT_TRUE(header.ok) << header.error.toStdString();
    EXPECT_EQ(header.size, QSize(64, 48));
    EXPECT_EQ(header.components, 3);
    EXPECT_FALSE(header.progressive);

    const platform::JpegPicture picture = platform::DecodeJpeg(bytes);
    ASSERT_TRUE(picture.ok()) << picture.error.toStdString();
    EXPECT_EQ(picture.image.format(), QImage::Format_RGB32);
    EXPECT_EQ(picture.image.size(), QSize(64, 48));
    EXPECT_LE(maxChannelDifference(picture.image, original), 12);
    // Format_RGB32 requires an opaque pad byte.
    EXPECT_EQ(qAlpha(picture.image.pixel(10, 10)), 255);

    const QByteArray greyBytes = encodeWithQt(original.convertToFormat(QImage::Format_Grayscale8), 95);
    const platform::JpegPicture grey = platform::DecodeJpeg(greyBytes);
    ASSERT_TRUE(grey.ok()) << grey.error.toStdString();
    EXPECT_EQ(grey.image.format(), QImage::Format_Grayscale8);
    EXPECT_EQ(platform::ReadJpegHeader(greyBytes).components, 1);
}

// 2100 x 2000 x 4 bytes is past the size that gets a mapping of its own.
TEST(Jpeg, LargePicturesDecodeAndOutliveTheirCopies)
{
    const QImage original = gradient(2100, 2000);
    const platform::JpegPicture picture = platform::DecodeJpeg(encodeWithQt(original, 95));
    ASSERT_TRUE(picture.ok()) << picture.error.toStdString();
    EXPECT_EQ(picture.image.size(), QSize(2100, 2000));
    EXPECT_LE(maxChannelDifference(picture.image, original), 12);
    QImage shared = picture.image;  // shares the mapping
    QImage copy = picture.image.copy(0, 0, 10, 10);
    shared.setPixel(0, 0, qRgb(1, 2, 3)); // detaches: the picture keeps its pixels
    EXPECT_NE(picture.image.pixel(0, 0), shared.pixel(0, 0));
    EXPECT_EQ(copy.pixel(5, 5), picture.image.pixel(5, 5));
}

// A released big picture's memory is reused for the next one: the next picture must show
// its own pixels only, also where it is grey and the previous one was not.
TEST(Jpeg, TheNextLargePictureOverwritesReusedMemory)
{
    const QImage first = gradient(2100, 2000);
    QImage second = first.convertToFormat(QImage::Format_Grayscale8).convertToFormat(QImage::Format_RGB32);
    second.fill(qRgb(10, 200, 60));
    {
        const platform::JpegPicture picture = platform::DecodeJpeg(encodeWithQt(first, 95));
        ASSERT_TRUE(picture.ok());
    }
    const platform::JpegPicture picture = platform::DecodeJpeg(encodeWithQt(second, 95));
    ASSERT_TRUE(picture.ok()) << picture.error.toStdString();
    EXPECT_LE(maxChannelDifference(picture.image, second), 12);
    // A cut picture decoded where a complete one is required leaves nothing behind.
    const QByteArray whole = encodeWithQt(first, 95);
    EXPECT_FALSE(platform::DecodeJpeg(whole.left(whole.size() / 2)).ok());
    const platform::JpegPicture again = platform::DecodeJpeg(whole);
    ASSERT_TRUE(again.ok());
    EXPECT_LE(maxChannelDifference(again.image, first), 12);
}

TEST(Jpeg, ConvertsAdobeCmykToRgb)
{
    const platform::JpegPicture picture = platform::DecodeJpeg(cmykRedJpeg(16, 8));
    ASSERT_TRUE(picture.ok()) << picture.error.toStdString();
    EXPECT_EQ(picture.image.size(), QSize(16, 8));
    const QRgb p = picture.image.pixel(8, 4);
    EXPECT_GE(qRed(p), 245);
    EXPECT_LE(qGreen(p), 10);
    EXPECT_LE(qBlue(p), 10);
}

TEST(Jpeg, DctScalesRoundEachSideUp)
{
    const QByteArray bytes = encodeWithQt(gradient(101, 37));
    const struct {
        int denom;
        QSize expected;
    } cases[] = {{1, {101, 37}}, {2, {51, 19}}, {4, {26, 10}}, {8, {13, 5}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.denom);
        const platform::JpegPicture picture = platform::DecodeJpeg(bytes, c.denom);
        ASSERT_TRUE(picture.ok()) << picture.error.toStdString();
        EXPECT_EQ(picture.image.size(), c.expected);
        EXPECT_EQ(picture.fullSize, QSize(101, 37));
    }
    for (int bad : {0, 3, 16, -1}) {
        SCOPED_TRACE(bad);
        const platform::JpegPicture picture = platform::DecodeJpeg(bytes, bad);
        EXPECT_FALSE(picture.ok());
        EXPECT_FALSE(picture.error.isEmpty());
    }
}

TEST(Jpeg, RefusesAbsurdSizesFromTheHeaderBeforeDecoding)
{
    const QByteArray small = encodeWithQt(gradient(16, 16));
    const struct {
        int w, h;
    } cases[] = {{60000, 60000}, {30001, 10}, {10, 30001}, {20000, 20000}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
        const QByteArray forged = withFrameSize(small, c.w, c.h);
        const platform::JpegHeader header = platform::ReadJpegHeader(forged);
        EXPECT_FALSE(header.ok);
        EXPECT_EQ(header.size, QSize(c.w, c.h));
        EXPECT_TRUE(header.error.contains("too large")) << header.error.toStdString();
        const platform::JpegPicture picture = platform::DecodeJpeg(forged, 1, platform::JpegCompleteness::Tolerated);
        EXPECT_FALSE(picture.ok());
    }
    // A zero height is refused by libjpeg itself.
    EXPECT_FALSE(platform::ReadJpegHeader(withFrameSize(small, 16, 0)).ok);
}

TEST(Jpeg, TruncationFailsOnlyWhereACompletePictureIsRequired)
{
    const QByteArray whole = encodeWithQt(gradient(200, 200));
    const QByteArray cut = whole.left(whole.size() / 2);
    const platform::JpegPicture strict = platform::DecodeJpeg(cut);
    EXPECT_FALSE(strict.ok());
    EXPECT_TRUE(strict.error.contains("Premature end")) << strict.error.toStdString();
    const platform::JpegPicture padded = platform::DecodeJpeg(cut, 1, platform::JpegCompleteness::Tolerated);
    ASSERT_TRUE(padded.ok()) << padded.error.toStdString();
    EXPECT_EQ(padded.image.size(), QSize(200, 200));
    // The header alone is still readable from the first half.
    EXPECT_TRUE(platform::ReadJpegHeader(cut).ok);
}

TEST(Jpeg, GarbageAndMissingFilesAreErrorsNotCrashes)
{
    const QByteArray whole = encodeWithQt(gradient(32, 32));
    const struct {
        const char *what;
        QByteArray data;
    } cases[] = {
        {"empty", QByteArray()},
        {"png bytes", QByteArray::fromHex("89504e470d0a1a0a0000000d49484452")},
        {"marker only", QByteArray::fromHex("ffd8")},
        {"text", QByteArray("not a picture at all")},
        {"header cut in the middle", whole.left(40)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const platform::JpegPicture picture = platform::DecodeJpeg(c.data);
        EXPECT_FALSE(picture.ok());
        EXPECT_FALSE(picture.error.isEmpty());
        EXPECT_FALSE(platform::ReadJpegHeader(c.data).ok);
    }
    const platform::JpegPicture missing = platform::DecodeJpegFile(testenv::root() + "/no-such.jpg");
    EXPECT_FALSE(missing.ok());
    EXPECT_TRUE(missing.error.contains("cannot open")) << missing.error.toStdString();
}

TEST(Jpeg, FileAndMemoryDecodingAgree)
{
    const QString path = testenv::root() + "/pic.jpg";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(encodeWithQt(gradient(40, 30)));
    file.close();
    const platform::JpegPicture fromFile = platform::DecodeJpegFile(path);
    ASSERT_TRUE(fromFile.ok());
    QFile again(path);
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_EQ(fromFile.image, platform::DecodeJpeg(again.readAll()).image);
    EXPECT_EQ(platform::ReadJpegHeaderFile(path).size, QSize(40, 30));
}

// Real-world files: odd subsampling, progressive, grey, damaged markers and cut files.
TEST(Jpeg, CorpusFilesDecodeOrFailCleanly)
{
    if (!QFileInfo(kWuffs).isDir())
        GTEST_SKIP() << "no corpus at " << kWuffs.toStdString();
    const struct {
        const char *name;
        bool strictOk;   // decodes with a complete picture required
        bool tolerantOk; // decodes with warnings tolerated
    } cases[] = {
        {"peacock.default.jpeg", true, true},
        {"peacock.progressive.jpeg", true, true},
        {"peacock.grayscale.jpeg", true, true},
        {"peacock.s-very-weird.jpeg", true, true},
        {"peacock.s1x3.jpeg", true, true},
        {"peacock.s2x1-422.jpeg", true, true},
        {"peacock.default.truncated.jpeg", false, true},
        {"peacock.progressive.truncated.jpeg", false, true},
        {"hippopotamus-bad-comment-length.jpeg", true, true},
        {"hippopotamus-sof-dht-swap.jpeg", true, true},
        {"mona-lisa.21x32.q50.jpeg", true, true},
        {"bricks-gray.jpeg", true, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = kWuffs + c.name;
        const QSize qtSize = QImageReader(path).size();
        const platform::JpegHeader header = platform::ReadJpegHeaderFile(path);
        ASSERT_TRUE(header.ok) << header.error.toStdString();
        EXPECT_EQ(header.size, qtSize);
        const platform::JpegPicture strict = platform::DecodeJpegFile(path);
        EXPECT_EQ(strict.ok(), c.strictOk) << strict.error.toStdString();
        const platform::JpegPicture tolerant =
            platform::DecodeJpegFile(path, 1, platform::JpegCompleteness::Tolerated);
        EXPECT_EQ(tolerant.ok(), c.tolerantOk) << tolerant.error.toStdString();
        if (tolerant.ok()) {
            EXPECT_EQ(tolerant.image.size(), qtSize);
        }
    }
}

} // namespace
