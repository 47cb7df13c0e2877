#include "FocusMark.h"

#include "Skin.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>

namespace {

bool plainControl(const QWidget* w) {
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QAbstractSlider*>(w) || qobject_cast<const QPushButton*>(w) ||
           qobject_cast<const QToolButton*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
           (qobject_cast<const QLabel*>(w) &&
            (static_cast<const QLabel*>(w)->textInteractionFlags() & Qt::LinksAccessibleByKeyboard));
}

} // namespace

void FocusMark::follow(QWidget* root) {
    new FocusMark(root);
}

FocusMark::FocusMark(QWidget* root) : QFocusFrame(root), root_(root) {
    hide();
    // Focus inside a zoomed scene never reaches the application's focus signal: the controls' own
    // focus events are watched instead.
    qApp->installEventFilter(this);
}

bool FocusMark::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type == QEvent::FocusIn || type == QEvent::FocusOut) && watched->isWidgetType()) {
        auto* w = static_cast<QWidget*>(watched);
        if (root_->isAncestorOf(w)) {
            if (type == QEvent::FocusIn && plainControl(w)) {
                setWidget(w);
                raise(); // over the control: a control at its parent's edge would hide a ring beneath
            }
            else if (widget() == w || type == QEvent::FocusIn)
                setWidget(nullptr);
        }
    }
    const bool used = QFocusFrame::eventFilter(watched, event);
    // The style masks the frame down to a thin band; the ring needs the whole margin.
    if (!mask().isEmpty()) clearMask();
    return used;
}

void FocusMark::paintEvent(QPaintEvent*) {
    if (!widget()) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath ring;
    ring.addRoundedRect(QRectF(rect()).adjusted(2, 2, -2, -2), 5, 5);
    Skin::focusRing(p, ring);
}
