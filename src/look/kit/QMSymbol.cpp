#include "QMSymbol.h"

#include "LookResources.h"

#include <QFile>
#include <QHash>
#include <QImage>
#include <QSvgRenderer>
#include <cmath>

namespace QMSymbol {

QString resourceFor(const QString& name) {
    ensureLookResources();
    // System symbol names ("paperplane.fill") map to the bundled file names ("paper-plane-tilt-fill").
    static const QHash<QString, QString> aliases{
        {"plus", "plus-bold"},
        {"minus", "minus-bold"},
        {"paperplane.fill", "paper-plane-tilt-fill"},
        {"lock.fill", "lock-fill"},
        {"mic.fill", "microphone-fill"},
        {"power", "power-bold"},
        {"questionmark", "question-bold"},
        {"info.circle.fill", "info-fill"},
        {"slider.horizontal.3", "sliders-horizontal-bold"},
        {"qrcode", "qr-code-bold"},
        {"checkmark", "check-bold"},
        {"music.note", "music-note-bold"},
        {"timer", "timer-bold"},
        {"wifi", "wifi-high-bold"},
        {"paintpalette.fill", "palette-fill"},
        {"bolt.fill", "lightning-fill"},
    };
    const QString file = aliases.value(name, name);
    const QString path = QStringLiteral(":/look/symbols/%1.svg").arg(file);
    return QFile::exists(path) ? path : QString();
}

void paint(QPainter& p, const QString& name, const QRectF& r, const QColor& colour) {
    const QString path = resourceFor(name);
    if (path.isEmpty() || r.isEmpty()) return;
    const double scale = std::max(1.0, std::sqrt(std::abs(p.deviceTransform().determinant())));
    const QSize px(int(std::ceil(r.width() * scale)), int(std::ceil(r.height() * scale)));
    QImage img(px, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    {
        QPainter ip(&img);
        ip.setRenderHint(QPainter::Antialiasing);
        QSvgRenderer svg(path);
        svg.setAspectRatioMode(Qt::KeepAspectRatio);
        svg.render(&ip, QRectF(QPointF(0, 0), QSizeF(px)));
        // Keep only the icon's coverage and give it the one colour.
        ip.setCompositionMode(QPainter::CompositionMode_SourceIn);
        ip.fillRect(img.rect(), colour);
    }
    p.drawImage(r, img);
}

} // namespace QMSymbol
