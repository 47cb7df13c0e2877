#include "ToggleSwitch.h"

#include "LED.h"
#include "Motion.h"
#include "Skin.h"
#include "WFonts.h"

#include <QFontMetricsF>
#include <QPainter>

namespace {
QFont titleFont() {
    QFont f = WFonts::body(10, QFont::ExtraBold);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 0.3);
    return f;
}
constexpr int kTitleGap = 5;
} // namespace

ToggleSwitch::ToggleSwitch(const QString& title, bool isOn, const Finish& finish, QWidget* parent)
    : QAbstractButton(parent), finish_(finish), on_(isOn), position_(isOn ? 1 : 0) {
    setText(title);
    setAccessibleName(title);
    // Checkable, so assistive technology hears on and off; the click itself flips through flip().
    setCheckable(true);
    setChecked(isOn);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    anim_.setEasingCurve(Motion::spring<180, 60>());
    anim_.setDuration(Motion::springMs(0.18, 0.6));
    connect(&anim_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        position_ = v.toReal();
        update();
    });
    connect(this, &QAbstractButton::clicked, this, &ToggleSwitch::flip);
    // Assistive technology's toggle sets the checked state directly: that is a flip by the user too.
    connect(this, &QAbstractButton::toggled, this, [this](bool checked) {
        if (checked != on_) flip();
    });
}

void ToggleSwitch::flip() {
    on_ = !on_;
    setChecked(on_);
    anim_.stop();
    anim_.setStartValue(position_);
    anim_.setEndValue(on_ ? 1.0 : 0.0);
    anim_.start();
    emit toggledByUser(on_);
}

void ToggleSwitch::setOn(bool on) {
    if (on == on_) return;
    on_ = on;
    setChecked(on);
    anim_.stop();
    position_ = on ? 1 : 0;
    update();
}

void ToggleSwitch::setFinish(const Finish& finish) {
    finish_ = finish;
    update();
}

QSize ToggleSwitch::sizeHint() const {
    const QFontMetricsF fm(titleFont());
    const int w = qMax(plateWidth + 8, qCeil(fm.horizontalAdvance(text())) + 2);
    return {w, plateHeight + kTitleGap + qCeil(fm.height()) + 1};
}

void ToggleSwitch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) p.setOpacity(0.45);
    const qreal cx = width() / 2.0;
    const QRectF plate(cx - plateWidth / 2.0, 0.5, plateWidth, plateHeight - 1);
    // Mounting plate with two tiny screws.
    Skin::dropShadow(p, plate, 4, 2, 0.35);
    QLinearGradient pg(plate.topLeft(), plate.bottomLeft());
    pg.setColorAt(0, Skin::mix(finish_.screw, Qt::white, 0.35));
    pg.setColorAt(1, Skin::mix(finish_.screw, Qt::black, 0.45));
    p.setPen(QPen(QColor(0, 0, 0, 160), 1));
    p.setBrush(pg);
    p.drawRoundedRect(plate, 4, 4);
    Skin::screw(p, QPointF(cx, plate.top() + 4.5), 2.2, finish_, 30);
    Skin::screw(p, QPointF(cx, plate.bottom() - 4.5), 2.2, finish_, 75);
    // Lamp on the plate's left shoulder shows the state at a glance.
    LED::paintLamp(p, QPointF(plate.left() + 6, plate.center().y()), 5.5, finish_.accent, on_);
    // Hex nut the lever pivots in.
    const QPointF pivot(cx + 3, plate.center().y());
    QPolygonF nut;
    for (int i = 0; i < 6; ++i) {
        const qreal a = qDegreesToRadians(60.0 * i + 30);
        nut << pivot + QPointF(std::cos(a) * 7, std::sin(a) * 7);
    }
    QLinearGradient ng(pivot - QPointF(0, 7), pivot + QPointF(0, 7));
    ng.setColorAt(0, Skin::mix(finish_.screw, Qt::white, 0.7));
    ng.setColorAt(1, Skin::mix(finish_.screw, Qt::black, 0.5));
    p.setBrush(ng);
    p.setPen(QPen(QColor(0, 0, 0, 170), 0.8));
    p.drawPolygon(nut);
    p.setBrush(QColor(0, 0, 0, 200));
    p.drawEllipse(pivot, 3.6, 3.6);
    // The bat lever: foreshortened, pointing up (on) or down (off), with a ball tip.
    const qreal t = position_ * 2 - 1; // -1 down ... 1 up
    const qreal reach = 13;
    const QPointF tip = pivot + QPointF(0, -t * reach);
    const qreal tipR = 3.2 + 0.6 * qAbs(t);
    // Shadow of the lever on the plate.
    p.setPen(QPen(QColor(0, 0, 0, 90), 4.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(pivot + QPointF(1.5, 1.5), tip + QPointF(2, 2.5));
    QLinearGradient lever(pivot - QPointF(3, 0), pivot + QPointF(3, 0));
    lever.setColorAt(0, Skin::mix(finish_.screw, Qt::black, 0.3));
    lever.setColorAt(0.4, QColor(250, 250, 252));
    lever.setColorAt(1, Skin::mix(finish_.screw, Qt::black, 0.4));
    p.setPen(QPen(QBrush(lever), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(pivot, tip);
    QRadialGradient ball(tip - QPointF(tipR * 0.35, tipR * 0.4), tipR * 1.4);
    ball.setColorAt(0, Qt::white);
    ball.setColorAt(0.5, Skin::mix(finish_.screw, Qt::white, 0.45));
    ball.setColorAt(1, Skin::mix(finish_.screw, Qt::black, 0.5));
    p.setPen(QPen(QColor(0, 0, 0, 150), 0.7));
    p.setBrush(ball);
    p.drawEllipse(tip, tipR, tipR);
    // Title under the plate.
    const QRectF titleRect(0, plateHeight + kTitleGap, width(), height() - plateHeight - kTitleGap);
    Skin::engravedText(p, titleRect, Qt::AlignHCenter | Qt::AlignTop, text(), titleFont(),
                       on_ ? finish_.engrave : Skin::alpha(finish_.engrave, 0.75));
    if (hasFocus()) {
        QPainterPath ring;
        ring.addRoundedRect(plate.adjusted(-2, 1, 2, -1), 5, 5);
        Skin::focusRing(p, ring);
    }
}
