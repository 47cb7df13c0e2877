#include "QMSwitch.h"

#include "QMPaint.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QVariantAnimation>
#include <cmath>

QEasingCurve QMSwitch::slideCurve() {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
    return curve;
}

QMSwitch::QMSwitch(const QString& title, bool on, QMUI* ui, QWidget* parent)
    : QMKitWidget(ui, parent), title_(title), on_(on), position_(on ? 1.0 : 0.0) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(title_);
    slide_ = new QVariantAnimation(this);
    slide_->setDuration(slideMs);
    slide_->setEasingCurve(slideCurve());
    connect(slide_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        position_ = v.toDouble();
        update();
    });
}

void QMSwitch::setOn(bool on) {
    if (on == on_) return;
    on_ = on;
    slide_->stop();
    slide_->setStartValue(position_);
    slide_->setEndValue(on ? 1.0 : 0.0);
    slide_->start();
}

double QMSwitch::bleed() const {
    return std::ceil(QMPaint::spread(z(5)));
}

QRectF QMSwitch::trackRect() const {
    const QRectF f = face();
    return QRectF(f.left(), f.center().y() - z(18) / 2, z(34), z(18));
}

QRectF QMSwitch::thumbRect() const {
    const QRectF tr = trackRect();
    const double d = z(15), pad = z(1.5);
    const double x = tr.left() + pad + (tr.width() - 2 * pad - d) * position_;
    return QRectF(x, tr.center().y() - d / 2, d, d);
}

QRectF QMSwitch::titleRect() const {
    const QRectF f = face();
    const QFontMetricsF fm(titleFont());
    const double x = trackRect().right() + z(8);
    return QRectF(x, f.center().y() - fm.height() / 2, fm.horizontalAdvance(title_), fm.height());
}

QSize QMSwitch::sizeHint() const {
    const QFontMetricsF fm(titleFont());
    const double w = z(34) + z(8) + fm.horizontalAdvance(title_);
    const double h = std::max(z(18), fm.height());
    return QSize(int(std::ceil(w + 2 * bleed())), int(std::ceil(h + 2 * bleed())));
}

void QMSwitch::mousePressEvent(QMouseEvent* e) {
    pressed_ = e->button() == Qt::LeftButton && face().contains(e->position());
}

void QMSwitch::mouseReleaseEvent(QMouseEvent* e) {
    // The row's whole rectangle counts, the gap between track and title included.
    if (pressed_ && e->button() == Qt::LeftButton && face().contains(e->position())) {
        setOn(!on_);
        emit toggled(on_);
    }
    pressed_ = false;
}

void QMSwitch::paintEvent(QPaintEvent*) {
    const QMTheme& t = theme();
    QPainter p(this);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    const QRectF tr = trackRect();
    const QPainterPath track = QMPaint::capsule(tr);
    const double k = position_;
    QMPaint::shadow(p, track, qmOpacity(t.accent, 0.7 * k), z(5));
    // The off fill gives way to the on gradient as the thumb slides.
    p.fillPath(track, t.well);
    if (k > 0) {
        p.save();
        p.setOpacity(k);
        p.fillPath(track, QMPaint::horizontal(tr, QMPaint::stops({t.accent, t.accent2})));
        p.restore();
    }
    QMPaint::strokeBorder(p, tr, QMPaint::capsule, 1.0, QMPaint::vertical(tr, t.rim()));
    const QRectF thumb = thumbRect();
    const QPainterPath disc = QMPaint::circle(thumb);
    QMPaint::shadow(p, disc, QColor::fromRgbF(0, 0, 0, 0.5f), 1, QPointF(0, 1));
    p.fillPath(disc, QMPaint::vertical(thumb, t.chrome()));

    p.setFont(titleFont());
    p.setPen(t.text);
    p.drawText(titleRect(), Qt::AlignLeft | Qt::AlignVCenter, title_);
}
