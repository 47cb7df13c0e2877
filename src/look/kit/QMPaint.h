#pragma once
// Drawing helpers shared by the kit widgets: shapes, strokes kept inside their shape, gradients
// over a rectangle, and soft shadows and glows rendered by the kit itself (no graphics effects).
#include <QColor>
#include <QGradientStops>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <functional>

namespace QMPaint {

QPainterPath capsule(const QRectF& r);
// A rounded rectangle with continuous corners (circular ones where a side is too short for them).
QPainterPath rounded(const QRectF& r, double radius);
QPainterPath circle(const QRectF& r);

// A brush running top to bottom (or leading to trailing) across `r`.
QBrush vertical(const QRectF& r, const QGradientStops& stops);
QBrush horizontal(const QRectF& r, const QGradientStops& stops);
QGradientStops stops(std::initializer_list<QColor> colours);

// Strokes the shape `make(r inset by width / 2)` so that the line lies wholly inside `make(r)`.
void strokeBorder(QPainter& p, const QRectF& r, const std::function<QPainterPath(const QRectF&)>& make,
                  double width, const QBrush& brush);

// How far a blur of `radius` spreads beyond what is blurred.
double spread(double radius);

// Draws whatever `draw` paints, blurred with `radius` (logical units, at the painter's scale),
// shifted by `offset`. `bounds` must contain everything `draw` paints.
void blurred(QPainter& p, const QRectF& bounds, double radius, const QPointF& offset,
             const std::function<void(QPainter&)>& draw);

// A shadow of `shape` in `colour`: the shape filled, blurred, shifted.
void shadow(QPainter& p, const QPainterPath& shape, const QColor& colour, double radius,
            const QPointF& offset = {});

// Blurs a premultiplied ARGB image in place (three box passes approximating a Gaussian of sigma).
void blurImage(QImage& image, double sigma);

} // namespace QMPaint
