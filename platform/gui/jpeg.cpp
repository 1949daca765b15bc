#include "platform/gui/jpeg.h"

#include <QFile>

#include <sys/mman.h>

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>

// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace platform {
namespace {

struct ErrorManager {
    jpeg_error_mgr pub; // first, so libjpeg's pointer to it is a pointer to us
    std::jmp_buf jump;
    bool completeRequired = true;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void failWithMessage(j_common_ptr cinfo)
{
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void errorExit(j_common_ptr cinfo)
{
    failWithMessage(cinfo);
}

// Warnings that mean pixels are missing or made up: the data ended early, a segment was cut,
// or the decoder had to resynchronise. Other warnings (extraneous bytes before a marker, an
// odd JFIF version, a bad ICC chunk) leave the picture whole.
bool warningLosesPixels(int code)
{
    switch (code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_HUFF_BAD_CODE:
        return true;
    default:
        return false;
    }
}

void emitMessage(j_common_ptr cinfo, int level)
{
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    if (level >= 0)
        return; // trace messages
    err->pub.num_warnings++;
    if (err->completeRequired && warningLosesPixels(err->pub.msg_code))
        failWithMessage(cinfo);
}

void outputMessage(j_common_ptr)
{
    // Never write to stderr; messages reach the caller through JpegPicture::error.
}

void capScans(j_common_ptr cinfo)
{
    auto *dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->is_decompressor && dinfo->input_scan_number > kJpegMaxScans) {
        auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
        std::snprintf(err->message, sizeof err->message, "more than %d progressive scans", kJpegMaxScans);
        std::longjmp(err->jump, 1);
    }
}

struct Source {
    const QByteArray *data = nullptr;
    FILE *file = nullptr;
};

struct Request {
    bool headerOnly = false;
    int scaleDenom = 1;
    JpegCompleteness completeness = JpegCompleteness::Required;
};

struct Result {
    JpegHeader header;
    QImage image;
    QString error;
};

QString checkHeader(const jpeg_decompress_struct &cinfo)
{
    const qint64 w = cinfo.image_width;
    const qint64 h = cinfo.image_height;
    if (w <= 0 || h <= 0)
        return QStringLiteral("empty picture");
    if (w > kJpegMaxSide || h > kJpegMaxSide || w * h > kJpegMaxPixels)
        return QStringLiteral("picture too large (%1 x %2)").arg(w).arg(h);
    return QString();
}

// Pictures of 16 MB and more get their own mapping with transparent huge pages: a 6000 x
// 4000 picture is 96 MB, and faulting that in 4 KB pages costs a fifth of its decoding time.
// The mapping of the last such picture released is kept for the next one (a viewer shows
// big photos one after another), so its pages need neither faulting in nor zeroing again;
// at most one mapping is kept, and only for a picture that needs most of it.
constexpr qsizetype kOwnMappingBytes = 16 * 1024 * 1024;

struct Mapping {
    void *address;
    size_t length;
};

class MappingCache {
public:
    // A kept mapping of at least `length` bytes and less than twice that, or none.
    Mapping *take(size_t length)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_kept || m_kept->length < length || m_kept->length / 2 >= length)
            return nullptr;
        return std::exchange(m_kept, nullptr);
    }
    void keep(Mapping *mapping)
    {
        Mapping *old = nullptr;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            old = std::exchange(m_kept, mapping);
        }
        if (old)
            release(old);
    }
    static void release(Mapping *mapping)
    {
        munmap(mapping->address, mapping->length);
        delete mapping;
    }

private:
    std::mutex m_mutex;
    Mapping *m_kept = nullptr;
};

MappingCache &mappingCache()
{
    static MappingCache *cache = new MappingCache; // never destroyed: images may outlive statics
    return *cache;
}

void keepMapping(void *info)
{
    mappingCache().keep(static_cast<Mapping *>(info));
}

QImage allocateImage(int width, int height, QImage::Format format)
{
    const int depth = format == QImage::Format_Grayscale8 ? 1 : 4;
    const qsizetype bytesPerLine = (qsizetype(width) * depth + 3) & ~qsizetype(3);
    const qsizetype bytes = bytesPerLine * height;
    if (bytes < kOwnMappingBytes)
        return QImage(width, height, format);
    Mapping *mapping = mappingCache().take(size_t(bytes));
    if (!mapping) {
        void *address = mmap(nullptr, size_t(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (address == MAP_FAILED)
            return QImage(width, height, format);
        (void)madvise(address, size_t(bytes), MADV_HUGEPAGE); // a hint; fine when refused
        mapping = new Mapping{address, size_t(bytes)};
    }
    QImage image(static_cast<uchar *>(mapping->address), width, height, bytesPerLine, format, keepMapping, mapping);
    if (image.isNull())
        MappingCache::release(mapping);
    return image;
}

void convertCmykRow(const JSAMPLE *in, QRgb *out, JDIMENSION width)
{
    // Adobe writes CMYK inverted (0 = full ink), so the ink-free value is k x c / 255.
    for (JDIMENSION x = 0; x < width; ++x, in += 4) {
        const int k = in[3];
        out[x] = qRgb(k * in[0] / 255, k * in[1] / 255, k * in[2] / 255);
    }
}

// The libjpeg part. Everything that needs cleaning up after a longjmp lives in the caller
// (`result`, the FILE) or in libjpeg's own pools (freed by jpeg_destroy_decompress), and no
// local variable is changed between setjmp and a possible longjmp, so none needs volatile.
void run(const Source &source, const Request &request, Result *result)
{
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.emit_message = emitMessage;
    err.pub.output_message = outputMessage;
    err.completeRequired = request.completeness == JpegCompleteness::Required;
    err.message[0] = '\0';
    jpeg_progress_mgr progress;
    std::memset(&progress, 0, sizeof progress);
    progress.progress_monitor = capScans;

    if (setjmp(err.jump)) {
        result->image = QImage();
        result->header.ok = false;
        result->error = QString::fromLocal8Bit(err.message);
        if (result->error.isEmpty())
            result->error = QStringLiteral("damaged JPEG data");
        jpeg_destroy_decompress(&cinfo);
        return;
    }

    jpeg_create_decompress(&cinfo);
    cinfo.progress = &progress;
    if (source.file) {
        jpeg_stdio_src(&cinfo, source.file);
    } else {
        jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(source.data->constData()),
                     static_cast<unsigned long>(source.data->size()));
    }
    jpeg_read_header(&cinfo, TRUE);

    result->header.size = QSize(int(std::min<JDIMENSION>(cinfo.image_width, INT_MAX)),
                                int(std::min<JDIMENSION>(cinfo.image_height, INT_MAX)));
    result->header.components = cinfo.num_components;
    result->header.progressive = jpeg_has_multiple_scans(&cinfo);
    const QString refused = checkHeader(cinfo);
    if (!refused.isEmpty()) {
        result->error = refused;
        jpeg_destroy_decompress(&cinfo);
        return;
    }
    result->header.ok = true;
    if (request.headerOnly) {
        jpeg_destroy_decompress(&cinfo);
        return;
    }

    cinfo.scale_num = 1;
    cinfo.scale_denom = static_cast<unsigned int>(request.scaleDenom);
    QImage::Format format = QImage::Format_RGB32;
    bool cmyk = false;
    switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
        cinfo.out_color_space = JCS_GRAYSCALE;
        format = QImage::Format_Grayscale8;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo.out_color_space = JCS_CMYK;
        cmyk = true;
        break;
    default:
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        cinfo.out_color_space = JCS_EXT_BGRX; // the memory order of Format_RGB32, pad 0xFF
#else
        cinfo.out_color_space = JCS_EXT_XRGB;
#endif
        break;
    }
    jpeg_start_decompress(&cinfo);

    result->image = allocateImage(int(cinfo.output_width), int(cinfo.output_height), format);
    if (result->image.isNull()) {
        std::snprintf(err.message, sizeof err.message, "out of memory for %u x %u pixels",
                      cinfo.output_width, cinfo.output_height);
        std::longjmp(err.jump, 1);
    }
    JSAMPARRAY cmykRows = nullptr;
    if (cmyk)
        cmykRows = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                              cinfo.output_width * 4, 1);
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = int(cinfo.output_scanline);
        if (cmyk) {
            if (jpeg_read_scanlines(&cinfo, cmykRows, 1) == 1)
                convertCmykRow(cmykRows[0], reinterpret_cast<QRgb *>(result->image.scanLine(y)),
                               cinfo.output_width);
        } else {
            JSAMPROW row = result->image.scanLine(y);
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
}

struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};

Result runOnFile(const QString &path, const Request &request)
{
    Result result;
    std::unique_ptr<FILE, FileCloser> file(std::fopen(QFile::encodeName(path).constData(), "rb"));
    if (!file) {
        result.error = QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return result;
    }
    run(Source{nullptr, file.get()}, request, &result);
    return result;
}

Result runOnData(const QByteArray &data, const Request &request)
{
    Result result;
    if (data.isEmpty()) {
        result.error = QStringLiteral("empty file");
        return result;
    }
    run(Source{&data, nullptr}, request, &result);
    return result;
}

JpegHeader headerOf(Result result)
{
    if (!result.header.ok)
        result.header.error = result.error;
    return result.header;
}

bool validScale(int denom)
{
    return denom == 1 || denom == 2 || denom == 4 || denom == 8;
}

JpegPicture pictureOf(Result result)
{
    JpegPicture picture;
    picture.fullSize = result.header.size;
    picture.image = std::move(result.image);
    picture.error = picture.image.isNull() ? result.error : QString();
    return picture;
}

} // namespace

JpegHeader ReadJpegHeader(const QByteArray &data)
{
    return headerOf(runOnData(data, Request{true, 1, JpegCompleteness::Tolerated}));
}

JpegHeader ReadJpegHeaderFile(const QString &path)
{
    return headerOf(runOnFile(path, Request{true, 1, JpegCompleteness::Tolerated}));
}

JpegPicture DecodeJpeg(const QByteArray &data, int scaleDenom, JpegCompleteness completeness)
{
    if (!validScale(scaleDenom))
        return JpegPicture{QImage(), QSize(), QStringLiteral("unsupported scale 1/%1").arg(scaleDenom)};
    return pictureOf(runOnData(data, Request{false, scaleDenom, completeness}));
}

JpegPicture DecodeJpegFile(const QString &path, int scaleDenom, JpegCompleteness completeness)
{
    if (!validScale(scaleDenom))
        return JpegPicture{QImage(), QSize(), QStringLiteral("unsupported scale 1/%1").arg(scaleDenom)};
    return pictureOf(runOnFile(path, Request{false, scaleDenom, completeness}));
}

} // namespace platform
