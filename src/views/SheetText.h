#pragma once
// Labels of the sheets: plain text (never rich), in a font, optionally in the secondary style.
#include <QLabel>

namespace SheetText {

inline QColor secondary(const QPalette& pal) {
    QColor c = pal.color(QPalette::WindowText);
    c.setAlphaF(0.55);
    return c;
}

inline QLabel* label(const QString& s, const QFont& font, bool secondaryStyle, bool wrap = false) {
    auto* l = new QLabel(s);
    l->setFont(font);
    l->setTextFormat(Qt::PlainText);
    l->setWordWrap(wrap);
    if (secondaryStyle) {
        QPalette pal = l->palette();
        pal.setColor(QPalette::WindowText, secondary(pal));
        l->setPalette(pal);
    }
    return l;
}

} // namespace SheetText
