#pragma once
// A plain-text label that wraps its text, laid out once per text, font and width instead of on every
// paint (a wrapped QLabel shapes its whole text again each time it is drawn). Sizes are QLabel's own.
#include <QLabel>
#include <QPainter>
#include <QStaticText>

class WrappedLabel : public QLabel {
public:
    explicit WrappedLabel(const QString& text, QWidget* parent = nullptr) : QLabel(text, parent) {
        setTextFormat(Qt::PlainText);
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
        p.setFont(font());
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
        p.drawStaticText(r.topLeft(), layout_);
    }

private:
    QString laidOut_;
    QFont laidOutFont_;
    int laidOutWidth_ = -1;
    QStaticText layout_;
};
