#pragma once
// Key events as they reach the program while a screen reader listens to keys. The desktop's bridge
// takes every key press and release from the system, asks the reader, and then posts a copy of it,
// stamped 0, to the same receiver, in the order taken. Filters installed before the bridge see the
// original and the copy; those installed after it see the copy only. `systemKey` delivers a key as the
// X server's does: a shortcut override, then the press, at the window, with a scan code and a time.
#include <QApplication>
#include <QKeyEvent>
#include <QList>
#include <QPointer>
#include <QSpontaneKeyEvent>
#include <QWidget>
#include <QWindow>

class ReaderBridge : public QObject {
public:
    ReaderBridge() { qApp->installEventFilter(this); }
    ~ReaderBridge() override {
        qApp->removeEventFilter(this);
        for (const auto& h : std::as_const(held_)) delete h.second;
    }
    int copies = 0;
    // A reader that answers late: copies wait until sent on, one at a time, in order.
    bool late = false;
    void sendHeld(int n = 1) {
        for (; n > 0 && !held_.isEmpty(); --n) {
            auto [to, copy] = held_.takeFirst();
            if (to)
                QCoreApplication::postEvent(to, copy);
            else
                delete copy;
            QCoreApplication::processEvents();
        }
    }

protected:
    bool eventFilter(QObject* to, QEvent* event) override {
        if (!event->spontaneous()) return false;
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
        const auto* k = static_cast<QKeyEvent*>(event);
        auto* copy =
            new QKeyEvent(k->type(), k->key(), k->modifiers(), k->nativeScanCode(), k->nativeVirtualKey(),
                          k->nativeModifiers(), k->text(), k->isAutoRepeat(), k->count());
        if (late)
            held_.append({to, copy});
        else
            QCoreApplication::postEvent(to, copy);
        ++copies;
        return true;
    }

private:
    QList<std::pair<QPointer<QObject>, QKeyEvent*>> held_;
};

namespace readerbridge {

inline quint64 nextTime() {
    static quint64 time = 50000;
    return time += 40;
}

// One key event from the system to `window`'s platform window; a press comes with its shortcut
// override first. Returns whether the override was accepted (no shortcut for this press).
inline bool systemKey(QWidget* window, QEvent::Type type, int key, quint32 scanCode,
                      Qt::KeyboardModifiers mods = {}, const QString& text = {}) {
    const quint64 time = nextTime();
    bool overridden = false;
    if (type == QEvent::KeyPress) {
        QKeyEvent over(QEvent::ShortcutOverride, key, mods, scanCode, 0, 0, text);
        over.setTimestamp(time);
        over.ignore();
        QSpontaneKeyEvent::setSpontaneous(&over);
        qApp->notify(window->windowHandle(), &over); // sendEvent would take the flag off
        overridden = over.isAccepted();
    }
    QKeyEvent e(type, key, mods, scanCode, 0, 0, text);
    e.setTimestamp(time);
    QSpontaneKeyEvent::setSpontaneous(&e);
    qApp->notify(window->windowHandle(), &e);
    return overridden;
}

// Lets the bridge's copies arrive.
inline void settle() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

} // namespace readerbridge
