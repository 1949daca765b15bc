#include "glimmo/metafile.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>
#include <QtEndian>

#include <cstdlib>

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>

namespace glimmo {
namespace {

constexpr quint32 kPlaceableKey = 0x9AC6CDD7u;
constexpr quint32 kEmfSignature = 0x464D4520u; // " EMF"
constexpr int kScreenDpi = 96;

quint16 u16(const QByteArray &d, int at)
{
    return qFromLittleEndian<quint16>(d.constData() + at);
}
qint16 s16(const QByteArray &d, int at)
{
    return qFromLittleEndian<qint16>(d.constData() + at);
}
quint32 u32(const QByteArray &d, int at)
{
    return qFromLittleEndian<quint32>(d.constData() + at);
}
qint32 s32(const QByteArray &d, int at)
{
    return qFromLittleEndian<qint32>(d.constData() + at);
}

QSize checkedSize(qint64 w, qint64 h, QString *error)
{
    if (w <= 0 || h <= 0 || w > kMetafileMaxSide || h > kMetafileMaxSide) {
        if (error)
            *error = QStringLiteral("metafile size %1 x %2 out of range").arg(w).arg(h);
        return QSize();
    }
    return QSize(int(w), int(h));
}

MetafilePicture failed(const QString &error)
{
    MetafilePicture picture;
    picture.error = error;
    return picture;
}

MetafilePicture renderSvg(const QByteArray &svg, QSize size)
{
    QSvgRenderer renderer(svg);
    if (!renderer.isValid())
        return failed(QStringLiteral("the metafile's drawing could not be read"));
    MetafilePicture picture;
    picture.size = size;
    picture.image = QImage(size, QImage::Format_ARGB32_Premultiplied);
    if (picture.image.isNull())
        return failed(QStringLiteral("out of memory"));
    picture.image.fill(Qt::transparent);
    QPainter painter(&picture.image);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return picture;
}

// libwmf's player, its SVG device and memory output stream, released in one place.
class WmfPlayer {
public:
    WmfPlayer()
    {
        wmfAPI_Options options{};
        options.function = wmf_svg_function;
        const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
        if (wmf_api_create(&m_api, flags, &options) != wmf_E_None)
            m_api = nullptr; // wmf_api_create destroys the API itself on failure
    }
    ~WmfPlayer()
    {
        if (m_api) {
            if (m_stream) {
                char *buffer = nullptr;
                unsigned long length = 0;
                wmf_stream_destroy(m_api, m_stream, &buffer, &length);
                wmf_free(m_api, buffer);
            }
            wmf_api_destroy(m_api);
        }
    }
    WmfPlayer(const WmfPlayer &) = delete;
    WmfPlayer &operator=(const WmfPlayer &) = delete;

    QByteArray toSvg(QByteArray data, QSize size, QString *error)
    {
        if (!m_api) {
            *error = QStringLiteral("libwmf could not start");
            return {};
        }
        // libwmf reads from a buffer it does not change, through a non-const pointer.
        if (wmf_mem_open(m_api, reinterpret_cast<unsigned char *>(data.data()), long(data.size())) != wmf_E_None) {
            *error = QStringLiteral("libwmf could not read the file");
            return {};
        }
        wmfD_Rect bbox;
        if (wmf_scan(m_api, 0, &bbox) != wmf_E_None) {
            *error = QStringLiteral("damaged WMF records (scan %1)").arg(int(m_api->err));
            return {};
        }
        wmf_svg_t *device = WMF_SVG_GetData(m_api);
        m_stream = wmf_stream_create(m_api, nullptr);
        if (!m_stream) {
            *error = QStringLiteral("out of memory");
            return {};
        }
        device->out = m_stream;
        device->Description = nullptr;
        device->bbox = bbox;
        device->width = unsigned(size.width());
        device->height = unsigned(size.height());
        if (wmf_play(m_api, 0, &bbox) != wmf_E_None) {
            *error = QStringLiteral("damaged WMF records (play %1)").arg(int(m_api->err));
            return {};
        }
        char *buffer = nullptr;
        unsigned long length = 0;
        wmf_stream_destroy(m_api, m_stream, &buffer, &length);
        m_stream = nullptr;
        // The buffer belongs to the API's own memory list, so it goes back through wmf_free.
        QByteArray svg(buffer, qsizetype(length));
        wmf_free(m_api, buffer);
        return svg;
    }

private:
    wmfAPI *m_api = nullptr;
    wmfStream *m_stream = nullptr;
};

// The libraries trust record sizes; walk them first so that a cut or damaged file is refused
// before it reaches them. Each record must lie inside the file, and the file must reach its
// end-of-file record.
bool wmfRecordsWhole(const QByteArray &d, QString *error)
{
    const qint64 size = d.size();
    qint64 at = 22;
    if (at + 18 > size || u16(d, int(at) + 2) != 9) {
        *error = QStringLiteral("damaged WMF header");
        return false;
    }
    at += 18;
    while (at + 6 <= size) {
        const qint64 bytes = qint64(u32(d, int(at))) * 2;
        const quint16 function = u16(d, int(at) + 4);
        if (bytes < 6 || at + bytes > size)
            break;
        if (function == 0)
            return true;
        at += bytes;
    }
    *error = QStringLiteral("damaged or cut WMF records");
    return false;
}

bool emfRecordsWhole(const QByteArray &d, QString *error)
{
    const qint64 size = d.size();
    qint64 at = 0;
    while (at + 8 <= size) {
        const quint32 type = u32(d, int(at));
        const qint64 bytes = u32(d, int(at) + 4);
        if (bytes < 8 || bytes % 4 != 0 || at + bytes > size)
            break;
        if (type == 14) // EMR_EOF
            return true;
        at += bytes;
    }
    *error = QStringLiteral("damaged or cut EMF records");
    return false;
}

} // namespace

QSize WmfHeaderSize(const QByteArray &data, QString *error)
{
    if (data.size() < 22 + 18 || u32(data, 0) != kPlaceableKey) {
        if (error)
            *error = QStringLiteral("not a placeable WMF");
        return QSize();
    }
    const qint64 left = s16(data, 6), top = s16(data, 8), right = s16(data, 10), bottom = s16(data, 12);
    const qint64 inch = u16(data, 14);
    if (inch == 0) {
        if (error)
            *error = QStringLiteral("WMF header without units per inch");
        return QSize();
    }
    return checkedSize(std::abs(right - left) * kScreenDpi / inch, std::abs(bottom - top) * kScreenDpi / inch, error);
}

QSize EmfHeaderSize(const QByteArray &data, QString *error)
{
    if (data.size() < 88 || u32(data, 0) != 1 || u32(data, 40) != kEmfSignature || u32(data, 4) < 88 ||
        u32(data, 4) > quint32(data.size())) {
        if (error)
            *error = QStringLiteral("not an EMF");
        return QSize();
    }
    // The frame rectangle is in 0.01 mm.
    const qint64 left = s32(data, 24), top = s32(data, 28), right = s32(data, 32), bottom = s32(data, 36);
    return checkedSize(std::abs(right - left) * kScreenDpi / 2540, std::abs(bottom - top) * kScreenDpi / 2540, error);
}

MetafilePicture RenderWmf(const QByteArray &data)
{
    QString error;
    const QSize size = WmfHeaderSize(data, &error);
    if (!size.isValid() || !wmfRecordsWhole(data, &error))
        return failed(error);
    WmfPlayer player;
    const QByteArray svg = player.toSvg(data, size, &error);
    if (svg.isEmpty())
        return failed(error.isEmpty() ? QStringLiteral("empty WMF drawing") : error);
    return renderSvg(svg, size);
}

MetafilePicture RenderEmf(const QByteArray &data)
{
    QString error;
    const QSize size = EmfHeaderSize(data, &error);
    if (!size.isValid() || !emfRecordsWhole(data, &error))
        return failed(error);
    generatorOptions options{};
    options.nameSpace = const_cast<char *>("svg");
    options.verbose = false;
    options.emfplus = true;
    options.svgDelimiter = true;
    options.imgWidth = size.width();
    options.imgHeight = size.height();
    char *svg = nullptr;
    size_t length = 0;
    QByteArray copy = data; // emf2svg takes a non-const buffer
    const int ok = emf2svg(copy.data(), size_t(copy.size()), &svg, &length, &options);
    const QByteArray document = (ok && svg) ? QByteArray(svg, qsizetype(length)) : QByteArray();
    std::free(svg);
    if (document.isEmpty())
        return failed(QStringLiteral("damaged EMF records"));
    return renderSvg(document, size);
}

MetafilePicture LoadMetafile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failed(file.errorString());
    if (file.size() > kMetafileMaxBytes)
        return failed(QStringLiteral("metafile too large"));
    const QByteArray data = file.readAll();
    if (data.size() >= 4 && u32(data, 0) == kPlaceableKey)
        return RenderWmf(data);
    if (data.size() >= 44 && u32(data, 0) == 1 && u32(data, 40) == kEmfSignature)
        return RenderEmf(data);
    return failed(QStringLiteral("not a metafile with a size of its own"));
}

} // namespace glimmo
