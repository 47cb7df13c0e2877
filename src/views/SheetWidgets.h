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

namespace SheetLook {
// The key part every layer of `w` shares: its style, change count, state, direction and palette.
QString key(const QWidget* w, quint32 changes, const QStyleOption& option);
// Change events after which the same option may look different: a new style or style sheet, palette,
// font, window activation or language.
bool altersLook(const QEvent* event);
} // namespace SheetLook

// What each kept-look control adds to its stock class: the layer and the count of look-altering changes.
template <typename Base> class KeptLook : public Base {
public:
    using Base::Base;

protected:
    void changeEvent(QEvent* event) override {
        if (SheetLook::altersLook(event)) ++changes_;
        Base::changeEvent(event);
    }
    quint32 changes() const { return changes_; }
    Skin::Layer& look() { return look_; }

private:
    quint32 changes_ = 0;
    Skin::Layer look_;
};

class SheetButton : public KeptLook<QPushButton> {
public:
    using KeptLook::KeptLook;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class SheetGroupBox : public KeptLook<QGroupBox> {
public:
    using KeptLook::KeptLook;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Only at rest: while the mouse is over it or a button is held, hover and press are drawn the style's
// way, as are transient scroll bars, which animate.
class SheetScrollBar : public KeptLook<QScrollBar> {
public:
    using KeptLook::KeptLook;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A plain-text label (no pixmap, frame, margin, indent or selectable text: those paint QLabel's way).
class SheetLabel : public KeptLook<QLabel> {
public:
    explicit SheetLabel(const QString& text = QString(), QWidget* parent = nullptr) : KeptLook(text, parent) {
        setTextFormat(Qt::PlainText);
    }

protected:
    void paintEvent(QPaintEvent* event) override;
    // The layer key of text drawn with `flags` into `r`: the look, where, how and what.
    QString textKey(int flags, const QRect& r) const;
};
