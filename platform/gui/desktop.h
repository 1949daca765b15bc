#pragma once
// Opening a document or an address with the desktop's default handler.

#include <QString>
#include <QUrl>

#include <functional>

namespace platform {

// Hands a URL to the desktop; true when a handler took it.
using DocumentOpener = std::function<bool(const QUrl &url)>;

// The URL for `pathOrUrl`: text that starts with a scheme ("https:", "mailto:", "file:")
// is taken as an address, anything else as a file path (made absolute). Invalid or empty
// input gives an invalid URL.
[[nodiscard]] QUrl DocumentUrl(const QString &pathOrUrl);

// Opens a file with its default program or an address in the default browser. False for
// empty or invalid input and when the desktop refuses it.
[[nodiscard]] bool OpenDocument(const QString &pathOrUrl);

// Replaces the desktop (QDesktopServices::openUrl) for tests; an empty function restores it.
void SetDocumentOpener(DocumentOpener opener);

} // namespace platform
