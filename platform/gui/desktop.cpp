#include "platform/gui/desktop.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QRegularExpression>

#include <utility>

namespace platform {
namespace {

DocumentOpener &opener()
{
    static DocumentOpener current;
    return current;
}

} // namespace

QUrl DocumentUrl(const QString &pathOrUrl)
{
    const QString text = pathOrUrl.trimmed();
    if (text.isEmpty())
        return QUrl();
    // Two letters at least, so a path never reads as a scheme.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (!text.startsWith(QLatin1Char('/')) && scheme.match(text).hasMatch()) {
        const QUrl url(text, QUrl::TolerantMode);
        return url.isValid() ? url : QUrl();
    }
    return QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath());
}

bool OpenDocument(const QString &pathOrUrl)
{
    const QUrl url = DocumentUrl(pathOrUrl);
    if (!url.isValid())
        return false;
    if (const DocumentOpener &open = opener())
        return open(url);
    return QDesktopServices::openUrl(url);
}

void SetDocumentOpener(DocumentOpener replacement)
{
    opener() = std::move(replacement);
}

} // namespace platform
