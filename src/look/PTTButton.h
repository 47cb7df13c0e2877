#pragma once
// The round push-to-talk button. A mouse press calls `press` once and the release calls `release`;
// it glows red on air and blue while receiving. Hiding, disabling or destroying it while held, or a
// modal window taking the pointer from it, releases, so a lost mouse release never leaves the radio on
// air. Disabled, it is drawn at half strength. Its accessibility action presses and releases 3 s later.
#include "Finish.h"

#include <QWidget>

#include <functional>

class PTTButton : public QWidget {
    Q_OBJECT
public:
    // What the button shows of the radio's talk state; its owner passes it in.
    enum class State { idle, transmitting, receiving, busy };

    PTTButton(const Finish& finish, State state, qreal size = 230, std::function<void()> press = {},
              std::function<void()> release = {}, QWidget* parent = nullptr);
    ~PTTButton() override; // a button destroyed while held releases first
    const Finish& finish() const { return finish_; }
    void setFinish(const Finish& finish);
    State state() const { return state_; }
    void setState(State state);
    qreal size() const { return size_; }
    bool isDown() const { return down_; }
    void setActions(std::function<void()> press, std::function<void()> release);

    // The default accessibility action: press now, release 3.0 s later (the release is kept by the
    // application, so it still comes when the button is gone). Does nothing while disabled.
    void accessibilityPress();
    static constexpr int accessibilityHoldMs = 3000;

    // The glow needs room around the dome: the widget is `size` plus this on each side.
    static int margin(qreal size) { return qRound(size * 0.07); }
    QRectF dialRect() const; // the circle of diameter `size`
    QString faceText() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void hideEvent(QHideEvent*) override;
    void changeEvent(QEvent*) override;
    bool event(QEvent*) override;

private:
    void letGo();
    void paintDial(class QPainter& p);
    Finish finish_;
    State state_;
    qreal size_;
    std::function<void()> press_;
    std::function<void()> release_;
    bool down_ = false;
};
