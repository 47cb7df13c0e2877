#pragma once
// Draws a named symbol image of the bundled icon set, tinted in one colour.
#include <QColor>
#include <QPainter>
#include <QString>

namespace QMSymbol {
// The resource holding the symbol's picture, or an empty string when there is none.
QString resourceFor(const QString& name);
void paint(QPainter& p, const QString& name, const QRectF& r, const QColor& colour);
} // namespace QMSymbol
