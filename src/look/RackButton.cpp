#include "RackButton.h"

#include "Skin.h"
#include "Symbols.h"
#include "WFonts.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QtMath>

namespace {
constexpr qreal kPadding = 12;
constexpr qreal kIcon = 13;
constexpr qreal kGap = 6;
constexpr qreal kCorner = 6;
} // namespace

RackButton::RackButton(const QString& title, const Finish& finish, const QString& systemImage, bool lit,
                       std::function<void()> action, QWidget* parent)
    : QAbstractButton(parent), finish_(finish), systemImage_(systemImage), lit_(lit),
      action_(std::move(action)) {
    setText(title);
    setAccessibleName(title);
    setFocusPolicy(Qt::TabFocus); // a click must not take the keyboard from the space-bar talk key
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (action_) action_();
    });
}

void RackButton::setTitle(const QString& title) {
    setText(title);
    setAccessibleName(title);
    updateGeometry();
}

void RackButton::setSystemImage(const QString& name) {
    systemImage_ = name;
    updateGeometry();
    update();
}

void RackButton::setLit(bool lit) {
    if (lit == lit_) return;
    lit_ = lit;
    update();
}

void RackButton::setFinish(const Finish& finish) {
    finish_ = finish;
    update();
}

QFont RackButton::titleFont() const {
    return WFonts::body(12, QFont::Bold);
}

QSize RackButton::sizeHint() const {
    const QFontMetricsF fm(titleFont());
    qreal w = 2 * kPadding + fm.horizontalAdvance(text());
    if (!systemImage_.isEmpty()) w += kIcon + kGap;
    return {qCeil(w), height};
}

void RackButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool down = isDown();
    const bool hot = underMouse() && isEnabled();
    if (!isEnabled()) p.setOpacity(0.45);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    // Recess the key sits in, then the key cap, pressed one pixel in when down.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 120));
    p.drawRoundedRect(r, kCorner + 0.5, kCorner + 0.5);
    const QRectF cap = r.adjusted(1, down ? 1.5 : 0.5, -1, down ? -0.5 : -1.5);
    QLinearGradient g(cap.topLeft(), cap.bottomLeft());
    const QColor top = Skin::mix(finish_.panelTop, Qt::white, hot ? 0.32 : 0.24);
    const QColor bottom = Skin::mix(finish_.panelBottom, Qt::black, 0.2);
    g.setColorAt(0, down ? bottom : top);
    g.setColorAt(1, down ? top : bottom);
    p.setBrush(g);
    p.drawRoundedRect(cap, kCorner, kCorner);
    // Top highlight of the cap.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, down ? 25 : 60), 1));
    p.drawLine(QPointF(cap.left() + kCorner, cap.top() + 0.8),
               QPointF(cap.right() - kCorner, cap.top() + 0.8));
    p.setPen(QPen(lit_ ? Skin::alpha(finish_.accent, 0.9) : QColor(0, 0, 0, 150), lit_ ? 1.2 : 1));
    p.drawRoundedRect(cap, kCorner, kCorner);
    if (lit_) {
        // The lit key glows from within: an accent wash and a lamp strip under the title.
        QLinearGradient wash(cap.topLeft(), cap.bottomLeft());
        wash.setColorAt(0, Skin::alpha(finish_.accent, 0.10));
        wash.setColorAt(1, Skin::alpha(finish_.accent, 0.32));
        p.setPen(Qt::NoPen);
        p.setBrush(wash);
        p.drawRoundedRect(cap, kCorner, kCorner);
    }
    // Content: symbol and title, centred together.
    const QFont font = titleFont();
    const QFontMetricsF fm(font);
    const qreal textW = fm.horizontalAdvance(text());
    const qreal contentW = textW + (systemImage_.isEmpty() ? 0 : kIcon + kGap);
    qreal x = cap.center().x() - contentW / 2;
    const QColor ink = lit_ ? Skin::mix(finish_.accent, Qt::white, 0.25) : finish_.engrave;
    if (!systemImage_.isEmpty()) {
        const QRectF icon(x, cap.center().y() - kIcon / 2, kIcon, kIcon);
        if (lit_) Skin::halo(p, icon.center(), 2, kIcon * 0.9, finish_.accent, 0.35);
        Symbols::paint(p, icon, systemImage_, ink);
        x += kIcon + kGap;
    }
    const QRectF textRect(x, cap.top(), textW + 1, cap.height());
    if (lit_)
        Skin::glowText(p, textRect, Qt::AlignLeft | Qt::AlignVCenter, text(), font, ink, 0.6, 3);
    else
        Skin::engravedText(p, textRect, Qt::AlignLeft | Qt::AlignVCenter, text(), font, ink);
    if (hasFocus()) {
        QPainterPath ring;
        ring.addRoundedRect(cap.adjusted(2, 2, -2, -2), kCorner - 2, kCorner - 2);
        Skin::focusRing(p, ring);
    }
}
