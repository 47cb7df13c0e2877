#pragma once
// An LCD-look screen: a dark bezel and backlit glass in the finish's LCD colours, with its content laid
// out on the glass. Children inherit the lit LCD text colour as their foreground.
#include "Finish.h"

#include <QLabel>
#include <QWidget>

class QPainter;

class LCDScreen : public QWidget {
    Q_OBJECT
public:
    // `content` (optional) is laid out inside the glass; or give the screen a layout yourself.
    explicit LCDScreen(const Finish& finish, QWidget* content = nullptr, QWidget* parent = nullptr);
    const Finish& finish() const { return finish_; }
    void setFinish(const Finish& finish);
    QRectF glassRect() const;
    static constexpr qreal bezel = 4;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void applyPalette();
    void paintGlass(QPainter& p);
    Finish finish_;
};

// One line of lit LCD text: plain text with a glow of its own colour behind it, cut with an ellipsis
// when the line is too narrow (then the whole text shows on hover).
class LCDLabel : public QWidget {
    Q_OBJECT
public:
    LCDLabel(const QString& text, const QFont& font, const QColor& colour, QWidget* parent = nullptr);
    QString text() const { return text_; }
    void setText(const QString& text);
    void setColour(const QColor& colour);
    QColor colour() const { return colour_; }
    void setFont(const QFont& font);
    void setGlow(qreal opacity, qreal radius);
    void setAlignment(Qt::Alignment a);
    bool cut() const; // the text does not fit the label's width
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString text_;
    QFont font_;
    QColor colour_;
    qreal glowOpacity_ = 0.55;
    qreal glowRadius_ = 3;
    Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignVCenter;
};
