#pragma once
// QR codes for invite links: the text's UTF-8 bytes at error-correction level M, each module `scale`
// pixels square (nearest neighbour, crisp edges), with a white quiet zone of two modules.
#include <QImage>
#include <QString>

#include <optional>

namespace QR {

constexpr int quietModules = 2;

// None when the text cannot be encoded (empty, or too long for any symbol version).
std::optional<QImage> cgImage(const QString& text, int scale = 10);

} // namespace QR
