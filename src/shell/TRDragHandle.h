#pragma once
// Lets the user drag a frameless window by its background: a press asks the window manager to move the
// window; where none can (no window manager), the window follows the mouse itself.
#include <QObject>
#include <QPoint>

class QWidget;

class TRDragHandle : public QObject {
    Q_OBJECT
public:
    // Watches presses that reach `surface` (its own and those its children leave unhandled).
    explicit TRDragHandle(QWidget* surface);
    bool following() const { return following_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* surface_;
    bool following_ = false;
    QPoint grab_; // the mouse's offset from the window's corner
};
