#pragma once
// A plain-text label that wraps its text, laid out once per text, font and width instead of on every
// paint (a wrapped QLabel shapes its whole text again each time it is drawn), and drawn from a layer
// kept until the text, width or look change. Sizes are QLabel's own.
#include "SheetWidgets.h"

#include <QPainter>
#include <QStaticText>

class WrappedLabel : public SheetLabel {
public:
    explicit WrappedLabel(const QString& text, QWidget* parent = nullptr) : SheetLabel(text, parent) {
        setWordWrap(true);
        setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        const QRect r = contentsRect();
        if (text() != laidOut_ || font() != laidOutFont_ || r.width() != laidOutWidth_) {
            laidOut_ = text();
            laidOutFont_ = font();
            laidOutWidth_ = r.width();
            layout_ = QStaticText(laidOut_);
            layout_.setTextFormat(Qt::PlainText);
            layout_.setTextWidth(r.width());
            QTextOption wrap(alignment());
            wrap.setWrapMode(QTextOption::WordWrap);
            layout_.setTextOption(wrap);
            layout_.prepare(QTransform(), font());
        }
        if (laidOut_.isEmpty()) return QLabel::paintEvent(event); // the frame, if any
        QPainter p(this);
        const QColor colour =
            palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole());
        look().paint(p, QSizeF(size()), textKey(int(alignment()), r), [&](QPainter& layer) {
            layer.setFont(font());
            layer.setPen(colour);
            layer.drawStaticText(r.topLeft(), layout_);
        });
    }

private:
    QString laidOut_;
    QFont laidOutFont_;
    int laidOutWidth_ = -1;
    QStaticText layout_;
};
