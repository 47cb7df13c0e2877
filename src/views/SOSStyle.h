#pragma once
// Small helpers of the SOS sheet and its cards: text colours on the dark sheet and the prominent
// (filled) button.
#include "SheetText.h"

#include <QColor>
#include <QPalette>
#include <QPushButton>
#include <QString>
#include <QWidget>

namespace SOSStyle {

inline void setTextColour(QWidget* w, const QColor& c) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, c);
    pal.setColor(QPalette::Text, c);
    w->setPalette(pal);
}

// The sheet's text colour at reduced strength, for the lesser lines.
inline QColor secondary(const QWidget* w) {
    return SheetText::secondary(w->palette());
}

// A filled button in `fill` with white title (and a dimmed fill while disabled).
inline void prominent(QPushButton* b, const QColor& fill) {
    QColor dim = fill;
    dim.setAlphaF(0.35f);
    b->setStyleSheet(
        QStringLiteral("QPushButton { background-color: %1; color: white; border: 1px solid %2;"
                       " border-radius: 6px; padding: 4px 12px; }"
                       " QPushButton:pressed { background-color: %2; }"
                       " QPushButton:disabled { background-color: %3; color: rgba(255,255,255,140); }")
            .arg(fill.name(), fill.darker(130).name(), dim.name(QColor::HexArgb)));
}

} // namespace SOSStyle
