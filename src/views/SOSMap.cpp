#include "SOSMap.h"

#include "QMPaint.h"
#include "Skin.h"
#include "Symbols.h"
#include "TileCache.h"
#include "ViewText.h"

#include <QAbstractButton>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVarLengthArray>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace MapProjection {

double wrapLongitude(double lon) {
    if (!std::isfinite(lon)) return 0;
    double w = std::fmod(lon + 180.0, 360.0);
    if (w < 0) w += 360.0;
    return w - 180.0;
}

QPointF toWorld(const Coordinate& c) {
    const double lat = std::clamp(std::isfinite(c.lat) ? c.lat : 0.0, -maxLatitude, maxLatitude);
    const double x = (wrapLongitude(c.lon) + 180.0) / 360.0 * tileSize;
    const double s = std::sin(lat * M_PI / 180.0);
    const double y = (0.5 - std::log((1 + s) / (1 - s)) / (4 * M_PI)) * tileSize;
    return {x, y};
}

Coordinate fromWorld(const QPointF& p) {
    double x = std::fmod(p.x(), tileSize);
    if (x < 0) x += tileSize;
    const double y = std::clamp(p.y(), 0.0, tileSize);
    const double n = M_PI - 2 * M_PI * y / tileSize;
    const double lat = std::clamp(std::atan(std::sinh(n)) * 180.0 / M_PI, -maxLatitude, maxLatitude);
    return {lat, wrapLongitude(x / tileSize * 360.0 - 180.0)};
}

double metresPerPixel(double lat, double zoom) {
    const double l = std::clamp(lat, -maxLatitude, maxLatitude) * M_PI / 180.0;
    return earthCircumference * std::cos(l) / (tileSize * std::exp2(zoom));
}

double zoomForSpan(double metres, double pixels, double lat) {
    const double l = std::clamp(lat, -maxLatitude, maxLatitude) * M_PI / 180.0;
    return std::log2(earthCircumference * std::cos(l) * pixels / (tileSize * metres));
}

double distance(const Coordinate& a, const Coordinate& b) {
    constexpr double r = 6371008.8;
    const double p1 = a.lat * M_PI / 180, p2 = b.lat * M_PI / 180;
    const double dp = p2 - p1, dl = (b.lon - a.lon) * M_PI / 180;
    const double h = std::sin(dp / 2) * std::sin(dp / 2) +
                     std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
    return 2 * r * std::asin(std::min(1.0, std::sqrt(h)));
}

} // namespace MapProjection

using namespace MapProjection;

namespace {

const QColor markerRed(0xE5, 0x2B, 0x24);
const QColor land(0xEE, 0xEB, 0xE3);
constexpr double markerRadius = 12;
constexpr double markerLift = 26; // from the tip to the centre of the body

// A small square +/- key over the map's corner.
class ZoomKey : public QAbstractButton {
public:
    ZoomKey(const QString& symbol, const QString& tip, QWidget* parent)
        : QAbstractButton(parent), symbol_(symbol) {
        setToolTip(tip);
        setAccessibleName(tip);
        setCursor(Qt::ArrowCursor);
        setFocusPolicy(Qt::NoFocus);
        setAutoRepeat(true);
        resize(24, 24);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const bool down = isDown();
        look_.paint(p, QSizeF(size()), QString::number(down), [&](QPainter& layer) {
            layer.setRenderHint(QPainter::Antialiasing);
            const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
            layer.setPen(QPen(QColor(0, 0, 0, 60), 1));
            layer.setBrush(down ? QColor(225, 225, 225, 235) : QColor(255, 255, 255, 225));
            layer.drawPath(QMPaint::rounded(r, 5));
            Symbols::paint(layer, r.adjusted(6, 6, -6, -6), symbol_, QColor(40, 40, 40));
        });
    }

private:
    QString symbol_;
    Skin::Layer look_;
};

QString coordinateText(const Coordinate& c) {
    return QStringLiteral("%1, %2").arg(c.lat, 0, 'f', 5).arg(c.lon, 0, 'f', 5);
}

} // namespace

SOSMap::SOSMap(const QString& who, const Coordinate& coord, const QList<Coordinate>& trail, QWidget* parent,
               TileCache* tiles)
    : QWidget(parent), tiles_(tiles ? tiles : TileCache::shared()), who_(who), coord_(coord), trail_(trail) {
    setMinimumHeight(80);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::OpenHandCursor);
    setAccessibleName(tr("Map"));
    zoomIn_ = new ZoomKey(QStringLiteral("plus"), tr("Zoom in"), this);
    zoomOut_ = new ZoomKey(QStringLiteral("minus"), tr("Zoom out"), this);
    connect(zoomIn_, &QAbstractButton::clicked, this, [this] { zoomBy(1, rect().center()); });
    connect(zoomOut_, &QAbstractButton::clicked, this, [this] { zoomBy(-1, rect().center()); });
    if (tiles_)
        connect(tiles_, &TileCache::changed, this, [this] {
            ++tilesVersion_;
            update();
        });
    placeButtons();
}

SOSMap::~SOSMap() = default;

void SOSMap::setData(const QString& who, const Coordinate& coord, const QList<Coordinate>& trail) {
    if (who == who_ && coord == coord_ && trail == trail_) return;
    who_ = who;
    coord_ = coord;
    if (trail != trail_) ++trailVersion_;
    trail_ = trail;
    update();
}

void SOSMap::zoomBy(double steps, const QPointF& about) {
    if (!hasCamera_) return;
    const QPointF half(width() / 2.0, height() / 2.0);
    const QPointF under = centre_ + (about - half) / std::exp2(zoom_);
    zoom_ = std::clamp(zoom_ + steps, minZoom, maxZoom);
    moveCentreTo(under - (about - half) / std::exp2(zoom_));
}

void SOSMap::moveCentreTo(const QPointF& world) {
    // Latitude stops at the map's edge; longitude goes round.
    centre_ = QPointF(std::fmod(std::fmod(world.x(), tileSize) + tileSize, tileSize),
                      std::clamp(world.y(), 0.0, tileSize));
    update();
}

QPointF SOSMap::toScreen(const Coordinate& c) const {
    QPointF w = toWorld(c);
    // The copy of the world nearest the camera, so a position across the date line is not far away.
    const double dx = w.x() - centre_.x();
    w.rx() -= std::round(dx / tileSize) * tileSize;
    return (w - centre_) * std::exp2(zoom_) + QPointF(width() / 2.0, height() / 2.0);
}

Coordinate SOSMap::fromScreen(const QPointF& p) const {
    return fromWorld(centre_ + (p - QPointF(width() / 2.0, height() / 2.0)) / std::exp2(zoom_));
}

QRectF SOSMap::markerBody() const {
    const QPointF tip = toScreen(coord_);
    const QPointF c(tip.x(), tip.y() - markerLift);
    return {c.x() - markerRadius, c.y() - markerRadius, 2 * markerRadius, 2 * markerRadius};
}

void SOSMap::resizeEvent(QResizeEvent*) {
    if (!hasCamera_ && width() > 0 && height() > 0) {
        hasCamera_ = true;
        centre_ = toWorld(coord_);
        zoom_ = std::clamp(zoomForSpan(initialSpanMetres, std::min(width(), height()), coord_.lat), minZoom,
                           maxZoom);
    }
    placeButtons();
}

void SOSMap::placeButtons() {
    zoomIn_->move(width() - 8 - zoomIn_->width(), 8);
    zoomOut_->move(width() - 8 - zoomOut_->width(), 8 + zoomIn_->height() + 4);
}

int SOSMap::tileLevel() const {
    // Fractional zooms draw the next whole level's tiles a little smaller.
    return std::clamp(int(std::ceil(zoom_ - 1e-6)), 0, int(maxZoom));
}

void SOSMap::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    dragging_ = true;
    dragFrom_ = event->position();
    setCursor(Qt::ClosedHandCursor);
}

void SOSMap::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_ || !hasCamera_) return;
    const QPointF delta = event->position() - dragFrom_;
    dragFrom_ = event->position();
    moveCentreTo(centre_ - delta / std::exp2(zoom_));
}

void SOSMap::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    dragging_ = false;
    setCursor(Qt::OpenHandCursor);
}

void SOSMap::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseDoubleClickEvent(event);
    zoomBy(1, event->position());
}

void SOSMap::wheelEvent(QWheelEvent* event) {
    // A plain wheel belongs to the scrolling list around the map.
    if (!(event->modifiers() & Qt::ControlModifier)) {
        event->ignore();
        return;
    }
    zoomBy(event->angleDelta().y() / 240.0, event->position());
    event->accept();
}

void SOSMap::wantTiles() {
    if (!tiles_) return;
    // The same view wants the same tiles.
    const BackgroundKey view{centre_, zoom_, size(), 0, 0};
    if (view == wantedView_) return;
    wantedView_ = view;
    const int z = tileLevel();
    const double n = std::exp2(z);
    const double scale = std::exp2(zoom_) / n * tileSize; // screen pixels per tile
    const QPointF centreTile = centre_ * n / tileSize;
    const double halfW = width() / 2.0 / scale, halfH = height() / 2.0 / scale;
    // The tiles in view first (nearest the centre first), then a ring of one tile around them.
    const int x0 = int(std::floor(centreTile.x() - halfW)), x1 = int(std::floor(centreTile.x() + halfW));
    const int y0 = int(std::floor(centreTile.y() - halfH)), y1 = int(std::floor(centreTile.y() + halfH));
    QList<std::pair<double, TileKey>> ranked;
    const int count = int(n);
    for (int ty = y0 - 1; ty <= y1 + 1; ++ty) {
        if (ty < 0 || ty >= count) continue;
        for (int tx = x0 - 1; tx <= x1 + 1; ++tx) {
            const bool margin = tx < x0 || tx > x1 || ty < y0 || ty > y1;
            const double d = std::hypot(tx + 0.5 - centreTile.x(), ty + 0.5 - centreTile.y());
            const TileKey key{z, ((tx % count) + count) % count, ty};
            ranked.append({d + (margin ? 1e6 : 0), key});
        }
    }
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QList<TileKey> keys;
    keys.reserve(ranked.size());
    for (const auto& r : ranked)
        if (!keys.contains(r.second)) keys.append(r.second);
    if (keys == wantedKeys_) return;
    wantedKeys_ = keys;
    tiles_->want(this, keys);
}

bool SOSMap::paintTiles(QPainter& p) {
    if (!tiles_) return false;
    const int z = tileLevel();
    const double n = std::exp2(z);
    const double scale = std::exp2(zoom_) / n * tileSize;
    const QPointF centreTile = centre_ * n / tileSize;
    const QPointF half(width() / 2.0, height() / 2.0);
    const double halfW = half.x() / scale, halfH = half.y() / scale;
    const int count = int(n);
    bool drawn = false, failed = false;
    p.setRenderHint(QPainter::SmoothPixmapTransform, std::abs(scale - tileSize) > 0.01);
    for (int ty = int(std::floor(centreTile.y() - halfH)); ty <= int(std::floor(centreTile.y() + halfH));
         ++ty) {
        if (ty < 0 || ty >= count) continue;
        for (int tx = int(std::floor(centreTile.x() - halfW)); tx <= int(std::floor(centreTile.x() + halfW));
             ++tx) {
            const TileKey key{z, ((tx % count) + count) % count, ty};
            const QRectF target(half.x() + (tx - centreTile.x()) * scale,
                                half.y() + (ty - centreTile.y()) * scale, scale, scale);
            if (const QImage* img = tiles_->image(key)) {
                p.drawImage(target, *img);
                drawn = true;
                continue;
            }
            if (tiles_->state(key) == TileCache::State::failed) failed = true;
            // Stand in with the nearest coarser tile already in memory, enlarged.
            for (int d = 1; d <= std::min(z, 8); ++d) {
                const TileKey parent{z - d, key.x >> d, key.y >> d};
                if (const QImage* img = tiles_->image(parent)) {
                    const double part = tileSize / std::exp2(d);
                    const QRectF source((key.x & ((1 << d) - 1)) * part, (key.y & ((1 << d) - 1)) * part,
                                        part, part);
                    p.drawImage(target, *img, source);
                    drawn = true;
                    break;
                }
            }
        }
    }
    return drawn || !failed;
}

void SOSMap::paintGrid(QPainter& p) {
    // A metric grid through the position, 40 to 120 pixels between lines where the zoom allows.
    const double mpp = metresPerPixel(coord_.lat, zoom_);
    double spacing = 1000;
    for (double s : {100.0, 200.0, 500.0, 1000.0})
        if (s / mpp >= 40) {
            spacing = s;
            break;
        }
    const double step = spacing / mpp;
    const QPointF origin = toScreen(coord_);
    p.setPen(QPen(QColor(0, 0, 0, 38), 1));
    if (step >= 4) {
        for (double x = std::fmod(origin.x(), step) - step; x < width() + step; x += step)
            p.drawLine(QPointF(x, 0), QPointF(x, height()));
        for (double y = std::fmod(origin.y(), step) - step; y < height() + step; y += step)
            p.drawLine(QPointF(0, y), QPointF(width(), y));
    }
    // Scale bar, bottom left.
    const QString label = spacing >= 1000 ? tr("%1 km").arg(spacing / 1000) : tr("%1 m").arg(spacing);
    QFont f = font();
    f.setPixelSize(10);
    p.setFont(f);
    const double barLength = std::min(step, width() / 2.0);
    const QPointF a(12, height() - 12), b(12 + barLength, height() - 12);
    p.setPen(QPen(QColor(40, 40, 40), 2, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(a, b);
    p.drawLine(a, a - QPointF(0, 5));
    p.drawLine(b, b - QPointF(0, 5));
    p.drawText(QRectF(a.x(), a.y() - 20, 200, 14), Qt::AlignLeft | Qt::AlignBottom, label);
    // What is missing and where the position is, top left.
    QFont bold = f;
    bold.setBold(true);
    bold.setPixelSize(11);
    const QString caption = tr("Map tiles unavailable");
    const QString where = coordinateText(coord_);
    const QFontMetricsF fm(bold), fmSmall(f);
    const QRectF box(8, 8, std::max(fm.horizontalAdvance(caption), fmSmall.horizontalAdvance(where)) + 14,
                     36);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 215));
    p.drawPath(QMPaint::rounded(box, 6));
    p.setPen(QColor(40, 40, 40));
    p.setFont(bold);
    p.drawText(box.adjusted(7, 4, -7, -18), Qt::AlignLeft | Qt::AlignVCenter, caption);
    p.setFont(f);
    p.drawText(box.adjusted(7, 18, -7, -4), Qt::AlignLeft | Qt::AlignVCenter, where);
}

void SOSMap::paintTrail(QPainter& p) {
    if (trail_.size() < 2) return;
    // Stroking thousands of wide segments costs milliseconds, so the line is kept as a layer anchored
    // to the map: panning only moves it; the trail, the zoom or the painter's scale draw it anew.
    const qreal scale = Skin::deviceScale(p);
    const double k = std::exp2(zoom_);
    const QPointF view =
        centre_ * k - QPointF(width() / 2.0, height() / 2.0); // the view's corner, map pixels
    TrailKey key{trailVersion_, QPointF(), zoom_, QSize(), scale, merge_};
    if (!trailAnchored_) {
        key.centre = centre_;
        key.size = size();
    }
    if (!(key == trailKey_) || trailLayer_.isNull()) {
        // Map pixels at this zoom, unwrapped along the trail so a crossing of the date line stays short.
        QList<QPointF> points;
        points.reserve(trail_.size());
        double shift = 0;
        for (int i = 0; i < trail_.size(); ++i) {
            QPointF w = toWorld(trail_[i]);
            if (i > 0) {
                const double dx = w.x() + shift - points.last().x() / k;
                if (dx > tileSize / 2) shift -= tileSize;
                if (dx < -tileSize / 2) shift += tileSize;
            }
            w.rx() += shift;
            points.append(w * k);
        }
        QVarLengthArray<QLineF, 1024> segments;
        double left = points.first().x(), right = left, top = points.first().y(), bottom = top;
        QPointF last = points.first();
        for (int i = 1; i < points.size(); ++i) {
            const QPointF s = points[i];
            // Points within a pixel of the last one drawn add nothing but cost.
            if (merge_ && i != points.size() - 1 && std::abs(s.x() - last.x()) < 1 &&
                std::abs(s.y() - last.y()) < 1)
                continue;
            segments.append(QLineF(last, s));
            left = std::min(left, s.x());
            right = std::max(right, s.x());
            top = std::min(top, s.y());
            bottom = std::max(bottom, s.y());
            last = s;
        }
        QRectF bounds = QRectF(QPointF(left, top), QPointF(right, bottom)).adjusted(-3, -3, 3, 3);
        // A layer over the whole trail when it is not much larger than the view; else over the view.
        const double viewArea = std::max(double(width()) * height(), 520.0 * 220.0);
        trailAnchored_ = bounds.width() * bounds.height() <= 4 * viewArea;
        if (!trailAnchored_) {
            bounds = QRectF(view, QSizeF(size()));
            key.centre = centre_;
            key.size = size();
            // The trail's copy of the world nearest the camera.
            const double world = tileSize * k;
            const double dx = points.last().x() - centre_.x() * k;
            for (QLineF& l : segments)
                l.translate(-std::round(dx / world) * world, 0);
        }
        trailKey_ = key;
        trailOrigin_ = bounds.topLeft();
        trailLayer_ = QImage((bounds.size() * scale).toSize().expandedTo(QSize(1, 1)),
                             QImage::Format_ARGB32_Premultiplied);
        trailLayer_.setDevicePixelRatio(scale);
        trailLayer_.fill(Qt::transparent);
        // Map pixels run to millions: move the lines next to the origin in double precision before the
        // painter's fixed-point arithmetic sees them.
        for (QLineF& l : segments)
            l.translate(-trailOrigin_);
        QPainter layer(&trailLayer_);
        layer.setRenderHint(QPainter::Antialiasing);
        // Separate straight segments: square ends close the joins at this width, and cost a third of
        // round ones.
        layer.setPen(QPen(markerRed, 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        layer.drawLines(segments.data(), int(segments.size()));
    }
    QPointF at = trailOrigin_ - view;
    if (trailAnchored_) {
        // The copy of the world nearest the camera.
        const double world = tileSize * k;
        const double mid = at.x() + trailLayer_.width() / scale / 2 - width() / 2.0;
        at.rx() -= std::round(mid / world) * world;
    }
    p.drawImage(at, trailLayer_);
}

void SOSMap::paintMarker(QPainter& p) {
    const QPointF tip = toScreen(coord_);
    const qreal scale = Skin::deviceScale(p);
    const MarkerKey key{who_, font(), width(), scale};
    if (!(key == markerKey_) || marker_.isNull()) {
        markerKey_ = key;
        // The title under the tip, as written (never a translation key), haloed for any background.
        QFont f = font();
        f.setPixelSize(11);
        f.setBold(true);
        const QFontMetricsF fm(f);
        const QString title = fm.elidedText(ViewText::oneLine(who_), Qt::ElideRight, width() * 0.6);
        const double titleWidth = title.isEmpty() ? 0 : fm.horizontalAdvance(title);
        // Room for the pin above the tip, the title below it, and the halo and outline around both.
        const double half = std::ceil(std::max(markerRadius + 2, titleWidth / 2 + 3));
        const double above = std::ceil(markerLift + markerRadius + 2);
        const double below = std::ceil(4 + fm.height() + 3);
        marker_ =
            QImage((QSizeF(2 * half, above + below) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
        marker_.setDevicePixelRatio(scale);
        marker_.fill(Qt::transparent);
        markerTip_ = QPointF(half, above);
        QPainter m(&marker_);
        m.setRenderHint(QPainter::Antialiasing);
        const QPointF at = markerTip_;
        const QPointF c(at.x(), at.y() - markerLift);
        const QRectF body(c.x() - markerRadius, c.y() - markerRadius, 2 * markerRadius, 2 * markerRadius);
        // A pin: round head over a point standing on the position.
        QPainterPath pin;
        pin.addEllipse(body);
        QPainterPath point;
        point.moveTo(c + QPointF(-markerRadius * 0.62, markerRadius * 0.72));
        point.lineTo(at);
        point.lineTo(c + QPointF(markerRadius * 0.62, markerRadius * 0.72));
        point.closeSubpath();
        pin = pin.united(point);
        m.setPen(QPen(Qt::white, 2));
        m.setBrush(markerRed);
        m.drawPath(pin);
        Symbols::paint(m, body.adjusted(5, 5, -5, -5), QStringLiteral("sos"), Qt::white);
        if (!title.isEmpty()) {
            QPainterPath text;
            text.addText(at.x() - titleWidth / 2, at.y() + 4 + fm.ascent(), f, title);
            m.setPen(QPen(QColor(255, 255, 255, 230), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            m.setBrush(Qt::NoBrush);
            m.drawPath(text);
            m.setPen(Qt::NoPen);
            m.setBrush(QColor(30, 30, 30));
            m.drawPath(text);
        }
    }
    p.drawImage(tip - markerTip_, marker_);
}

void SOSMap::paintAttribution(QPainter& p) {
    const qreal scale = Skin::deviceScale(p);
    const AttributionKey key{font(), size(), scale};
    if (!(key == attributionKey_) || attribution_.isNull()) {
        attributionKey_ = key;
        // The tile server's licence asks for this wherever its tiles are shown.
        const QString text = QStringLiteral("© OpenStreetMap contributors");
        QFont f = font();
        f.setPixelSize(9);
        const QFontMetricsF fm(f);
        const QRectF box(width() - fm.horizontalAdvance(text) - 10, height() - fm.height() - 4,
                         fm.horizontalAdvance(text) + 10, fm.height() + 4);
        attributionBox_ = box.toAlignedRect();
        attribution_ =
            QImage((QSizeF(attributionBox_.size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
        attribution_.setDevicePixelRatio(scale);
        attribution_.fill(Qt::transparent);
        QPainter a(&attribution_);
        a.setRenderHint(QPainter::Antialiasing);
        a.translate(-attributionBox_.topLeft());
        a.setClipPath(QMPaint::rounded(QRectF(rect()), cornerRadius)); // the map's rounded corner
        a.setPen(Qt::NoPen);
        a.setBrush(QColor(255, 255, 255, 190));
        a.drawRect(box);
        a.setPen(QColor(50, 50, 50));
        a.setFont(f);
        a.drawText(box, Qt::AlignCenter, text);
    }
    p.drawImage(attributionBox_.topLeft(), attribution_);
}

void SOSMap::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath outline = QMPaint::rounded(QRectF(rect()), cornerRadius);
    if (!hasCamera_) {
        p.fillPath(outline, land);
        return;
    }
    wantTiles();
    // Land and tiles change only with the camera or an arriving tile: kept as a layer, so a new
    // position or trail costs a blit and the line.
    const qreal scale = Skin::deviceScale(p);
    const BackgroundKey key{centre_, zoom_, size(), scale, tilesVersion_};
    if (!(key == backgroundKey_) || background_.isNull()) {
        backgroundKey_ = key;
        background_ = QImage((QSizeF(size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
        background_.setDevicePixelRatio(scale);
        background_.fill(Qt::transparent);
        QPainter layer(&background_);
        layer.setRenderHint(QPainter::Antialiasing);
        layer.setClipPath(outline);
        layer.fillRect(rect(), land);
        offline_ = !paintTiles(layer);
    }
    p.drawImage(QPointF(0, 0), background_);
    p.setClipPath(outline);
    if (offline_) paintGrid(p);
    paintTrail(p);
    paintMarker(p);
    p.setClipping(false); // the cached pieces below are clipped to the corner already
    if (!offline_) paintAttribution(p);
}
