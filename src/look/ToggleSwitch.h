#pragma once
// A hardware toggle switch with a title: a chrome bat lever on a nut, up for on, with a lamp. The whole
// face is one button; a click flips the value (sprung).
#include "Finish.h"

#include <QAbstractButton>
#include <QVariantAnimation>

class ToggleSwitch : public QAbstractButton {
    Q_OBJECT
public:
    ToggleSwitch(const QString& title, bool isOn, const Finish& finish, QWidget* parent = nullptr);
    bool isOn() const { return on_; }
    // Follows the bound value (no signal, no animation when it already matches).
    void setOn(bool on);
    const Finish& finish() const { return finish_; }
    void setFinish(const Finish& finish);
    QString title() const { return text(); }
    qreal leverPosition() const { return position_; } // 0 down (off) ... 1 up (on); overshoots while sprung
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    static constexpr int plateWidth = 30;
    static constexpr int plateHeight = 40;

signals:
    void toggledByUser(bool on); // the two-way binding's write

protected:
    void paintEvent(QPaintEvent*) override;
    void nextCheckState() override {}

private:
    void flip();
    Finish finish_;
    bool on_;
    qreal position_;
    QVariantAnimation anim_;
};
