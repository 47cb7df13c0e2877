#include "QMKnob.h"

#include "QMPaint.h"

#include <QConicalGradient>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <cmath>
#include <cstdio>

QMKnob::QMKnob(double value, double lower, double upper, double size, const QString& label, Format format,
               QMUI* ui, QWidget* parent)
    : QMKitWidget(ui, parent), value_(value), lower_(lower), upper_(std::max(lower, upper)), size_(size),
      label_(label), format_(format ? std::move(format) : Format(&QMKnob::defaultFormat)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void QMKnob::setValue(double v) {
    value_ = v;
    updateGeometry();
    update();
}

QString QMKnob::defaultFormat(double v) {
    // The C library's printf, not QString::asprintf: Qt's formatter rounds halves away from zero
    // (2.5 -> "3"), printf to even (2.5 -> "2").
    char text[400]; // %.0f of the largest double has 309 digits
    std::snprintf(text, sizeof text, "%.0f", v);
    return QString::fromLatin1(text);
}

double QMKnob::fraction(double value, double lower, double upper) {
    const double f = (value - lower) / (upper - lower);
    if (std::isnan(f) || !(f >= 0)) return 0.0;
    return std::min(f, 1.0);
}

double QMKnob::dragValue(double start, double dy, double lower, double upper) {
    const double n = start + (-dy / 180.0) * (upper - lower);
    if (std::isnan(n)) return lower;
    return std::min(std::max(n, lower), upper);
}

QFont QMKnob::captionFont() const {
    QFont f = ui().font(9.5, QFont::ExtraBold);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 1.0);
    return f;
}

double QMKnob::bleed() const {
    // The arcs are stroked on the dial's own circle, so half their width lies outside it.
    const double d = dial();
    return std::ceil(0.045 * d + QMPaint::spread(0.08 * d));
}

QRectF QMKnob::dialRect() const {
    const QRectF f = face();
    const double d = dial();
    return QRectF(f.center().x() - d / 2, f.top(), d, d);
}

QRectF QMKnob::captionRect() const {
    if (label_.isEmpty()) return {};
    const QFontMetricsF fm(captionFont());
    const double w = fm.horizontalAdvance(label_.toUpper());
    return QRectF(face().center().x() - w / 2, dialRect().bottom() + z(4), w, fm.height());
}

QRectF QMKnob::readoutRect() const {
    const QFontMetricsF fm(readoutFont());
    const double w = fm.horizontalAdvance(readout());
    const double top = (label_.isEmpty() ? dialRect().bottom() : captionRect().bottom()) + z(4);
    return QRectF(face().center().x() - w / 2, top, w, fm.height());
}

QSize QMKnob::sizeHint() const {
    const double d = dial();
    double w = d, h = d;
    if (!label_.isEmpty()) {
        const QFontMetricsF fm(captionFont());
        w = std::max(w, fm.horizontalAdvance(label_.toUpper()));
        h += z(4) + fm.height();
    }
    const QFontMetricsF rm(readoutFont());
    w = std::max(w, rm.horizontalAdvance(readout()));
    h += z(4) + rm.height();
    return QSize(int(std::ceil(w + 2 * bleed())), int(std::ceil(h + 2 * bleed())));
}

bool QMKnob::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        if (dialRect().contains(help->pos()))
            QToolTip::showText(help->globalPos(), tr("Drag up or down to change"), this, dialRect().toRect());
        else
            QToolTip::hideText();
        return true;
    }
    return QMKitWidget::event(e);
}

void QMKnob::mousePressEvent(QMouseEvent* e) {
    // Only the dial's disc takes the pointer, not the corners of its square.
    if (e->button() == Qt::LeftButton && QMPaint::circle(dialRect()).contains(e->position()))
        pressAt_ = e->position();
}

void QMKnob::mouseMoveEvent(QMouseEvent* e) {
    if (!pressAt_) return;
    const QPointF delta = e->position() - *pressAt_;
    if (!start_ && std::hypot(delta.x(), delta.y()) < 1.0) return;
    if (!start_) start_ = value_;
    value_ = dragValue(*start_, delta.y(), lower_, upper_);
    updateGeometry();
    update();
    emit valueWritten(value_);
}

void QMKnob::mouseReleaseEvent(QMouseEvent*) {
    pressAt_.reset();
    start_.reset();
}

void QMKnob::paintEvent(QPaintEvent*) {
    const QMTheme& t = theme();
    QPainter p(this);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    const QRectF dr = dialRect();
    const double d = dr.width();
    const QPointF c0 = dr.center();
    const double c = fraction(value_, lower_, upper_);

    // Arcs start at 135 degrees clockwise from 3 o'clock (lower left); Qt counts counter-clockwise.
    auto arc = [&](double sweep) {
        QPainterPath path;
        path.arcMoveTo(dr, -135.0);
        path.arcTo(dr, -135.0, -sweep);
        return path;
    };
    QPen trackPen(t.well, 0.09 * d, Qt::SolidLine, Qt::RoundCap);
    p.strokePath(arc(270.0), trackPen);
    if (c > 0) {
        const QPainterPath value = arc(270.0 * c);
        const QBrush grad = QMPaint::horizontal(dr, QMPaint::stops({t.accent, t.accent2}));
        QPen valuePen(grad, 0.09 * d, Qt::SolidLine, Qt::RoundCap);
        QMPaint::blurred(
            p, dr.adjusted(-0.05 * d, -0.05 * d, 0.05 * d, 0.05 * d), 0.08 * d, {}, [&](QPainter& ip) {
                ip.strokePath(value, QPen(qmOpacity(t.accent, 0.9), 0.09 * d, Qt::SolidLine, Qt::RoundCap));
            });
        p.strokePath(value, valuePen);
    }

    const QRectF body = dr.adjusted(0.16 * d, 0.16 * d, -0.16 * d, -0.16 * d);
    const QPainterPath bodyShape = QMPaint::circle(body);
    QMPaint::shadow(p, bodyShape, QColor::fromRgbF(0, 0, 0, 0.6f), 0.06 * d, QPointF(0, 0.04 * d));
    p.fillPath(bodyShape, QMPaint::vertical(body, t.chrome()));
    QMPaint::strokeBorder(p, body, QMPaint::circle, 1.0, QMPaint::vertical(body, t.rim()));

    const QRectF cap = dr.adjusted(0.2 * d, 0.2 * d, -0.2 * d, -0.2 * d);
    // Conic sheen from 3 o'clock running clockwise; Qt's conical gradient runs counter-clockwise.
    QConicalGradient sheen(c0, 0);
    const QColor w35 = QColor::fromRgbF(1, 1, 1, 0.35f), w25 = QColor::fromRgbF(1, 1, 1, 0.25f);
    const QColor clear = QColor::fromRgbF(1, 1, 1, 0);
    sheen.setStops({{0.0, w35}, {0.25, clear}, {0.5, w25}, {0.75, clear}, {1.0, w35}});
    p.save();
    p.translate(c0);
    p.scale(1, -1);
    p.translate(-c0);
    p.fillPath(QMPaint::circle(cap), sheen);
    p.restore();

    p.save();
    p.translate(c0);
    p.rotate(indicatorAngle(c));
    const QRectF mark(-0.03 * d, -0.22 * d - 0.1 * d, 0.06 * d, 0.2 * d);
    const QPainterPath markShape = QMPaint::capsule(mark);
    QMPaint::shadow(p, markShape, t.accent, 3);
    p.fillPath(markShape, t.accent);
    p.restore();

    if (!label_.isEmpty()) {
        p.setFont(captionFont());
        p.setPen(t.dim);
        p.drawText(captionRect(), Qt::AlignCenter, label_.toUpper());
    }
    p.setFont(readoutFont());
    p.setPen(t.accent2);
    p.drawText(readoutRect(), Qt::AlignCenter, readout());
}
