#pragma once
// An indicator lamp: a dark lens when off, glowing in its colour when on. The lamp is `size` across;
// the widget leaves room around it for the glow.
#include <QColor>
#include <QWidget>
#include <QtMath>

class LED : public QWidget {
    Q_OBJECT
public:
    LED(bool on, const QColor& colour, qreal size = 10, QWidget* parent = nullptr);
    bool isOn() const { return on_; }
    void setOn(bool on);
    QColor colour() const { return colour_; }
    // The lamp's name for assistive technology, which hears it with its state: "Relay: on".
    void setTitle(const QString& title);
    void setColour(const QColor& colour);
    qreal lampSize() const { return size_; }
    // The space left on each side of the lamp for its glow.
    static int glowMargin(qreal size) { return qCeil(size * 0.5); }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    // Paints a lamp of diameter `size` centred at `centre` (also used by other components).
    static void paintLamp(class QPainter& p, const QPointF& centre, qreal size, const QColor& colour,
                          bool on);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void nameForReader();
    bool on_;
    QString title_;
    QColor colour_;
    qreal size_;
};
