#include "Engraved.h"

#include "LookAccessible.h"
#include "Skin.h"
#include "WFonts.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QtMath>

Engraved::Engraved(const QString& text, const Finish& finish, qreal size, QWidget* parent)
    : QWidget(parent), text_(text), finish_(finish), size_(size) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    LookAccessible::setRole(this, QAccessible::StaticText);
    setAccessibleName(text);
}

void Engraved::setText(const QString& text) {
    text_ = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

void Engraved::setFinish(const Finish& finish) {
    finish_ = finish;
    update();
}

QFont Engraved::font() const {
    QFont f = WFonts::body(size_, QFont::ExtraBold);
    f.setLetterSpacing(QFont::AbsoluteSpacing, size_ * 0.12);
    return f;
}

QSize Engraved::sizeHint() const {
    const QFontMetricsF fm(font());
    return QSize(qCeil(fm.horizontalAdvance(shownText())) + 1, qCeil(fm.height()) + 1);
}

void Engraved::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    Skin::engravedText(p, QRectF(0, 0, width(), height() - 1), Qt::AlignLeft | Qt::AlignVCenter, shownText(),
                       font(), finish_.engrave);
}
