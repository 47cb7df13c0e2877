#include "KeysDown.h"

#include <QGuiApplication>
#include <QHash>
#include <QKeyEvent>
#include <QPointer>

namespace {

class Record : public QObject {
public:
    explicit Record(QObject* parent) : QObject(parent) {
        // A key let go while another application has the keyboard never tells us: forget what was down.
        connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state != Qt::ApplicationActive) down_.clear();
        });
    }

    bool note(const QKeyEvent* key) {
        const quint32 code = key->nativeScanCode();
        if (code == 0) return key->isAutoRepeat();
        if (key->type() == QEvent::KeyRelease) {
            if (!key->isAutoRepeat()) down_.remove(code);
            return false;
        }
        // The one press is handed from window to view, scene and widget and seen at each: it is told
        // from the next press of a key still down by its time.
        const auto held = down_.constFind(code);
        const bool repeat = key->isAutoRepeat() || (held != down_.cend() && *held != key->timestamp());
        if (!repeat) down_.insert(code, key->timestamp());
        return repeat;
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type == QEvent::ShortcutOverride || type == QEvent::KeyPress || type == QEvent::KeyRelease)
            (void)note(static_cast<QKeyEvent*>(event));
        return false;
    }

private:
    // Native scan codes of keys down, with the time of the press that put each down.
    QHash<quint32, quint64> down_;
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
    return record ? record->note(event) : event->isAutoRepeat();
}

} // namespace KeysDown
