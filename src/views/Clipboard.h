#pragma once
// The system clipboard as the views use it: plain text in, plain text out. Main thread only.
#include <QString>
#include <optional>

namespace Clipboard {
// Replaces whatever the clipboard held (every format) with the text.
void copy(const QString& text);
// The clipboard's text, or none when it holds no text at all (an image, nothing). An empty text is "".
std::optional<QString> text();
} // namespace Clipboard
