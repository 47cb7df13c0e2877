#include "QMPaint.h"

#include <QCache>
#include <QHash>
#include <QImage>
#include <QLinearGradient>
#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

namespace QMPaint {

QPainterPath capsule(const QRectF& r) {
    QPainterPath path;
    const double radius = std::min(r.width(), r.height()) / 2.0;
    path.addRoundedRect(r, radius, radius);
    return path;
}

// A continuous corner leaves each edge this many radii before the corner point and bends with a
// curvature that rises smoothly instead of jumping to 1/radius where a circular arc would start.
static constexpr double continuousReach = 1.52866483;

QPainterPath rounded(const QRectF& r, double radius) {
    QPainterPath path;
    const double half = std::min(r.width(), r.height()) / 2.0;
    if (radius <= 0 || half <= 0) {
        path.addRect(r);
        return path;
    }
    if (radius * continuousReach > half) {
        // No room for the smooth transition on a side this short: a circular corner keeps the radius.
        const double c = std::min(radius, half);
        path.addRoundedRect(r, c, c);
        return path;
    }
    // One corner, as distances from the corner point: along the edge that leads into it (x) and
    // along the edge that leaves it (y), in radii; three cubic segments joined by short lines.
    struct Step {
        bool curve;
        QPointF c1, c2, to;
    };
    static const Step corner[] = {
        {true, {1.08849323, 0}, {0.86840689, 0}, {0.66993427, 0.06549600}},
        {false, {}, {}, {0.63149399, 0.07491100}},
        {true, {0.37282392, 0.16905899}, {0.16906013, 0.37282401}, {0.07491176, 0.63149399}},
        {false, {}, {}, {0.06549569, 0.66993493}},
        {true, {0, 0.86840701}, {0, 1.08849299}, {0, continuousReach}},
    };
    // Corners clockwise from the top right: the corner point, the way back along the incoming edge
    // and the way along the outgoing edge.
    const struct {
        QPointF at, back, out;
    } corners[] = {{r.topRight(), {-1, 0}, {0, 1}},
                   {r.bottomRight(), {0, -1}, {-1, 0}},
                   {r.bottomLeft(), {1, 0}, {0, -1}},
                   {r.topLeft(), {0, 1}, {1, 0}}};
    auto point = [radius](const auto& c, const QPointF& d) {
        return c.at + c.back * (d.x() * radius) + c.out * (d.y() * radius);
    };
    path.moveTo(point(corners[3], {0, continuousReach}));
    for (const auto& c : corners) {
        path.lineTo(point(c, {continuousReach, 0}));
        for (const Step& s : corner) {
            if (s.curve)
                path.cubicTo(point(c, s.c1), point(c, s.c2), point(c, s.to));
            else
                path.lineTo(point(c, s.to));
        }
    }
    path.closeSubpath();
    return path;
}

QPainterPath circle(const QRectF& r) {
    QPainterPath path;
    path.addEllipse(r);
    return path;
}

QBrush vertical(const QRectF& r, const QGradientStops& stops) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setStops(stops);
    return QBrush(g);
}

QBrush horizontal(const QRectF& r, const QGradientStops& stops) {
    QLinearGradient g(r.topLeft(), r.topRight());
    g.setStops(stops);
    return QBrush(g);
}

QGradientStops stops(std::initializer_list<QColor> colours) {
    QGradientStops s;
    const int n = int(colours.size());
    int i = 0;
    for (const QColor& c : colours) {
        s.append({n == 1 ? 0.0 : double(i) / (n - 1), c});
        ++i;
    }
    return s;
}

void strokeBorder(QPainter& p, const QRectF& r, const std::function<QPainterPath(const QRectF&)>& make,
                  double width, const QBrush& brush) {
    const double h = width / 2.0;
    const QRectF inner = r.adjusted(h, h, -h, -h);
    if (inner.width() < 0 || inner.height() < 0) return;
    p.save();
    QPen pen(brush, width);
    pen.setJoinStyle(Qt::MiterJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(make(inner));
    p.restore();
}

// The blur radius of the kit's shadows is read as twice the Gaussian's sigma, the usual reading of
// a "shadow radius" in drawing tools.
static double sigmaFor(double radius) {
    return radius / 2.0;
}

double spread(double radius) {
    return std::ceil(sigmaFor(radius) * 3.0) + 1.0;
}

void blurImage(QImage& image, double sigma) {
    if (sigma <= 0.01 || image.isNull()) return;
    const int w = image.width(), h = image.height();
    // Box width for three passes: sqrt(12 sigma^2 / 3 + 1).
    const int box = std::max(1, int(std::lround(std::sqrt(4.0 * sigma * sigma + 1.0))));
    const int r = box / 2;
    const int lead = r, tail = box - 1 - r;
    std::vector<quint32> line(size_t(std::max(w, h)));
    auto pass = [&](quint32* start, int count, int stride) {
        for (int i = 0; i < count; ++i)
            line[size_t(i)] = start[i * stride];
        int sum[4] = {0, 0, 0, 0};
        auto add = [&](int idx, int sign) {
            if (idx < 0 || idx >= count) return;
            const quint32 v = line[size_t(idx)];
            sum[0] += sign * int(v & 0xff);
            sum[1] += sign * int((v >> 8) & 0xff);
            sum[2] += sign * int((v >> 16) & 0xff);
            sum[3] += sign * int((v >> 24) & 0xff);
        };
        for (int k = -lead; k <= tail; ++k)
            add(k, 1);
        for (int i = 0; i < count; ++i) {
            const quint32 out = quint32(sum[0] / box) | quint32(sum[1] / box) << 8 |
                                quint32(sum[2] / box) << 16 | quint32(sum[3] / box) << 24;
            start[i * stride] = out;
            add(i - lead, -1);
            add(i + tail + 1, 1);
        }
    };
    for (int round = 0; round < 3; ++round) {
        for (int y = 0; y < h; ++y)
            pass(reinterpret_cast<quint32*>(image.scanLine(y)), w, 1);
        const int stride = int(image.bytesPerLine() / 4);
        for (int x = 0; x < w; ++x)
            pass(reinterpret_cast<quint32*>(image.bits()) + x, h, stride);
    }
}

void blurred(QPainter& p, const QRectF& bounds, double radius, const QPointF& offset,
             const std::function<void(QPainter&)>& draw) {
    const QTransform t = p.deviceTransform();
    const double scale = std::max(1e-3, std::sqrt(std::abs(t.determinant())));
    const double pad = spread(radius);
    const QRectF area = bounds.adjusted(-pad, -pad, pad, pad);
    const QSize px(int(std::ceil(area.width() * scale)), int(std::ceil(area.height() * scale)));
    if (px.isEmpty() || px.width() > 8192 || px.height() > 8192) return;
    QImage img(px, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    {
        QPainter ip(&img);
        ip.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        ip.scale(scale, scale);
        ip.translate(-area.topLeft());
        draw(ip);
    }
    blurImage(img, sigmaFor(radius) * scale);
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRectF(area.topLeft() + offset, area.size()), img);
    p.restore();
}

void shadow(QPainter& p, const QPainterPath& shape, const QColor& colour, double radius,
            const QPointF& offset) {
    if (colour.alpha() == 0) return;
    if (radius <= 0.01) {
        p.save();
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawPath(shape.translated(offset));
        p.restore();
        return;
    }
    // Blurring is the costly part and panels repaint whenever a child does: keep recent shadows,
    // keyed by the shape (moved to the origin), colour, radius and device scale.
    const QRectF bounds = shape.boundingRect();
    const QPainterPath local = shape.translated(-bounds.topLeft());
    const double scale = std::max(1e-3, std::sqrt(std::abs(p.deviceTransform().determinant())));
    size_t key =
        qHashMulti(0, colour.rgba(), qRound64(radius * 1000), qRound64(scale * 1000), local.elementCount());
    for (int i = 0; i < local.elementCount(); ++i) {
        const QPainterPath::Element e = local.elementAt(i);
        key = qHashMulti(key, qRound64(e.x * 64), qRound64(e.y * 64), int(e.type));
    }
    static QCache<size_t, QImage> cache(64 * 1024 * 1024);
    const double pad = spread(radius);
    const QRectF area = bounds.adjusted(-pad, -pad, pad, pad);
    QImage* img = cache.object(key);
    if (!img) {
        const QSize px(int(std::ceil(area.width() * scale)), int(std::ceil(area.height() * scale)));
        if (px.isEmpty() || px.width() > 8192 || px.height() > 8192) return;
        auto* made = new QImage(px, QImage::Format_ARGB32_Premultiplied);
        made->fill(Qt::transparent);
        {
            QPainter ip(made);
            ip.setRenderHint(QPainter::Antialiasing);
            ip.scale(scale, scale);
            ip.translate(pad, pad);
            ip.setPen(Qt::NoPen);
            ip.setBrush(colour);
            ip.drawPath(local);
        }
        blurImage(*made, sigmaFor(radius) * scale);
        img = made;
    }
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRectF(area.topLeft() + offset, area.size()), *img);
    p.restore();
    if (img != cache.object(key))
        cache.insert(key, img, int(std::min<qsizetype>(img->sizeInBytes(), INT_MAX)));
}

} // namespace QMPaint
