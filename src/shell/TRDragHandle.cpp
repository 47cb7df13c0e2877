#include "TRDragHandle.h"

#include <QMouseEvent>
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
        following_ = false;
        QWindow* handle = window->windowHandle();
        if (handle && handle->startSystemMove()) return true;
        following_ = true;
        grab_ = e->globalPosition().toPoint() - window->pos();
        return true;
    }
    case QEvent::MouseMove: {
        if (!following_) return false;
        auto* e = static_cast<QMouseEvent*>(event);
        window->move(e->globalPosition().toPoint() - grab_);
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (!following_) return false;
        following_ = false;
        return true;
    default:
        return false;
    }
}
