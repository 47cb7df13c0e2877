#include "LED.h"

#include "LookAccessible.h"
#include "Skin.h"

#include <QPainter>
#include <QtMath>

LED::LED(bool on, const QColor& colour, qreal size, QWidget* parent)
    : QWidget(parent), on_(on), colour_(colour), size_(size) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LED::setOn(bool on) {
    if (on == on_) return;
    on_ = on;
    nameForReader();
    update();
}

void LED::setTitle(const QString& title) {
    title_ = title;
    LookAccessible::setRole(this, QAccessible::StaticText);
    nameForReader();
}

void LED::nameForReader() {
    if (title_.isEmpty()) return;
    setAccessibleName(on_ ? tr("%1: on").arg(title_) : tr("%1: off").arg(title_));
}

void LED::setColour(const QColor& colour) {
    colour_ = colour;
    update();
}

QSize LED::sizeHint() const {
    const int side = qCeil(size_) + 2 * glowMargin(size_);
    return {side, side};
}

void LED::paintLamp(QPainter& p, const QPointF& c, qreal size, const QColor& colour, bool on) {
    const qreal r = size / 2;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    if (on) Skin::halo(p, c, r * 0.9, r * 2.0, colour, 0.6);
    // Seat: a dark ring the lens sits in.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 200));
    p.drawEllipse(c, r, r);
    const qreal lens = r * 0.82;
    QRadialGradient g(c - QPointF(lens * 0.25, lens * 0.3), lens * 1.3);
    if (on) {
        g.setColorAt(0, Skin::mix(colour, Qt::white, 0.6));
        g.setColorAt(0.25, colour);
        g.setColorAt(1, Skin::mix(colour, Qt::black, 0.35));
    } else {
        g.setColorAt(0, Skin::mix(colour, Qt::black, 0.55));
        g.setColorAt(1, Skin::mix(colour, Qt::black, 0.86));
    }
    p.setBrush(g);
    p.drawEllipse(c, lens, lens);
    // A small specular highlight on the lens.
    p.setBrush(QColor(255, 255, 255, on ? 170 : 70));
    p.drawEllipse(c + QPointF(-lens * 0.32, -lens * 0.38), lens * 0.3, lens * 0.2);
    p.restore();
}

void LED::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintLamp(p, QRectF(rect()).center(), size_, colour_, on_);
}
