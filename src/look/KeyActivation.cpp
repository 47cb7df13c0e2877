#include "KeyActivation.h"

#include "KeysDown.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>

namespace {

class ReturnPresses : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        auto* button = qobject_cast<QAbstractButton*>(watched);
        // Only at the focused button itself: the filter sees the event again at each parent.
        if (!button || !button->hasFocus() || !button->isEnabled()) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (!KeyActivation::isActivationKey(key)) return false;
        // A held key presses once, also where it went down on another control (a dialog it opened).
        if (!KeysDown::isRepeat(key)) button->animateClick();
        return true;
    }
};

} // namespace

namespace KeyActivation {

bool isActivationKey(const QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) return false;
    return (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

void install() {
    static QObject* filter = nullptr;
    if (filter || !qApp) return;
    filter = new ReturnPresses(qApp);
    qApp->installEventFilter(filter);
    KeysDown::install();
}

} // namespace KeyActivation

KeyHold::KeyHold(QObject* parent) : QObject(parent) {
    grace_.setSingleShot(true);
    grace_.setInterval(graceMs);
    connect(&grace_, &QTimer::timeout, this, &KeyHold::releasedNow);
}

bool KeyHold::keyPress(const QKeyEvent* event) {
    if (!KeyActivation::isActivationKey(event)) return false;
    if (down_) {
        grace_.stop(); // a repeat, flagged or not: the key is still held
        return true;
    }
    if (KeysDown::isRepeat(event)) return true; // held since before this widget had focus
    down_ = true;
    if (pressed) pressed();
    return true;
}

bool KeyHold::keyRelease(const QKeyEvent* event) {
    if (!KeyActivation::isActivationKey(event)) return false;
    if (down_ && !event->isAutoRepeat()) grace_.start();
    return true;
}

void KeyHold::drop() {
    if (down_) releasedNow();
}

void KeyHold::releasedNow() {
    grace_.stop();
    down_ = false;
    if (released) released();
}
