#include "QMSegment.h"

#include "QMPaint.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

QMSegment::QMSegment(const QList<Item>& items, const QVariant& selection, QMUI* ui, QWidget* parent)
    : QMKitWidget(ui, parent), items_(items), selection_(selection) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void QMSegment::setSelection(const QVariant& value) {
    selection_ = value;
    update();
}

double QMSegment::bleed() const {
    return std::ceil(QMPaint::spread(z(6)));
}

QList<double> QMSegment::naturalWidths() const {
    const QFontMetricsF fm(segmentFont());
    QList<double> w;
    for (const Item& item : items_)
        w.append(fm.horizontalAdvance(item.second) + 2 * z(10));
    return w;
}

double QMSegment::segmentHeight() const {
    return QFontMetricsF(segmentFont()).height() + 2 * z(5);
}

QList<double> QMSegment::shareWidths(const QList<double>& natural, double available) {
    QList<double> out(natural.size(), 0.0);
    QList<bool> fixed(natural.size(), false);
    double left = available;
    int open = int(natural.size());
    // Segments wider than an equal share keep their natural width; the rest share what remains.
    bool again = true;
    while (again && open > 0) {
        again = false;
        const double share = left / open;
        for (int i = 0; i < natural.size(); ++i) {
            if (!fixed[i] && natural[i] > share) {
                fixed[i] = true;
                out[i] = natural[i];
                left -= natural[i];
                --open;
                again = true;
            }
        }
    }
    const double share = open > 0 ? std::max(0.0, left / open) : 0.0;
    for (int i = 0; i < natural.size(); ++i)
        if (!fixed[i]) out[i] = share;
    return out;
}

QList<QRectF> QMSegment::segmentRects() const {
    const QRectF track = trackRect();
    const double gap = z(3), margin = z(3);
    const int n = int(items_.size());
    const double inner = track.width() - 2 * margin - gap * std::max(0, n - 1);
    const QList<double> widths = shareWidths(naturalWidths(), inner);
    QList<QRectF> rects;
    double x = track.left() + margin;
    const double h = segmentHeight();
    const double y = track.center().y() - h / 2;
    for (int i = 0; i < n; ++i) {
        rects.append(QRectF(x, y, widths[i], h));
        x += widths[i] + gap;
    }
    return rects;
}

QSize QMSegment::sizeHint() const {
    double w = 0;
    for (double n : naturalWidths())
        w += n;
    w += z(3) * std::max<qsizetype>(0, items_.size() - 1) + 2 * z(3);
    const double h = (items_.isEmpty() ? 0.0 : segmentHeight()) + 2 * z(3);
    return QSize(int(std::ceil(w + 2 * bleed())), int(std::ceil(h + 2 * bleed())));
}

QSize QMSegment::minimumSizeHint() const {
    return sizeHint();
}

int QMSegment::segmentAt(const QPointF& pos) const {
    const QList<QRectF> rects = segmentRects();
    for (int i = 0; i < rects.size(); ++i)
        if (QMPaint::capsule(rects[i]).contains(pos)) return i;
    return -1;
}

void QMSegment::mousePressEvent(QMouseEvent* e) {
    pressed_ = e->button() == Qt::LeftButton ? segmentAt(e->position()) : -1;
}

void QMSegment::mouseReleaseEvent(QMouseEvent* e) {
    const int at = segmentAt(e->position());
    if (e->button() == Qt::LeftButton && at >= 0 && at == pressed_) {
        selection_ = items_.at(at).first;
        update();
        emit selectionWritten(selection_);
    }
    pressed_ = -1;
}

void QMSegment::paintEvent(QPaintEvent*) {
    const QMTheme& t = theme();
    QPainter p(this);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    const QRectF track = trackRect();
    const QPainterPath trackShape = QMPaint::capsule(track);
    p.fillPath(trackShape, t.well);
    QMPaint::strokeBorder(p, track, QMPaint::capsule, 1.0, QMPaint::vertical(track, t.rim()));
    p.setFont(segmentFont());
    const QList<QRectF> rects = segmentRects();
    for (int i = 0; i < rects.size(); ++i) {
        const QRectF r = rects[i];
        if (isSelected(i)) {
            const QPainterPath cap = QMPaint::capsule(r);
            QMPaint::shadow(p, cap, qmOpacity(t.accent, 0.7), z(6));
            p.fillPath(cap, QMPaint::vertical(r, QMPaint::stops({t.accent2, t.accent})));
            p.setPen(Qt::white);
        } else {
            p.setPen(t.dim);
        }
        p.drawText(r, Qt::AlignCenter, items_.at(i).second);
    }
}
