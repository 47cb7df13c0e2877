#include "QR.h"

#include <qrencode.h>

#include <memory>

namespace QR {

std::optional<QImage> cgImage(const QString& text, int scale) {
    const QByteArray bytes = text.toUtf8();
    if (bytes.isEmpty() || scale < 1) return std::nullopt;
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeData(int(bytes.size()), reinterpret_cast<const unsigned char*>(bytes.constData()), 0,
                          QR_ECLEVEL_M),
        &QRcode_free);
    if (!code || code->width <= 0) return std::nullopt;
    const int modules = code->width + 2 * quietModules;
    const qint64 side = qint64(modules) * scale;
    if (side > 16384) // no sane scale needs more; keep the image allocation bounded
        return std::nullopt;
    QImage image(static_cast<int>(side), static_cast<int>(side), QImage::Format_RGB32);
    image.fill(Qt::white);
    const QRgb black = qRgb(0, 0, 0);
    for (int y = 0; y < code->width; ++y) {
        for (int x = 0; x < code->width; ++x) {
            if (!(code->data[y * code->width + x] & 1)) continue;
            const int px = (x + quietModules) * scale, py = (y + quietModules) * scale;
            for (int dy = 0; dy < scale; ++dy) {
                auto* line = reinterpret_cast<QRgb*>(image.scanLine(py + dy));
                std::fill(line + px, line + px + scale, black);
            }
        }
    }
    return image;
}

} // namespace QR
