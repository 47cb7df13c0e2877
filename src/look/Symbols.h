#pragma once
// System symbol images by the names the views use ("plus", "sos", "paperplane.fill", ...), drawn from
// bundled SVG icons and tinted in one colour.
#include <QColor>
#include <QPixmap>
#include <QRectF>
#include <QString>
#include <QStringList>

class QPainter;

namespace Symbols {

bool has(const QString& name);
QStringList names();
// The symbol fitted into a square of `px` logical pixels at the device pixel ratio; a null pixmap for an
// unknown name.
QPixmap pixmap(const QString& name, const QColor& colour, int px, qreal devicePixelRatio = 1.0);
// Draws the symbol centred in `rect` (fitted to its smaller side) through the painter's transform, so it
// stays sharp when the painter is scaled.
void paint(QPainter& painter, const QRectF& rect, const QString& name, const QColor& colour);

} // namespace Symbols
