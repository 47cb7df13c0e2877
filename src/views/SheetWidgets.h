#pragma once
// Stock controls of the sheets that draw their look from a layer kept until it changes. A whole sheet
// drawn again (a grab, a render of the window) otherwise repaints every button, frame, scroll bar and
// line of text through the style: shaping the text, stroking the frames, and filling the scroll bar's
// long gradients, which the raster engine splits over the global thread pool and then waits for. Each
// layer is keyed by what the style is handed (the style option) and a count of the change events that
// can alter the look without showing in it (style, palette, font, activation); Skin::Layer adds the
// size, pixel ratio and render hints, and under a zoomed painter draws straight on.
#include "Skin.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

class QStyleOption;

class SheetButton : public QPushButton {
public:
    explicit SheetButton(const QString& text, QWidget* parent = nullptr) : QPushButton(text, parent) {}

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    quint32 changes_ = 0;
    Skin::Layer look_;
};

class SheetGroupBox : public QGroupBox {
public:
    explicit SheetGroupBox(const QString& title, QWidget* parent = nullptr) : QGroupBox(title, parent) {}

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    quint32 changes_ = 0;
    Skin::Layer look_;
};

// Only at rest: while the mouse is over it or a button is held, hover and press are drawn the style's
// way, as are transient scroll bars, which animate.
class SheetScrollBar : public QScrollBar {
public:
    explicit SheetScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr)
        : QScrollBar(orientation, parent) {}

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    quint32 changes_ = 0;
    Skin::Layer look_;
};

// A plain-text label (no pixmap, frame, margin, indent or selectable text: those paint QLabel's way).
class SheetLabel : public QLabel {
public:
    explicit SheetLabel(const QString& text = QString(), QWidget* parent = nullptr) : QLabel(text, parent) {
        setTextFormat(Qt::PlainText);
    }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    // What the layer's key adds for a subclass that draws the text its own way.
    quint32 changes() const { return changes_; }
    Skin::Layer& look() { return look_; }

private:
    quint32 changes_ = 0;
    Skin::Layer look_;
};

namespace SheetLook {
// The key part every layer of `w` shares: its style, change count, state, direction and palette.
QString key(const QWidget* w, quint32 changes, const QStyleOption& option);
} // namespace SheetLook
