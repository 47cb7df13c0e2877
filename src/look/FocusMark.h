#pragma once
// The keyboard focus mark for the plain Qt controls among the painted ones (the finish picker, the
// message field and its Send key, the music controls). Their own style draws a faint line that is lost
// on the dark finishes; this draws the look's own ring round whichever of them has the focus. The
// painted controls draw the ring themselves.
#include <QFocusFrame>

class FocusMark : public QFocusFrame {
    Q_OBJECT
public:
    // Marks the focused plain control anywhere inside `root`, for as long as `root` lives.
    static void follow(QWidget* root);

protected:
    explicit FocusMark(QWidget* root);
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent*) override;

private:
    QWidget* root_;
};
