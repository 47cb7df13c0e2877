#pragma once
// The kit's rotary control: a vertical drag on the dial sets the value; a 270 degree arc and an
// indicator show it, with an optional caption and a readout below.
#include "QMKitWidget.h"

#include <functional>
#include <optional>

class QMKnob : public QMKitWidget {
    Q_OBJECT
public:
    using Format = std::function<QString(double)>;
    QMKnob(double value, double lower, double upper, double size = 64, const QString& label = {},
           Format format = {}, QMUI* ui = nullptr, QWidget* parent = nullptr);

    double value() const { return value_; }
    void setValue(double v);
    double lower() const { return lower_; }
    double upper() const { return upper_; }
    QString label() const { return label_; }
    QString readout() const { return format_(value_); }

    static QString defaultFormat(double v);
    // The shown fraction of the range, limited to 0 ... 1.
    static double fraction(double value, double lower, double upper);
    // The indicator's turn in degrees (clockwise, 0 = straight up) for a fraction c.
    static double indicatorAngle(double c) { return 270.0 * c - 135.0; }
    // The value a drag writes: absolute from its start, 180 points of travel for the whole range.
    static double dragValue(double start, double dy, double lower, double upper);

    double dial() const { return z(size_); }
    double bleed() const override;
    QRectF dialRect() const;
    QRectF captionRect() const;
    QRectF readoutRect() const;
    QFont captionFont() const;
    QFont readoutFont() const { return ui().mono(11, QFont::Bold); }
    bool dragging() const { return start_.has_value(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void valueWritten(double value);

protected:
    bool event(QEvent*) override;
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    double value_;
    double lower_;
    double upper_;
    double size_;
    QString label_;
    Format format_;
    std::optional<double> start_;
    std::optional<QPointF> pressAt_;
};
