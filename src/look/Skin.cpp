#include "Skin.h"

#include <QCache>
#include <QFontMetricsF>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QRandomGenerator>
#include <QtMath>

namespace Skin {

QColor mix(const QColor& a, const QColor& b, qreal t) {
    return QColor::fromRgbF(
        float(a.redF() + (b.redF() - a.redF()) * t), float(a.greenF() + (b.greenF() - a.greenF()) * t),
        float(a.blueF() + (b.blueF() - a.blueF()) * t), float(a.alphaF() + (b.alphaF() - a.alphaF()) * t));
}

QColor alpha(const QColor& c, qreal opacity) {
    QColor out = c;
    out.setAlphaF(float(qBound<qreal>(0, c.alphaF() * opacity, 1)));
    return out;
}

// Horizontal brushing: thin streaks of random brightness, made once and tiled.
static const QPixmap& brushing() {
    static const QPixmap texture = [] {
        QImage img(512, 96, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        QRandomGenerator rng(0x7e55);
        QPainter p(&img);
        for (int i = 0; i < 1400; ++i) {
            const qreal y = rng.bounded(96.0);
            const qreal x = rng.bounded(512.0) - 100;
            const qreal len = 60 + rng.bounded(260.0);
            const bool light = rng.bounded(2) == 0;
            p.setPen(
                QPen(light ? QColor(255, 255, 255, 5 + rng.bounded(8)) : QColor(0, 0, 0, 6 + rng.bounded(9)),
                     0.5 + rng.bounded(0.6)));
            p.drawLine(QPointF(x, y), QPointF(x + len, y));
            p.drawLine(QPointF(x - 512, y), QPointF(x + len - 512, y)); // wrap so the tile repeats seamlessly
            p.drawLine(QPointF(x + 512, y), QPointF(x + len + 512, y));
        }
        return QPixmap::fromImage(img);
    }();
    return texture;
}

void metalPlate(QPainter& p, const QRectF& r, qreal corner, const Finish& f) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(r, corner, corner);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, mix(f.panelTop, Qt::white, 0.06));
    g.setColorAt(0.5, mix(f.panelTop, f.panelBottom, 0.55));
    g.setColorAt(1, f.panelBottom);
    p.fillPath(shape, g);
    p.setClipPath(shape, Qt::IntersectClip);
    p.fillRect(r, QBrush(brushing()));
    // A faint sheen across the top third, as light falling on brushed metal.
    QLinearGradient sheen(r.topLeft(), QPointF(r.left(), r.top() + r.height() * 0.45));
    sheen.setColorAt(0, QColor(255, 255, 255, 30));
    sheen.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(r, sheen);
    p.setClipping(false);
    // Bevel: a light edge on top, a dark one below, then a thin dark outline.
    p.setBrush(Qt::NoBrush);
    QLinearGradient bevel(r.topLeft(), r.bottomLeft());
    bevel.setColorAt(0, QColor(255, 255, 255, 70));
    bevel.setColorAt(0.15, QColor(255, 255, 255, 18));
    bevel.setColorAt(0.85, QColor(0, 0, 0, 30));
    bevel.setColorAt(1, QColor(0, 0, 0, 110));
    p.setPen(QPen(QBrush(bevel), 1.5));
    p.drawRoundedRect(r.adjusted(1.25, 1.25, -1.25, -1.25), qMax<qreal>(0, corner - 1.25),
                      qMax<qreal>(0, corner - 1.25));
    p.setPen(QPen(QColor(0, 0, 0, 150), 1));
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), corner, corner);
    p.restore();
}

void screw(QPainter& p, const QPointF& c, qreal radius, const Finish& f, qreal angle) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    // Countersunk hole: darker rim, lit at the bottom edge.
    QRadialGradient hole(c, radius + 1.2);
    hole.setColorAt(0.7, QColor(0, 0, 0, 160));
    hole.setColorAt(1, QColor(255, 255, 255, 40));
    p.setPen(Qt::NoPen);
    p.setBrush(hole);
    p.drawEllipse(c, radius + 1.2, radius + 1.2);
    QRadialGradient head(c - QPointF(radius * 0.35, radius * 0.45), radius * 1.5);
    head.setColorAt(0, mix(f.screw, Qt::white, 0.65));
    head.setColorAt(0.45, f.screw);
    head.setColorAt(1, mix(f.screw, Qt::black, 0.55));
    p.setBrush(head);
    p.drawEllipse(c, radius, radius);
    // Cross slot with a light lower lip.
    p.translate(c);
    p.rotate(angle);
    const qreal s = radius * 0.62;
    p.setPen(QPen(QColor(255, 255, 255, 70), qMax<qreal>(0.8, radius * 0.24), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(-s, 0.5), QPointF(s, 0.5));
    p.drawLine(QPointF(0.5, -s), QPointF(0.5, s));
    p.setPen(
        QPen(mix(f.screw, Qt::black, 0.75), qMax<qreal>(0.8, radius * 0.24), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(-s, 0), QPointF(s, 0));
    p.drawLine(QPointF(0, -s), QPointF(0, s));
    p.restore();
}

void chromeRing(QPainter& p, const QPointF& c, qreal r, qreal w, const Finish& f) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QConicalGradient g(c, 90);
    const QColor hi = mix(f.screw, Qt::white, 0.8), mid = f.screw, lo = mix(f.screw, Qt::black, 0.6);
    g.setColorAt(0.0, hi);
    g.setColorAt(0.2, lo);
    g.setColorAt(0.4, mid);
    g.setColorAt(0.55, hi);
    g.setColorAt(0.75, lo);
    g.setColorAt(0.9, mid);
    g.setColorAt(1.0, hi);
    QPainterPath ring;
    ring.addEllipse(c, r, r);
    ring.addEllipse(c, r - w, r - w);
    ring.setFillRule(Qt::OddEvenFill);
    p.fillPath(ring, g);
    p.setPen(QPen(QColor(0, 0, 0, 140), 0.8));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r - 0.4, r - 0.4);
    p.drawEllipse(c, r - w, r - w);
    p.restore();
}

void halo(QPainter& p, const QPointF& c, qreal inner, qreal outer, const QColor& colour, qreal opacity) {
    if (outer <= 0) return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient g(c, outer);
    const qreal start = qBound<qreal>(0, inner / outer, 0.99);
    g.setColorAt(0, alpha(colour, opacity));
    g.setColorAt(start, alpha(colour, opacity));
    g.setColorAt(start + (1 - start) * 0.35, alpha(colour, opacity * 0.35));
    g.setColorAt(1, alpha(colour, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(c, outer, outer);
    p.restore();
}

void dropShadow(QPainter& p, const QRectF& r, qreal corner, qreal spread, qreal opacity) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    const int steps = qMax(2, int(spread));
    for (int i = steps; i >= 1; --i) {
        const qreal d = spread * i / steps;
        p.setPen(QPen(QColor(0, 0, 0, int(255 * opacity / steps)), spread / steps + 0.5));
        p.drawRoundedRect(r.adjusted(-d, -d + 1, d, d + 1), corner + d, corner + d);
    }
    p.restore();
}

// Three box-blur passes approximate a Gaussian; the image is premultiplied ARGB.
static void blur(QImage& img, int radius) {
    if (radius < 1) return;
    const int w = img.width(), h = img.height();
    QList<quint32> tmp(qMax(w, h));
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<quint32*>(img.scanLine(y));
            for (int x = 0; x < w; ++x)
                tmp[x] = row[x];
            for (int ch = 0; ch < 32; ch += 8) {
                int sum = 0;
                for (int x = -radius; x <= radius; ++x)
                    sum += (x >= 0 && x < w) ? (tmp[x] >> ch) & 0xff : 0;
                for (int x = 0; x < w; ++x) {
                    const quint32 v = quint32(sum / (2 * radius + 1));
                    row[x] = (row[x] & ~(0xffu << ch)) | (v << ch);
                    const int out = x - radius, in = x + radius + 1;
                    sum += (in < w ? (tmp[in] >> ch) & 0xff : 0) - (out >= 0 ? (tmp[out] >> ch) & 0xff : 0);
                }
            }
        }
        for (int x = 0; x < w; ++x) {
            for (int y = 0; y < h; ++y)
                tmp[y] = reinterpret_cast<quint32*>(img.scanLine(y))[x];
            for (int ch = 0; ch < 32; ch += 8) {
                int sum = 0;
                for (int y = -radius; y <= radius; ++y)
                    sum += (y >= 0 && y < h) ? (tmp[y] >> ch) & 0xff : 0;
                for (int y = 0; y < h; ++y) {
                    auto* px = reinterpret_cast<quint32*>(img.scanLine(y)) + x;
                    const quint32 v = quint32(sum / (2 * radius + 1));
                    *px = (*px & ~(0xffu << ch)) | (v << ch);
                    const int out = y - radius, in = y + radius + 1;
                    sum += (in < h ? (tmp[in] >> ch) & 0xff : 0) - (out >= 0 ? (tmp[out] >> ch) & 0xff : 0);
                }
            }
        }
    }
}

void glowText(QPainter& p, const QRectF& r, int flags, const QString& text, const QFont& font,
              const QColor& colour, qreal glowOpacity, qreal glowRadius) {
    if (text.isEmpty()) return;
    const qreal scale = deviceScale(p);
    const int pad = qCeil(glowRadius * 2) + 2;
    // Only the ink needs a glow: blur the text's own bounds, not the whole line.
    const QRectF ink = QFontMetricsF(font).boundingRect(r, flags, text).adjusted(-1, -1, 1, 1);
    static QCache<QString, QPixmap> cache(300);
    const QString key = QStringLiteral("%1|%2|%3|%4|%5|%6|%7x%8|%9")
                            .arg(text, font.key())
                            .arg(colour.rgba())
                            .arg(glowRadius)
                            .arg(scale)
                            .arg(flags)
                            .arg(ink.width())
                            .arg(ink.height())
                            .arg(glowOpacity);
    QPixmap* glow = cache.object(key);
    if (!glow) {
        const QSize px = ((ink.size() + QSizeF(2 * pad, 2 * pad)) * scale).toSize().expandedTo(QSize(1, 1));
        QImage img(px, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        {
            QPainter ip(&img);
            ip.setRenderHint(QPainter::TextAntialiasing);
            ip.scale(scale, scale);
            ip.setFont(font);
            ip.setPen(alpha(colour, glowOpacity));
            ip.drawText(QRectF(QPointF(pad, pad), ink.size()),
                        (flags & ~Qt::AlignHorizontal_Mask & ~Qt::AlignVertical_Mask) | Qt::AlignCenter,
                        text);
        }
        blur(img, qMax(1, qRound(glowRadius * scale * 0.6)));
        auto* pm = new QPixmap(QPixmap::fromImage(img));
        pm->setDevicePixelRatio(scale);
        cache.insert(key, pm);
        glow = pm;
    }
    p.save();
    p.drawPixmap(QPointF(ink.left() - pad, ink.top() - pad), *glow);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(r, flags, text);
    p.restore();
}

void engravedText(QPainter& p, const QRectF& r, int flags, const QString& text, const QFont& font,
                  const QColor& colour) {
    p.save();
    p.setFont(font);
    p.setPen(QColor(0, 0, 0, int(150 * colour.alphaF())));
    p.drawText(r.translated(0, 1), flags, text);
    p.setPen(colour);
    p.drawText(r, flags, text);
    p.restore();
}

qreal deviceScale(const QPainter& p) {
    return qMax<qreal>(0.25, std::sqrt(qAbs(p.deviceTransform().determinant())));
}

namespace {

// Where a layer has any ink, as rectangles of whole 16-pixel tiles: runs of tiles along a row, with
// rows of the same runs joined. Blending the empty inside of a frame or around a line of text costs as
// much memory traffic as blending ink.
QList<QRect> inkOf(const QImage& img) {
    constexpr int tile = 16;
    const int w = img.width(), h = img.height();
    const int cols = (w + tile - 1) / tile, rows = (h + tile - 1) / tile;
    QList<QRect> out;
    QList<std::pair<int, int>> previous; // the last tile row's runs, as [first, end) columns
    qsizetype previousFirst = 0;         // where their rectangles start in `out`
    QList<bool> inked(cols);
    for (int row = 0; row < rows; ++row) {
        inked.fill(false);
        const int top = row * tile, bottom = std::min(h, top + tile);
        for (int y = top; y < bottom; ++y) {
            const auto* line = reinterpret_cast<const quint32*>(img.constScanLine(y));
            for (int c = 0; c < cols; ++c) {
                if (inked[c]) continue;
                for (int x = c * tile, end = std::min(w, x + tile); x < end; ++x)
                    if (line[x] != 0) { // premultiplied: no alpha, no colour
                        inked[c] = true;
                        break;
                    }
            }
        }
        QList<std::pair<int, int>> runs;
        for (int c = 0; c < cols; ++c) {
            if (!inked[c]) continue;
            if (!runs.isEmpty() && runs.last().second == c)
                runs.last().second = c + 1;
            else
                runs.append({c, c + 1});
        }
        if (!runs.isEmpty() && runs == previous) {
            for (qsizetype i = 0; i < runs.size(); ++i)
                out[previousFirst + i].setBottom(bottom - 1);
            continue;
        }
        previous = runs;
        previousFirst = out.size();
        for (const auto& [first, end] : runs)
            out.append(QRect(QPoint(first * tile, top), QPoint(std::min(w, end * tile) - 1, bottom - 1)));
    }
    return out;
}

} // namespace

struct LayerImage {
    QPixmap pixmap;
    QList<QRect> ink; // device pixels
};

namespace {

// A layer of `size` logical pixels at `scale`, painted by `draw` with `hints` added.
LayerImage drawLayer(const QSizeF& size, qreal scale, const std::function<void(QPainter&)>& draw,
                     QPainter::RenderHints hints) {
    QImage img(qCeil(size.width() * scale), qCeil(size.height() * scale),
               QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    {
        QPainter ip(&img);
        ip.setRenderHints(hints);
        ip.scale(scale, scale);
        draw(ip);
    }
    LayerImage out;
    out.ink = inkOf(img);
    out.pixmap = QPixmap::fromImage(std::move(img));
    out.pixmap.setDevicePixelRatio(scale);
    return out;
}

// Drawn pixel for pixel, only where it has ink, when the layer lands on whole device pixels; whole and
// smoothed in between (pieces would show their seams).
void blitLayer(QPainter& p, const LayerImage& layer) {
    const QTransform& t = p.deviceTransform();
    const bool aligned = t.type() <= QTransform::TxScale && std::abs(t.dx() - std::round(t.dx())) < 1e-6 &&
                         std::abs(t.dy() - std::round(t.dy())) < 1e-6;
    const bool smooth = p.testRenderHint(QPainter::SmoothPixmapTransform);
    if (smooth != !aligned) p.setRenderHint(QPainter::SmoothPixmapTransform, !aligned);
    const QPixmap& pm = layer.pixmap;
    if (!aligned || (layer.ink.size() == 1 && layer.ink.first() == pm.rect())) {
        p.drawPixmap(QPointF(0, 0), pm);
    } else {
        const qreal scale = pm.devicePixelRatio();
        for (const QRect& r : layer.ink)
            p.drawPixmap(QRectF(r.x() / scale, r.y() / scale, r.width() / scale, r.height() / scale), pm,
                         QRectF(r));
    }
    if (smooth != !aligned) p.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
}

} // namespace

void cachedLayer(QPainter& p, const QSizeF& size, const QString& key,
                 const std::function<void(QPainter&)>& draw) {
    if (size.isEmpty()) return;
    static QCache<QString, LayerImage> cache(96 * 1024); // cost in KiB
    const qreal scale = deviceScale(p);
    constexpr int shortest = QLocale::FloatingPointShortest;
    const QString k = key + QLatin1Char('|') + QString::number(size.width(), 'g', shortest) +
                      QLatin1Char('x') + QString::number(size.height(), 'g', shortest) + QLatin1Char('|') +
                      QString::number(scale, 'g', shortest);
    LayerImage* layer = cache.object(k);
    if (!layer) {
        constexpr QPainter::RenderHints hints =
            QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform;
        layer = new LayerImage(drawLayer(size, scale, draw, hints));
        const int cost = qMax(1, int(qint64(layer->pixmap.width()) * layer->pixmap.height() * 4 / 1024));
        if (!cache.insert(k, layer, cost)) { // larger than the whole cache: draw directly
            draw(p);
            return;
        }
    }
    blitLayer(p, *layer);
}

Layer::Layer() = default;
Layer::~Layer() = default;

void Layer::clear() {
    image_.reset();
}

void Layer::paint(QPainter& p, const QSizeF& size, const QString& key,
                  const std::function<void(QPainter&)>& draw) {
    if (size.isEmpty()) return;
    const qreal ratio = p.device()->devicePixelRatio();
    const QTransform& t = p.deviceTransform();
    const bool plain = t.type() <= QTransform::TxScale && qFuzzyCompare(t.m11(), ratio) &&
                       qFuzzyCompare(t.m22(), ratio) && std::abs(t.dx() - std::round(t.dx())) < 1e-6 &&
                       std::abs(t.dy() - std::round(t.dy())) < 1e-6;
    if (!plain) {
        p.save();
        draw(p);
        p.restore();
        return;
    }
    const QPainter::RenderHints hints = p.renderHints();
    if (!image_ || key != key_ || size != size_ || ratio != ratio_ || hints != hints_) {
        // At the device's own pixel ratio, so what asks the device for it (a style's cached pixmaps,
        // icons) finds the same as on the widget; in the painter's state as the widget's paint begins.
        QImage img(qCeil(size.width() * ratio), qCeil(size.height() * ratio),
                   QImage::Format_ARGB32_Premultiplied);
        img.setDevicePixelRatio(ratio);
        img.fill(Qt::transparent);
        {
            QPainter ip(&img);
            ip.setRenderHints(QPainter::RenderHints::fromInt(~0), false);
            ip.setRenderHints(hints);
            ip.setPen(p.pen());
            ip.setBrush(p.brush());
            ip.setBackground(p.background());
            ip.setBackgroundMode(p.backgroundMode());
            ip.setFont(p.font());
            ip.setLayoutDirection(p.layoutDirection());
            draw(ip);
        }
        image_ = std::make_unique<LayerImage>();
        image_->ink = inkOf(img);
        image_->pixmap = QPixmap::fromImage(std::move(img));
        key_ = key;
        size_ = size;
        ratio_ = ratio;
        hints_ = hints;
    }
    blitLayer(p, *image_);
}

QString key(const Finish& f) {
    return f.id + QLatin1Char(':') + QString::number(f.panelTop.rgba(), 16);
}

void focusRing(QPainter& p, const QPainterPath& shape) {
    p.save();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 0, 0, 210), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(shape);
    p.setPen(QPen(QColor(255, 255, 255, 245), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(shape);
    p.restore();
}

} // namespace Skin
