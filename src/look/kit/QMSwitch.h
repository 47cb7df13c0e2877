#pragma once
// The kit's on/off switch: a capsule track whose metal thumb slides right when on, then a title.
// A click anywhere on the row flips the value; every change slides with a short ease-out.
#include "QMKitWidget.h"

#include <QEasingCurve>

class QVariantAnimation;

class QMSwitch : public QMKitWidget {
    Q_OBJECT
public:
    static constexpr int slideMs = 150;
    // The ease-out curve of the slide (the standard cubic ease-out, control points 0.58 and 1).
    static QEasingCurve slideCurve();

    QMSwitch(const QString& title, bool on = false, QMUI* ui = nullptr, QWidget* parent = nullptr);
    QString title() const { return title_; }
    bool isOn() const { return on_; }
    // Changes from the owner slide like clicks do.
    void setOn(bool on);
    // 0 = fully off look, 1 = fully on look; in between while sliding.
    double position() const { return position_; }

    QFont titleFont() const { return ui().font(11.5, QFont::DemiBold); }
    double bleed() const override;
    QRectF trackRect() const;
    QRectF thumbRect() const; // the disc, at the current position
    QRectF titleRect() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void toggled(bool on); // written by a click

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    QString title_;
    bool on_;
    double position_;
    bool pressed_ = false;
    QVariantAnimation* slide_;
};
