#pragma once
// Lets the user drag a frameless window by its background. Only a drag moves it: once the pointer has
// gone the platform's drag distance with the button still held, the window manager is asked to move the
// window; where none can (no window manager), the window follows the mouse itself. A click that does not
// drag changes nothing (a move begun on a press whose release came with it would never end).
#include <QObject>
#include <QPoint>

class QWidget;

class TRDragHandle : public QObject {
    Q_OBJECT
public:
    // Watches presses that reach `surface` (its own and those its children leave unhandled).
    explicit TRDragHandle(QWidget* surface);
    bool following() const { return following_; }
    bool pressed() const { return pressed_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* surface_;
    bool pressed_ = false;   // the left button went down here and no drag has begun
    bool following_ = false; // the window follows the mouse itself
    QPoint pressAt_;         // where the button went down, on the screen
    QPoint grab_;            // the mouse's offset from the window's corner
};
