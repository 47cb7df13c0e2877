#include "KeysDown.h"

#include "KeyRepeat.h"

#include <QGuiApplication>
#include <QHash>
#include <QKeyEvent>
#include <QList>
#include <QPointer>
#include <QWindow>

namespace {

class Record : public QObject {
public:
    explicit Record(QObject* parent) : QObject(parent) {
        // A key let go while another application has the keyboard never tells us: forget what was down.
        connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state != Qt::ApplicationActive) forgetAll();
        });
        // Nor does one let go while the keyboard moves between our windows (the window manager holds it
        // for a moment): ask the server which keys are still down.
        connect(qApp, &QGuiApplication::focusWindowChanged, this, [this] { forgetReleased(); });
    }

    // `start`: the event begins a delivery (it is at its window, or came to a widget directly); later
    // stages of one delivery (view, scene, widget, parents) are the same press.
    bool note(const QKeyEvent* key, bool start) {
        if (!start && key == current_ && key->type() == currentType_ && key->timestamp() == currentTime_ &&
            key->nativeScanCode() == currentCode_)
            return currentRepeat_;
        const quint32 code = key->nativeScanCode();
        if (code == 0) {
            // A key press sent on by the program (the bridge's copy is one) first asks the shortcuts
            // with an override of its own, without the scan code: it is that press.
            if (key->type() == QEvent::ShortcutOverride && currentType_ == QEvent::KeyPress &&
                currentCode_ != 0 && key->key() == currentKey_ && key->timestamp() == currentTime_)
                return currentRepeat_;
            return key->isAutoRepeat();
        }
        bool repeat = key->isAutoRepeat();
        if (key->type() == QEvent::KeyRelease) {
            if (!repeat) down_.remove(code);
            repeat = false;
        } else {
            repeat = notePress(code, key->timestamp(), repeat);
        }
        current_ = key;
        currentType_ = key->type();
        currentTime_ = key->timestamp();
        currentCode_ = code;
        currentKey_ = key->key();
        currentRepeat_ = repeat;
        return repeat;
    }

    // A shortcut took the press just seen: no key event of it follows, so none will come again.
    void pressUsedByShortcut() {
        if (currentCode_ == 0 || currentTime_ == 0) return;
        const auto key = down_.find(currentCode_);
        if (key == down_.end()) return;
        key->pending.removeIf([this](const Press& p) { return p.time == currentTime_; });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type == QEvent::ShortcutOverride || type == QEvent::KeyPress || type == QEvent::KeyRelease)
            (void)note(static_cast<QKeyEvent*>(event), watched->isWindowType());
        else if (type == QEvent::Shortcut)
            pressUsedByShortcut();
        return false;
    }

private:
    struct Press {
        quint64 time;
        bool repeat;
    };
    struct Key {
        // Presses from the server whose key event may still come, or come again: a screen reader's
        // bridge holds each key event, asks the reader, then sends a copy stamped 0 in the order held.
        QList<Press> pending;
    };
    static constexpr int maxPending = 8;

    bool notePress(quint32 code, quint64 time, bool flagged) {
        auto key = down_.find(code);
        if (time != 0) {
            // The same press seen again: its shortcut override, then its key event.
            if (key != down_.end())
                for (const Press& p : key->pending)
                    if (p.time == time) return p.repeat;
            const bool repeat = flagged || key != down_.end();
            if (key == down_.end()) key = down_.insert(code, Key{});
            key->pending.append({time, repeat});
            if (key->pending.size() > maxPending) key->pending.removeFirst();
            return repeat;
        }
        // Stamped 0: made up in the program, or re-sent. A re-sent copy answers as its original did.
        if (key != down_.end() && !key->pending.isEmpty()) return key->pending.takeFirst().repeat;
        const bool repeat = flagged || key != down_.end();
        if (key == down_.end()) down_.insert(code, Key{});
        return repeat;
    }

    void forgetAll() {
        down_.clear();
        current_ = nullptr;
    }

    void forgetReleased() {
        for (auto key = down_.begin(); key != down_.end();) {
            const std::optional<bool> held = KeyRepeat::isDown(key.key());
            if (held && !*held)
                key = down_.erase(key);
            else
                ++key;
        }
    }

    // Keys down by native scan code.
    QHash<quint32, Key> down_;
    // The event last noted, compared by address, type and time only (it may be gone by now).
    const QKeyEvent* current_ = nullptr;
    QEvent::Type currentType_ = QEvent::None;
    quint64 currentTime_ = 0;
    quint32 currentCode_ = 0;
    int currentKey_ = 0;
    bool currentRepeat_ = false;
};

QPointer<Record> record;

} // namespace

namespace KeysDown {

void install() {
    if (!qApp) return;
    if (!record) record = new Record(qApp);
    qApp->installEventFilter(record); // installed again, it moves to the front
}

bool isRepeat(const QKeyEvent* event) {
    // Asked at a later stage of the delivery the record saw last, it gives the answer it gave there.
    return record ? record->note(event, false) : event->isAutoRepeat();
}

} // namespace KeysDown
