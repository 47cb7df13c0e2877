#pragma once
// A metal plate of the finish with the given corner radius; lay other widgets on it.
#include "Finish.h"

#include <QWidget>

class MetalPanel : public QWidget {
    Q_OBJECT
public:
    explicit MetalPanel(const Finish& finish, qreal corner = 12, QWidget* parent = nullptr);
    const Finish& finish() const { return finish_; }
    void setFinish(const Finish& finish);
    qreal corner() const { return corner_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Finish finish_;
    qreal corner_;
};

// The rack module frame: a metal panel with four corner screws, its content inset by `padding`
// (the widget's contents margins; give it a layout as usual).
class ScrewedPanel : public QWidget {
    Q_OBJECT
public:
    explicit ScrewedPanel(const Finish& finish, qreal padding = 18, QWidget* parent = nullptr);
    const Finish& finish() const { return finish_; }
    void setFinish(const Finish& finish);
    qreal padding() const { return padding_; }
    // The corner radius of the frame and the screw head radius, for whoever needs to line up with them.
    static constexpr qreal corner = 10;
    qreal screwRadius() const;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void paintFrame(class QPainter& p);
    Finish finish_;
    qreal padding_;
};
