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
            if (!repeat) noteRelease(code, key->timestamp());
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
        if (key->released && key->pending.isEmpty()) down_.erase(key);
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
        // Let go for real while copies of its presses are still to come: not down, kept for them.
        bool released = false;
    };
    static constexpr int maxPending = 8;
    static constexpr quint64 copyWithinMs = 2000; // a bridge's copy follows its original within this

    bool notePress(quint32 code, quint64 time, bool flagged) {
        auto key = down_.find(code);
        if (time != 0) {
            // The same press seen again: its shortcut override, then its key event.
            if (key != down_.end())
                for (const Press& p : key->pending)
                    if (p.time == time) return p.repeat;
            const bool repeat = flagged || (key != down_.end() && !key->released);
            if (key == down_.end()) key = down_.insert(code, Key{});
            key->released = false;
            key->pending.append({time, repeat});
            if (key->pending.size() > maxPending) key->pending.removeFirst();
            return repeat;
        }
        // Stamped 0: made up in the program, or re-sent. A re-sent copy answers as its original did.
        if (key != down_.end() && !key->pending.isEmpty()) {
            copiesCome_ = true;
            const bool repeat = key->pending.takeFirst().repeat;
            if (key->released && key->pending.isEmpty()) down_.erase(key);
            return repeat;
        }
        const bool repeat = flagged || (key != down_.end() && !key->released);
        if (key == down_.end())
            down_.insert(code, Key{});
        else
            key->released = false;
        return repeat;
    }

    // A reader that answers late lets the bridge's copy of a press come after the key's real release:
    // that copy is the press already noted, and must not mark the key down again, or the next real
    // press of it passes for a repeat (a shortcut pressed twice in a row would fire once).
    // Without a bridge no copy ever comes: the key is forgotten at once, as it is once a bridge that
    // sent copies has stopped (presses older than a copy could be are dropped here).
    void noteRelease(quint32 code, quint64 time) {
        const auto key = down_.find(code);
        if (key == down_.end()) return;
        if (time != 0) key->pending.removeIf([time](const Press& p) { return p.time + copyWithinMs < time; });
        if (key->pending.isEmpty() || !copiesCome_)
            down_.erase(key);
        else if (time != 0) // a copy of a release, stamped 0, comes after its original was noted
            key->released = true;
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
    // A bridge has sent copies of presses: after a release, copies may still come.
    bool copiesCome_ = false;
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
