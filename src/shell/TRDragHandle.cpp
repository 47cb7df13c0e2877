#include "TRDragHandle.h"

#include "PanelHints.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QStyleHints>
#include <QWidget>
#include <QWindow>

TRDragHandle::TRDragHandle(QWidget* surface) : QObject(surface), surface_(surface) {
    surface->installEventFilter(this);
}

bool TRDragHandle::eventFilter(QObject* watched, QEvent* event) {
    if (watched != surface_) return false;
    QWidget* window = surface_->window();
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() != Qt::LeftButton) return false;
        pressed_ = true;
        following_ = false;
        pressAt_ = e->globalPosition().toPoint();
        grab_ = pressAt_ - window->pos();
        return true;
    }
    case QEvent::MouseMove: {
        auto* e = static_cast<QMouseEvent*>(event);
        const QPoint at = e->globalPosition().toPoint();
        if (following_) {
            window->move(at - grab_);
            return true;
        }
        if (!pressed_) return false;
        if (!(e->buttons() & Qt::LeftButton)) {
            pressed_ = false; // the release went elsewhere
            return false;
        }
        if ((at - pressAt_).manhattanLength() < QGuiApplication::styleHints()->startDragDistance()) return true;
        pressed_ = false;
        // The window manager moves it from where the button went down, so the spot grabbed stays under
        // the pointer (Qt's own request starts from the pointer now, and the panel would lag behind).
        QWindow* handle = window->windowHandle();
        if (handle && (PanelHints::startMove(handle, pressAt_) || handle->startSystemMove())) return true;
        following_ = true;
        window->move(at - grab_);
        return true;
    }
    case QEvent::MouseButtonRelease: {
        if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) return false;
        const bool mine = pressed_ || following_;
        pressed_ = false;
        following_ = false;
        return mine;
    }
    default:
        return false;
    }
}
