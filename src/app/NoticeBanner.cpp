#include "NoticeBanner.h"

#include "Skin.h"
#include "WFonts.h"

#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int padX = 16, padY = 10;
QFont bannerFont() {
    return WFonts::body(13.5, QFont::Bold);
}
} // namespace

NoticeBanner::NoticeBanner(const Finish& finish, QWidget* parent) : QWidget(parent), finish_(finish) {
    setObjectName(QStringLiteral("noticeBanner"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    fade_.setEasingCurve(QEasingCurve::InOutQuad);
    fade_.setDuration(350);
    connect(&fade_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        opacity_ = v.toReal();
        update();
    });
    connect(&fade_, &QVariantAnimation::finished, this, [this] {
        if (text_.isEmpty()) hide();
    });
    hide();
}

void NoticeBanner::setFinish(const Finish& finish) {
    finish_ = finish;
    update();
}

void NoticeBanner::setNotice(const QString& text) {
    if (text == text_) return;
    const bool had = !text_.isEmpty();
    text_ = text;
    fade_.stop();
    if (text.isEmpty()) {
        // Fade out with the last text still drawn; hidden once transparent.
        if (!isVisible()) {
            opacity_ = 0;
            return;
        }
        fade_.setStartValue(opacity_);
        fade_.setEndValue(0.0);
        fade_.start();
        return;
    }
    shown_ = text;
    place(visible_);
    show();
    raise();
    fade_.setStartValue(had ? qMin(opacity_, 0.4) : opacity_);
    fade_.setEndValue(1.0);
    fade_.start();
}

QSize NoticeBanner::sizeFor(int maxWidth) const {
    const QFontMetrics fm(bannerFont());
    const int textMax = qMax(40, maxWidth - 2 * padX);
    const QRect r = fm.boundingRect(QRect(0, 0, textMax, 10000), Qt::TextWordWrap | Qt::AlignCenter, shown_);
    return {r.width() + 2 * padX + 2, r.height() + 2 * padY};
}

void NoticeBanner::place(const QRect& visible) {
    visible_ = visible;
    if (visible.isEmpty()) return;
    const QSize s = sizeFor(visible.width() - 48);
    setGeometry(visible.center().x() - s.width() / 2 + 1, visible.bottom() + 1 - bottomGap - s.height(),
                s.width(), s.height());
}

void NoticeBanner::paintEvent(QPaintEvent*) {
    if (opacity_ <= 0) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(opacity_);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath capsule;
    const qreal radius = qMin(r.height(), r.width()) / 2;
    capsule.addRoundedRect(r, radius, radius);
    p.fillPath(capsule, QColor(0, 0, 0, qRound(0.85 * 255)));
    p.setPen(QPen(Skin::alpha(finish_.accent, 0.6), 1));
    p.drawPath(capsule);
    p.setPen(Qt::white);
    p.setFont(bannerFont());
    p.drawText(rect().adjusted(padX, padY, -padX, -padY), Qt::TextWordWrap | Qt::AlignCenter, shown_);
}
