#include "SheetWidgets.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QStylePainter>

namespace SheetLook {

QString key(const QWidget* w, quint32 changes, const QStyleOption& option) {
    return QString::number(quintptr(w->style()), 16) + u'|' + QString::number(changes) + u'|' +
           QString::number(uint(option.state), 16) + u'|' + QString::number(int(option.direction)) + u'|' +
           QString::number(option.palette.cacheKey(), 16) + u'|' +
           QString::number(int(option.palette.currentColorGroup()));
}

// Change events after which the same option may look different: a new style or style sheet, palette,
// font, window activation or language.
bool altersLook(const QEvent* event) {
    switch (event->type()) {
    case QEvent::StyleChange:
    case QEvent::PaletteChange:
    case QEvent::FontChange:
    case QEvent::ActivationChange:
    case QEvent::EnabledChange:
    case QEvent::LayoutDirectionChange:
    case QEvent::LanguageChange:
    case QEvent::LocaleChange:
        return true;
    default:
        return false;
    }
}

} // namespace SheetLook

void SheetButton::paintEvent(QPaintEvent*) {
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString key =
        SheetLook::key(this, changes(), option) + u'|' + QString::number(int(option.features)) + u'|' +
        QString::number(option.icon.cacheKey(), 16) + u'|' + QString::number(option.iconSize.width()) + u'x' +
        QString::number(option.iconSize.height()) + u'|' + option.text;
    QStylePainter p(this); // as QPushButton paints: smooth pixmap scaling on
    look().paint(p, QSizeF(size()), key,
                [&](QPainter& layer) { style()->drawControl(QStyle::CE_PushButton, &option, &layer, this); });
}

void SheetGroupBox::paintEvent(QPaintEvent*) {
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    const QString key =
        SheetLook::key(this, changes(), option) + u'|' + QString::number(int(option.features)) + u'|' +
        QString::number(uint(option.subControls), 16) + u'|' +
        QString::number(uint(option.activeSubControls), 16) + u'|' +
        QString::number(int(option.textAlignment)) + u'|' + QString::number(option.textColor.rgba(), 16) +
        u'|' + QString::number(option.lineWidth) + u'|' + QString::number(option.midLineWidth) + u'|' +
        option.text;
    QStylePainter p(this); // as QGroupBox paints: smooth pixmap scaling on
    look().paint(p, QSizeF(size()), key, [&](QPainter& layer) {
        style()->drawComplexControl(QStyle::CC_GroupBox, &option, &layer, this);
    });
}

void SheetScrollBar::paintEvent(QPaintEvent* event) {
    // At rest QScrollBar hands the style no active part; hover and press it tracks privately.
    if (underMouse() || isSliderDown() || QGuiApplication::mouseButtons() != Qt::NoButton ||
        style()->styleHint(QStyle::SH_ScrollBar_Transient, nullptr, this)) {
        look().clear();
        QScrollBar::paintEvent(event);
        return;
    }
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.subControls = QStyle::SC_All;
    option.activeSubControls = QStyle::SC_None;
    const QString key = SheetLook::key(this, changes(), option) + u'|' +
                        QString::number(int(option.orientation)) + u'|' + QString::number(option.minimum) +
                        u'|' + QString::number(option.maximum) + u'|' +
                        QString::number(option.sliderPosition) + u'|' + QString::number(option.sliderValue) +
                        u'|' + QString::number(option.pageStep) + u'|' + QString::number(option.singleStep) +
                        u'|' + QString::number(int(option.upsideDown));
    QStylePainter p(this); // as QScrollBar paints: smooth pixmap scaling on
    look().paint(p, QSizeF(size()), key, [&](QPainter& layer) {
        style()->drawComplexControl(QStyle::CC_ScrollBar, &option, &layer, this);
    });
}

void SheetLabel::paintEvent(QPaintEvent* event) {
    // What QLabel draws for plain text without frame, margin or indent: the text in the contents.
    const bool plain = textFormat() == Qt::PlainText && !text().isEmpty() && frameWidth() == 0 &&
                       margin() == 0 && indent() < 0 && !buddy() &&
                       !(textInteractionFlags() &
                         (Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard | Qt::TextEditable));
    if (!plain) {
        look().clear();
        QLabel::paintEvent(event);
        return;
    }
    const Qt::LayoutDirection direction = text().isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
    const int flags = int(QStyle::visualAlignment(direction, alignment())) |
                      (wordWrap() ? Qt::TextWordWrap : 0) |
                      (direction == Qt::LeftToRight ? Qt::TextForceLeftToRight : Qt::TextForceRightToLeft);
    const QRect r = contentsRect();
    QPainter p(this);
    look().paint(p, QSizeF(size()), textKey(flags, r), [&](QPainter& layer) {
        style()->drawItemText(&layer, r, flags, palette(), isEnabled(), text(), foregroundRole());
    });
}

QString SheetLabel::textKey(int flags, const QRect& r) const {
    QStyleOption option;
    option.initFrom(this);
    return SheetLook::key(this, changes(), option) + u'|' + QString::number(flags, 16) + u'|' +
           QString::number(r.x()) + u',' + QString::number(r.y()) + u',' + QString::number(r.width()) + u',' +
           QString::number(r.height()) + u'|' + QString::number(int(foregroundRole())) + u'|' + text();
}
