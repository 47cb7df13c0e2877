#include "ShortcutOncePerPress.h"

#include "KeysDown.h"

#include <QGuiApplication>
#include <QKeyEvent>

ShortcutOncePerPress::ShortcutOncePerPress(QObject* parent) : QObject(parent) {}

ShortcutOncePerPress::~ShortcutOncePerPress() {
    if (installed_ && qApp) qApp->removeEventFilter(this);
}

void ShortcutOncePerPress::install() {
    if (installed_) return;
    installed_ = true;
    qApp->installEventFilter(this);
    KeysDown::install();
}

bool ShortcutOncePerPress::eventFilter(QObject*, QEvent* event) {
    if (event->type() != QEvent::ShortcutOverride) return false;
    if (!KeysDown::isRepeat(static_cast<QKeyEvent*>(event))) return false;
    event->accept(); // no shortcut: the key goes on as an ordinary press
    return true;
}
