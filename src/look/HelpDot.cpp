#include "HelpDot.h"

#include "Skin.h"
#include "WFonts.h"

#include <QPainter>

HelpDot::HelpDot(const QString& chapterTitle, const Finish& finish, QWidget* parent)
    : QAbstractButton(parent), finish_(finish) {
    setFixedSize(diameter, diameter);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    // Several dots stand on one screen: each is named after the chapter it opens.
    setAccessibleName(tr("Help: %1").arg(chapterTitle));
}

void HelpDot::setFinish(const Finish& finish) {
    finish_ = finish;
    update();
}

void HelpDot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QPointF c = r.center();
    const qreal radius = r.width() / 2;
    Skin::chromeRing(p, c, radius, 1.6, finish_);
    QRadialGradient face(c - QPointF(radius * 0.3, radius * 0.35), radius * 1.4);
    const bool hot = underMouse() || isDown();
    face.setColorAt(0, Skin::mix(finish_.panelTop, Qt::white, hot ? 0.25 : 0.12));
    face.setColorAt(1, Skin::mix(finish_.panelBottom, Qt::black, isDown() ? 0.5 : 0.3));
    p.setPen(Qt::NoPen);
    p.setBrush(face);
    p.drawEllipse(c, radius - 1.6, radius - 1.6);
    Skin::engravedText(p, r.adjusted(0, -0.5, 0, -0.5), Qt::AlignCenter, QStringLiteral("?"),
                       WFonts::body(radius * 1.15, QFont::ExtraBold), hot ? finish_.accent : finish_.engrave);
    if (hasFocus()) {
        QPainterPath ring;
        ring.addEllipse(c, radius - 2, radius - 2);
        Skin::focusRing(p, ring);
    }
}
