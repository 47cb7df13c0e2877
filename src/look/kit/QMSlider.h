#pragma once
// The kit's horizontal slider: a well-coloured track, an accent fill up to a chrome thumb that
// follows the pointer. The value belongs to the caller; drags write it and report their end.
#include "QMKitWidget.h"

#include <functional>

class QMSlider : public QMKitWidget {
    Q_OBJECT
public:
    explicit QMSlider(double value = 0, double lower = 0, double upper = 1,
                      std::function<void()> onEditingEnded = {}, QMUI* ui = nullptr,
                      QWidget* parent = nullptr);

    double value() const { return value_; }
    void setValue(double v);
    double lower() const { return lower_; }
    double upper() const { return upper_; }

    // The value's place in the range, limited to 0 ... 1 (0 for an empty range or NaN).
    static double fraction(double value, double lower, double upper);
    // The value a pointer at `p` stands for on a slider W wide with a thumb K wide.
    static double valueAt(double p, double W, double K, double lower, double upper);

    double thumbDiameter() const { return z(16); }
    double bleed() const override;
    // Geometry at the current value: the thumb's distance from the leading edge, the fill's width.
    double thumbOffset() const;
    QRectF thumbRect() const;
    QRectF fillRect() const;
    QRectF trackRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void valueWritten(double value); // every movement of a drag, the press included
    void editingEnded();             // after onEditingEnded, when given, has run

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    void writeAt(double x);
    double value_;
    double lower_;
    double upper_;
    bool dragging_ = false;
    std::function<void()> onEditingEnded_;
};
