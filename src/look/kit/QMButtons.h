#pragma once
// The kit's buttons: an engraved text label on a chrome (or glowing accent) capsule, and a round
// glass orb showing one symbol, lit or unlit.
#include "QMKitWidget.h"

#include <QAbstractButton>
#include <functional>

class QMChromeButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit QMChromeButton(const QString& text, bool prominent = false, bool compact = false,
                            QMUI* ui = nullptr, QWidget* parent = nullptr);
    QMUI& ui() const { return *ui_; }
    bool prominent() const { return prominent_; }
    bool compact() const { return compact_; }

    QFont labelFont() const;
    QSizeF margins() const; // left/right, top/bottom
    // Shadow of the whole at rest or pressed: blur radius and downward offset (fixed points).
    static QPointF shadowFor(bool pressed) { return pressed ? QPointF(1, 0.5) : QPointF(3, 2); }
    double bleed() const;
    QRectF capsuleRect() const; // unpressed, before the 0.97 scale
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool hitButton(const QPoint& pos) const override;
    void paintEvent(QPaintEvent*) override;

private:
    QMUI* ui_;
    bool prominent_;
    bool compact_;
};

class QMOrbButton : public QAbstractButton {
    Q_OBJECT
public:
    QMOrbButton(const QString& symbol, double size = 34, bool lit = false, const QString& help = {},
                std::function<void()> action = {}, QMUI* ui = nullptr, QWidget* parent = nullptr);
    QMUI& ui() const { return *ui_; }
    QString symbol() const { return symbol_; }
    double orbSize() const { return size_; }
    bool lit() const { return lit_; }
    void setLit(bool lit);
    QString help() const { return help_; }

    double diameter() const { return ui_->z(size_); }
    double bleed() const;
    QRectF orbRect() const;
    QSize sizeHint() const override;

protected:
    bool hitButton(const QPoint& pos) const override;
    void paintEvent(QPaintEvent*) override;

private:
    QMUI* ui_;
    QString symbol_;
    double size_;
    bool lit_;
    QString help_;
};
