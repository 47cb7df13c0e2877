#include "Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace Clipboard {

void copy(const QString& text) {
    // The selection (X11 primary) is left alone: only the clipboard is ours to set.
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

std::optional<QString> text() {
    // QClipboard::text() alone gives "" both for no text and for an empty text.
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText()) return std::nullopt;
    return data->text();
}

} // namespace Clipboard
