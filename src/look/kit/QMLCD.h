#pragma once
// The kit's small LCD readout: bold monospaced glowing text in a capsule window with a metal rim.
#include "QMKitWidget.h"

class QMLCD : public QMKitWidget {
    Q_OBJECT
public:
    explicit QMLCD(const QString& text, double size = 18, QMUI* ui = nullptr, QWidget* parent = nullptr);
    QString text() const { return text_; }
    void setText(const QString& text);
    double textSize() const { return size_; }

    QFont lcdFont() const { return ui().mono(size_, QFont::Bold); }
    QSizeF margins() const { return QSizeF(z(12), z(5)); }
    double glowRadius() const { return z(4); }
    QRectF windowRect() const { return face(); }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString text_;
    double size_;
};
