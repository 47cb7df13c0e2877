#include "ShortcutOncePerPress.h"

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
    // A key let go while another application has the keyboard never tells us: forget what was down.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive) down_.clear();
    });
}

bool ShortcutOncePerPress::eventFilter(QObject*, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const quint32 code = key->nativeScanCode();
    if (code == 0) return false; // made up, not from the keyboard
    if (type == QEvent::KeyRelease) {
        if (!key->isAutoRepeat()) down_.remove(code);
        return false;
    }
    const auto held = down_.constFind(code);
    const bool repeat = key->isAutoRepeat() || (held != down_.cend() && *held != key->timestamp());
    if (!repeat) down_.insert(code, key->timestamp());
    if (type == QEvent::ShortcutOverride && repeat) {
        event->accept(); // no shortcut: the key goes on as an ordinary press
        return true;
    }
    return false;
}
