#include "SpaceBarTalk.h"

#include "TRTalk.h"
#include "WalkieModel.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QKeyEvent>
#include <QKeySequenceEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTimer>
#include <QWindow>

SpaceBarTalk::SpaceBarTalk(std::function<WalkieModel*()> model, QObject* parent)
    : QObject(parent), model_(std::move(model)) {
    if (!model_) model_ = [] { return WalkieModel::shared().data(); };
}

SpaceBarTalk::~SpaceBarTalk() {
    if (installed_ && qApp) qApp->removeEventFilter(this);
}

void SpaceBarTalk::install() {
    if (installed_) return;
    installed_ = true;
    qApp->installEventFilter(this);
    // A key-up that goes to another application would leave the radio on air until the talk limit.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, &SpaceBarTalk::applicationStateChanged);
}

QWidget* SpaceBarTalk::effectiveFocus(QWidget* focus) {
    // Inside a graphics view (the zoom host) the application's focus widget is the view itself; the
    // widget really focused is the one inside the focused proxy.
    for (int depth = 0; focus && depth < 8; ++depth) {
        auto* view = qobject_cast<QGraphicsView*>(focus);
        if (!view || !view->scene()) break;
        QGraphicsItem* item = view->scene()->focusItem();
        if (!item || !item->isWidget()) break;
        auto* proxy = qgraphicsitem_cast<QGraphicsProxyWidget*>(item);
        if (!proxy || !proxy->widget()) break;
        QWidget* inner = proxy->widget()->focusWidget();
        if (!inner) inner = proxy->widget();
        if (inner == focus) break;
        focus = inner;
    }
    return focus;
}

bool SpaceBarTalk::editsText(QWidget* focus) {
    QWidget* w = effectiveFocus(focus);
    if (!w) return false;
    if (qobject_cast<QLineEdit*>(w) || qobject_cast<QTextEdit*>(w) || qobject_cast<QPlainTextEdit*>(w) ||
        qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QKeySequenceEdit*>(w))
        return true;
    if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->isEditable();
    // The editors of spin boxes, combo boxes and key sequence edits are line edits inside them, which
    // the first test already caught; a viewport of a text edit has the edit as its parent.
    if (w->parentWidget() &&
        (qobject_cast<QTextEdit*>(w->parentWidget()) || qobject_cast<QPlainTextEdit*>(w->parentWidget())))
        return true;
    return false;
}

bool SpaceBarTalk::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease) return false;
    // Act once per event: at the window, before the view, scene, proxy and focus widget get it.
    if (!watched->isWindowType()) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Space) return false;
    if (QApplication::activePopupWidget()) return false;
    if (editsText(QApplication::focusWidget())) return false;
    WalkieModel* model = model_();
    if (!model) return false;
    // The radio's controls are hidden behind the privacy lock; the space bar must not key it either.
    if (model->locked()) return false;

    if (type == QEvent::KeyPress) {
        if (releasePending_) {
            // A release with a press right behind it is a repeat.
            releasePending_ = false;
        } else if (!held_ && !key->isAutoRepeat()) {
            held_ = true;
            TRTalk::press(model);
        }
    } else if (held_ && !key->isAutoRepeat() && !releasePending_) {
        releasePending_ = true;
        QTimer::singleShot(0, this, &SpaceBarTalk::settleRelease);
    }
    return true; // every space press and release, repeats included, is swallowed
}

void SpaceBarTalk::settleRelease() {
    if (!releasePending_) return; // a press came first: the hold goes on
    endHold();
}

void SpaceBarTalk::endHold() {
    releasePending_ = false;
    if (!held_) return;
    held_ = false;
    if (WalkieModel* model = model_()) TRTalk::release(model);
}

void SpaceBarTalk::applicationStateChanged(Qt::ApplicationState state) {
    // A key-up that goes to another application never reaches us: end the hold once.
    if (state != Qt::ApplicationActive) endHold();
}
