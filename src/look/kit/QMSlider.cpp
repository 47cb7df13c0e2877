#include "QMSlider.h"

#include "QMPaint.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

QMSlider::QMSlider(double value, double lower, double upper, std::function<void()> onEditingEnded, QMUI* ui,
                   QWidget* parent)
    : QMKitWidget(ui, parent), value_(value), lower_(lower), upper_(std::max(lower, upper)),
      onEditingEnded_(std::move(onEditingEnded)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void QMSlider::setValue(double v) {
    value_ = v;
    update();
}

double QMSlider::fraction(double value, double lower, double upper) {
    if (!(upper > lower)) return 0.0;
    const double f = (value - lower) / (upper - lower);
    if (std::isnan(f) || f < 0) return 0.0;
    return f > 1 ? 1.0 : f;
}

double QMSlider::valueAt(double p, double W, double K, double lower, double upper) {
    double t = (p - K / 2) / std::max(W - K, 1.0);
    if (std::isnan(t) || t < 0) t = 0;
    if (t > 1) t = 1;
    return lower + (upper - lower) * t;
}

double QMSlider::bleed() const {
    return std::ceil(std::max(QMPaint::spread(z(4)), QMPaint::spread(2) + 1));
}

double QMSlider::thumbOffset() const {
    return (face().width() - thumbDiameter()) * fraction(value_, lower_, upper_);
}

QRectF QMSlider::thumbRect() const {
    const QRectF f = face();
    const double K = thumbDiameter();
    return QRectF(f.left() + thumbOffset(), f.center().y() - K / 2, K, K);
}

QRectF QMSlider::trackRect() const {
    const QRectF f = face();
    return QRectF(f.left(), f.center().y() - z(6) / 2, f.width(), z(6));
}

QRectF QMSlider::fillRect() const {
    const QRectF tr = trackRect();
    return QRectF(tr.left(), tr.top(), thumbOffset() + thumbDiameter() / 2, tr.height());
}

QSize QMSlider::sizeHint() const {
    const double b = 2 * bleed();
    return QSize(int(std::ceil(z(200) + b)), int(std::ceil(z(20) + b)));
}

QSize QMSlider::minimumSizeHint() const {
    const double b = 2 * bleed();
    return QSize(int(std::ceil(z(16) + b)), int(std::ceil(z(20) + b)));
}

void QMSlider::writeAt(double x) {
    value_ = valueAt(x - face().left(), face().width(), thumbDiameter(), lower_, upper_);
    update();
    emit valueWritten(value_);
}

void QMSlider::mousePressEvent(QMouseEvent* e) {
    // The whole face takes the pointer, the clear space above and below the track included.
    if (e->button() != Qt::LeftButton || !face().contains(e->position())) return;
    dragging_ = true;
    writeAt(e->position().x());
}

void QMSlider::mouseMoveEvent(QMouseEvent* e) {
    if (dragging_) writeAt(e->position().x());
}

void QMSlider::mouseReleaseEvent(QMouseEvent* e) {
    if (!dragging_ || e->button() != Qt::LeftButton) return;
    dragging_ = false;
    if (onEditingEnded_) onEditingEnded_();
    emit editingEnded();
}

void QMSlider::paintEvent(QPaintEvent*) {
    const QMTheme& t = theme();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF track = trackRect();
    p.fillPath(QMPaint::capsule(track), t.well);
    QMPaint::strokeBorder(p, track, QMPaint::capsule, 1.0, QColor::fromRgbF(0, 0, 0, 0.7f));

    const QRectF fill = fillRect();
    const QPainterPath fillShape = QMPaint::capsule(fill);
    QMPaint::shadow(p, fillShape, qmOpacity(t.accent, 0.8), z(4));
    p.fillPath(fillShape, QMPaint::horizontal(fill, QMPaint::stops({t.accent, t.accent2})));

    const QRectF thumb = thumbRect();
    const QPainterPath thumbShape = QMPaint::circle(thumb);
    QMPaint::shadow(p, thumbShape, QColor::fromRgbF(0, 0, 0, 0.6f), 2, QPointF(0, 1));
    p.fillPath(thumbShape, QMPaint::vertical(thumb, t.chrome()));
    QMPaint::strokeBorder(p, thumb, QMPaint::circle, 1.0, QMPaint::vertical(thumb, t.rim()));
}
