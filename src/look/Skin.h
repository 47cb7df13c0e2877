#pragma once
// Shared painting of the hardware look: brushed metal, screws, bezels, lamps and glowing text. Every
// shadow and glow is painted here (no graphics effects, which do not survive the zoom host's scaling).
#include "Finish.h"

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <QString>

#include <functional>
#include <memory>

namespace Skin {

QColor mix(const QColor& a, const QColor& b, qreal t);
QColor alpha(const QColor& c, qreal opacity);

// A rounded metal plate in the finish: vertical gradient, fine horizontal brushing, a bright top edge
// and a dark outline.
void metalPlate(QPainter& p, const QRectF& r, qreal corner, const Finish& f);
// A flush-mounted screw: recessed hole, domed head and a cross slot turned by `angle` degrees.
void screw(QPainter& p, const QPointF& centre, qreal radius, const Finish& f, qreal angle);
// A polished ring between two circles (outer radius r, width w).
void chromeRing(QPainter& p, const QPointF& centre, qreal r, qreal w, const Finish& f);
// A soft halo: a radial fade from `colour` at `opacity` at radius `inner` to nothing at `outer`.
void halo(QPainter& p, const QPointF& centre, qreal inner, qreal outer, const QColor& colour, qreal opacity);
// A soft drop shadow under a rounded rectangle, painted as a few widening translucent outlines.
void dropShadow(QPainter& p, const QRectF& r, qreal corner, qreal spread, qreal opacity);
// The keyboard focus mark: a bright line on a dark one round `shape`, so it stands out on every finish,
// light or dark, and over the controls' own accent glow.
void focusRing(QPainter& p, const QPainterPath& shape);
// Text with a glow of its own colour behind it (blurred, cached per text, font, colour and scale).
void glowText(QPainter& p, const QRectF& r, int flags, const QString& text, const QFont& font,
              const QColor& colour, qreal glowOpacity = 0.55, qreal glowRadius = 3);
// Engraved lettering: the text in `colour` over a dark shadow one pixel lower.
void engravedText(QPainter& p, const QRectF& r, int flags, const QString& text, const QFont& font,
                  const QColor& colour);

// How many device pixels one logical pixel covers under the painter's transform (zoom, high DPI).
qreal deviceScale(const QPainter& p);
// Draws a layer that only changes with `key` from a cache: `draw` paints it once at the painter's
// device scale into a pixmap of `size` logical pixels, placed at the painter's origin. The heavy
// gradients and glows are then a single blit per frame. Widgets that look alike (the same key) share
// one pixmap.
void cachedLayer(QPainter& p, const QSizeF& size, const QString& key,
                 const std::function<void(QPainter&)>& draw);

// A widget's own look kept by the widget (its text included, so its key keeps changing): one pixmap per
// owner, replaced when the key, the size, the pixel ratio or the painter's hints change, so old ones do
// not crowd the shared cache. It is drawn in the state the painter `p` starts in and at the device's
// own pixel ratio, and kept only where `p` draws at that ratio on whole device pixels (a window's
// repaint, a grab, a render at the screen's scale); under any other transform (the zoom host) `draw`
// paints straight on, so zoomed looks stay exactly what they were.
struct LayerImage;
class Layer {
public:
    Layer();
    ~Layer();
    void paint(QPainter& p, const QSizeF& size, const QString& key,
               const std::function<void(QPainter&)>& draw);
    void clear();

private:
    QString key_;
    QSizeF size_;
    qreal ratio_ = 0;
    QPainter::RenderHints hints_;
    std::unique_ptr<LayerImage> image_;
};

// A cache key part for a finish.
QString key(const Finish& f);

} // namespace Skin
