#pragma once
// The small map of an SOS alert: OpenStreetMap tiles, the sender's trail as a red line and a red
// marker titled with the sender's name. Flat and north-up. The camera is fitted once, on the first
// real size, to show 1,200 m across the smaller side; after that only the user moves it (drag pans;
// double-click, Ctrl+wheel and the +/- buttons zoom), while new positions move the marker and line.
// When tiles cannot be had the map says so and draws a metric grid with a scale bar instead.
#include "Records.h"
#include "TileCache.h"

#include <QFont>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QPointer>
#include <QWidget>

class QAbstractButton;

// Web Mercator with 256-pixel tiles. "World" points are pixels of the whole map at zoom 0
// (0..256 on both axes, y down); at zoom z one world unit is 2^z screen pixels.
namespace MapProjection {
constexpr double tileSize = 256;
constexpr double maxLatitude = 85.05112878;
constexpr double earthCircumference = 40075016.686; // metres at the equator
constexpr double minZoom = 1;
constexpr double maxZoom = 19;

double wrapLongitude(double lon);       // into [-180, 180)
QPointF toWorld(const Coordinate& c);   // latitude clamped, longitude wrapped
Coordinate fromWorld(const QPointF& p); // x wrapped, y clamped to the map
double metresPerPixel(double lat, double zoom);
// The zoom at which `pixels` span `metres` at latitude `lat`.
double zoomForSpan(double metres, double pixels, double lat);
// Great-circle distance in metres.
double distance(const Coordinate& a, const Coordinate& b);
} // namespace MapProjection

class SOSMap : public QWidget {
    Q_OBJECT
public:
    // `tiles` null: the process's shared tile cache.
    SOSMap(const QString& who, const Coordinate& coord, const QList<Coordinate>& trail,
           QWidget* parent = nullptr, TileCache* tiles = nullptr);
    ~SOSMap() override;

    void setData(const QString& who, const Coordinate& coord, const QList<Coordinate>& trail);
    QString who() const { return who_; }
    Coordinate coord() const { return coord_; }
    QList<Coordinate> trail() const { return trail_; }

    // The camera: its centre in world units and its zoom; unset until the first real size.
    bool hasCamera() const { return hasCamera_; }
    QPointF centre() const { return centre_; }
    double zoom() const { return zoom_; }
    void zoomBy(double steps, const QPointF& about); // keeps the point under `about` in place

    QPointF toScreen(const Coordinate& c) const;
    Coordinate fromScreen(const QPointF& p) const;
    // Where the marker's body is drawn (its tip stands on the position below it).
    QRectF markerBody() const;
    // True while the grid and "Map tiles unavailable" stand in for the tiles.
    bool offline() const { return offline_; }

    // Points of the trail closer than a pixel to the last one drawn are skipped; on by default,
    // switchable only to measure what it saves.
    void setTrailMerging(bool on) {
        merge_ = on;
        update();
    }

    static constexpr double initialSpanMetres = 1200;
    static constexpr double cornerRadius = 10;

    QSize sizeHint() const override { return {480, 220}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    int tileLevel() const;
    void wantTiles();
    bool paintTiles(QPainter& p);
    void paintGrid(QPainter& p);
    void paintTrail(QPainter& p);
    void paintMarker(QPainter& p);
    void paintAttribution(QPainter& p);
    void placeButtons();
    void moveCentreTo(const QPointF& world);

    QPointer<TileCache> tiles_;
    QString who_;
    Coordinate coord_;
    QList<Coordinate> trail_;
    bool hasCamera_ = false;
    QPointF centre_;
    double zoom_ = 16;
    bool merge_ = true;
    bool offline_ = false;
    bool dragging_ = false;
    QPointF dragFrom_;
    QAbstractButton* zoomIn_ = nullptr;
    QAbstractButton* zoomOut_ = nullptr;
    QList<TileKey> wantedKeys_;
    struct TrailKey {
        int version = -1;
        QPointF centre;
        double zoom = 0;
        QSize size;
        qreal scale = 0;
        bool merge = true;
        bool operator==(const TrailKey&) const = default;
    };
    struct BackgroundKey {
        QPointF centre;
        double zoom = 0;
        QSize size;
        qreal scale = 0;
        int tiles = -1;
        bool operator==(const BackgroundKey&) const = default;
    };
    BackgroundKey backgroundKey_;
    BackgroundKey wantedView_; // the camera and size wantTiles() last asked for
    QImage background_;
    // The pin and its title, drawn once per name, width and scale: shaping the title's outline and
    // joining the pin's paths cost more than the rest of a frame.
    struct MarkerKey {
        QString who;
        QFont font;
        int width = 0;
        qreal scale = 0;
        bool operator==(const MarkerKey&) const = default;
    };
    MarkerKey markerKey_;
    QImage marker_;
    QPointF markerTip_; // where the tip lies in the image
    struct AttributionKey {
        QFont font;
        QSize size;
        qreal scale = 0;
        bool operator==(const AttributionKey&) const = default;
    };
    AttributionKey attributionKey_;
    QImage attribution_;
    QRect attributionBox_;
    int tilesVersion_ = 0;
    int trailVersion_ = 0;
    TrailKey trailKey_;
    bool trailAnchored_ = true;
    QPointF trailOrigin_; // the layer's corner in map pixels at the layer's zoom
    QImage trailLayer_;
};
