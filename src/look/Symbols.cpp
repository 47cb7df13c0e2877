#include "Symbols.h"

#include "LookResources.h"

#include <QCache>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

namespace {

const QHash<QString, QString>& files() {
    static const QHash<QString, QString> map{
        {"antenna.radiowaves.left.and.right", "cell-tower-bold"},
        {"arrow.down.left", "arrow-down-left-bold"},
        {"arrow.up.right", "arrow-up-right-bold"},
        {"arrow.up.message.fill", "chat-circle-dots-fill"},
        {"arrow.up.left.and.arrow.down.right", "arrows-out-simple-bold"},
        {"battery.50", "battery-medium-bold"},
        {"bolt.fill", "lightning-fill"},
        {"checkmark", "check-bold"},
        {"checkmark.circle.fill", "check-circle-fill"},
        {"checkmark.shield.fill", "shield-check-fill"},
        {"clock", "clock-bold"},
        {"doc.on.doc", "copy-bold"},
        {"doc.text.magnifyingglass", "file-magnifying-glass-bold"},
        {"dot.radiowaves.left.and.right", "broadcast-bold"},
        {"exclamationmark.triangle.fill", "warning-fill"},
        {"eye.slash.fill", "eye-slash-fill"},
        {"forward.fill", "fast-forward-fill"},
        {"info.circle.fill", "info-fill"},
        {"lightbulb.fill", "lightbulb-fill"},
        {"lock.fill", "lock-fill"},
        {"lock.shield.fill", "shield-chevron-fill"},
        {"message.fill", "chat-circle-fill"},
        {"mic.fill", "microphone-fill"},
        {"minus", "minus-bold"},
        {"music.note", "music-note-bold"},
        {"paintpalette.fill", "palette-fill"},
        {"paperplane.fill", "paper-plane-tilt-fill"},
        {"pencil", "pencil-simple-bold"},
        {"person.badge.minus", "user-minus-bold"},
        {"person.badge.plus", "user-plus-bold"},
        {"plus", "plus-bold"},
        {"power", "power-bold"},
        {"qrcode", "qr-code-bold"},
        {"questionmark.circle", "question-bold"},
        {"rectangle.portrait.and.arrow.right", "sign-out-bold"},
        {"rectangle.portrait.on.rectangle.portrait", "cards-bold"},
        {"safari", "compass-bold"},
        {"scope", "crosshair-bold"},
        {"server.rack", "hard-drives-bold"},
        {"slider.horizontal.3", "sliders-horizontal-bold"},
        {"sos", "siren-bold"},
        {"sos.circle.fill", "siren-fill"},
        {"stop.fill", "stop-fill"},
        {"timer", "timer-bold"},
        {"wifi", "wifi-high-bold"},
        {"wrench.and.screwdriver.fill", "wrench-fill"},
        {"xmark.octagon.fill", "x-circle-fill"},
    };
    return map;
}

QSvgRenderer* renderer(const QString& name) {
    static QHash<QString, QSvgRenderer*> loaded;
    if (auto it = loaded.constFind(name); it != loaded.constEnd()) return *it;
    const auto file = files().constFind(name);
    if (file == files().constEnd()) return nullptr;
    ensureLookResources();
    auto* r = new QSvgRenderer(QStringLiteral(":/look/symbols/%1.svg").arg(*file));
    if (!r->isValid()) {
        delete r;
        r = nullptr;
    }
    loaded.insert(name, r);
    return r;
}

} // namespace

namespace Symbols {

bool has(const QString& name) {
    return files().contains(name);
}

QStringList names() {
    QStringList list = files().keys();
    list.sort();
    return list;
}

QPixmap pixmap(const QString& name, const QColor& colour, int px, qreal devicePixelRatio) {
    static QCache<QString, QPixmap> cache(400);
    const QString key =
        QStringLiteral("%1|%2|%3|%4").arg(name).arg(colour.rgba()).arg(px).arg(devicePixelRatio);
    if (QPixmap* hit = cache.object(key)) return *hit;
    QSvgRenderer* r = renderer(name);
    if (!r || px <= 0) return {};
    const int side = qMax(1, qRound(px * devicePixelRatio));
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        r->render(&p, QRectF(0, 0, side, side));
        // Tint: keep the icon's coverage, replace its colour.
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(image.rect(), colour);
    }
    QPixmap pm = QPixmap::fromImage(image);
    pm.setDevicePixelRatio(devicePixelRatio);
    cache.insert(key, new QPixmap(pm));
    return pm;
}

void paint(QPainter& painter, const QRectF& rect, const QString& name, const QColor& colour) {
    const qreal side = qMin(rect.width(), rect.height());
    if (side <= 0 || !has(name)) return;
    // Render at the resolution the painter really draws at (zoom host scaling, high-DPI screens).
    const QTransform& t = painter.deviceTransform();
    const qreal scale = qMax<qreal>(1.0, std::sqrt(qAbs(t.determinant())));
    const QPixmap pm = pixmap(name, colour, qCeil(side), scale);
    const QRectF target(rect.center().x() - side / 2, rect.center().y() - side / 2, side, side);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(target, pm, QRectF(QPointF(0, 0), QSizeF(pm.size())));
    painter.restore();
}

} // namespace Symbols
