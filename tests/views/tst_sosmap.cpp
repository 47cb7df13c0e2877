// The SOS map: the projection, the camera fitted once to 1,200 m and then left to the user, zoom about
// the pointer, the plain wheel passed on to the list around the map, the trail and the marker drawn
// where the positions are, and the honest grid when no tiles can be had.
#include "SOSMap.h"
#include "TileCache.h"
#include "TileServer.h"
#include "ViewFixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QWheelEvent>

using namespace MapProjection;

namespace {

bool reddish(QColor c) {
    return c.red() > 170 && c.green() < 110 && c.blue() < 110;
}

QImage shot(QWidget& w) {
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

class SOSMapTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TileServer> server;
    TileCache* tiles = nullptr;   // served by the loopback server
    TileCache* nowhere = nullptr; // a closed port: every tile fails

private slots:
    void initTestCase() {
        server = std::make_unique<TileServer>();
        tiles = new TileCache(server->address(), this);
        QCOMPARE(TileCache::shared(), tiles); // the first cache made is the process's
        TileServer closed;
        const QString refused = closed.address().replace(QStringLiteral("{z}"), QStringLiteral("x/{z}"));
        closed.stop();
        nowhere = new TileCache(refused, this);
    }

    void projectionRoundTripsAndWraps() {
        const Coordinate places[] = {{0, 0}, {51.5, -0.12}, {-33.9, 151.2}, {85.0, 179.99}, {-85.0, -179.99}};
        for (const Coordinate& c : places) {
            const Coordinate back = fromWorld(toWorld(c));
            QVERIFY2(std::abs(back.lat - c.lat) < 1e-9 && std::abs(back.lon - c.lon) < 1e-9,
                     qPrintable(QStringLiteral("%1,%2").arg(c.lat).arg(c.lon)));
        }
        QCOMPARE(toWorld({0, 0}), QPointF(128, 128));
        QCOMPARE(toWorld({0, 190}).x(), toWorld({0, -170}).x());
        QCOMPARE(toWorld({89.9, 0}).y(), toWorld({maxLatitude, 0}).y()); // clamped, never infinite
        QVERIFY(std::abs(toWorld({maxLatitude, 0}).y()) < 1e-6);
        QCOMPARE(wrapLongitude(180), -180.0);
        QCOMPARE(wrapLongitude(-540), -180.0);
        // A world point past the edge comes back wrapped.
        QVERIFY(std::abs(fromWorld(QPointF(256 + 64, 128)).lon - fromWorld(QPointF(64, 128)).lon) < 1e-9);
    }

    void cameraFitsTwelveHundredMetresOnFirstRealSize_data() {
        QTest::addColumn<double>("lat");
        QTest::addColumn<QSize>("size");
        QTest::newRow("equator wide") << 0.0 << QSize(520, 220);
        QTest::newRow("london wide") << 51.5 << QSize(520, 220);
        QTest::newRow("sydney tall") << -33.9 << QSize(200, 400);
    }
    void cameraFitsTwelveHundredMetresOnFirstRealSize() {
        QFETCH(double, lat);
        QFETCH(QSize, size);
        const Coordinate at{lat, 10.0};
        SOSMap map(QStringLiteral("Ann"), at, {}, nullptr, nowhere);
        QVERIFY(!map.hasCamera());
        map.resize(0, 0);
        QCoreApplication::sendPostedEvents();
        map.resize(size);
        map.show(); // delivers the pending resize
        QVERIFY(map.hasCamera());
        const QPointF mid(size.width() / 2.0, size.height() / 2.0);
        const Coordinate centre = map.fromScreen(mid);
        QVERIFY(distance(centre, at) < 1);
        const bool wide = size.width() >= size.height();
        const double span =
            wide ? distance(map.fromScreen({mid.x(), 0}), map.fromScreen({mid.x(), double(size.height())}))
                 : distance(map.fromScreen({0, mid.y()}), map.fromScreen({double(size.width()), mid.y()}));
        QVERIFY2(std::abs(span - 1200) < 12, qPrintable(QString::number(span)));

        // Later sizes and positions leave the camera alone.
        const double zoom = map.zoom();
        map.resize(size * 2);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(map.zoom(), zoom);
        QCOMPARE(map.fromScreen(QPointF(size.width(), size.height())).lat, centre.lat);
    }

    void userMovesTheCameraAndNewPositionsDoNot() {
        SOSMap map(QStringLiteral("Ann"), {51.5, -0.12}, {}, nullptr, nowhere);
        map.resize(520, 220);
        map.show();
        QVERIFY(QTest::qWaitForWindowExposed(&map));

        // Drag 100 px to the right: what was under the pointer follows it.
        const Coordinate grabbed = map.fromScreen(QPointF(200, 110));
        QTest::mousePress(&map, Qt::LeftButton, {}, QPoint(200, 110));
        QTest::mouseMove(&map, QPoint(250, 110));
        QTest::mouseMove(&map, QPoint(300, 110));
        QTest::mouseRelease(&map, Qt::LeftButton, {}, QPoint(300, 110));
        QVERIFY(distance(map.fromScreen(QPointF(300, 110)), grabbed) < 0.5);

        // Double-click zooms in one level about the pointer.
        const double zoom = map.zoom();
        const QPoint at(120, 60);
        const Coordinate under = map.fromScreen(at);
        QTest::mouseDClick(&map, Qt::LeftButton, {}, at);
        QCOMPARE(map.zoom(), zoom + 1);
        QVERIFY(distance(map.fromScreen(at), under) < 0.5);

        // Ctrl+wheel zooms about the pointer too; a notch back out is half a level.
        QWheelEvent out(QPointF(400, 50), map.mapToGlobal(QPointF(400, 50)), {}, QPoint(0, -120),
                        Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
        const Coordinate under2 = map.fromScreen(QPointF(400, 50));
        QApplication::sendEvent(&map, &out);
        QVERIFY(out.isAccepted());
        QCOMPARE(map.zoom(), zoom + 0.5);
        QVERIFY(distance(map.fromScreen(QPointF(400, 50)), under2) < 0.5);
        // The plain wheel is left unaccepted, so the application hands it on to the scrolling sheet.
        QWheelEvent plain(QPointF(400, 50), map.mapToGlobal(QPointF(400, 50)), {}, QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&map, &plain);
        QVERIFY(!plain.isAccepted());
        QCOMPARE(map.zoom(), zoom + 0.5);

        // The zoom keys step about the centre, within the map's range.
        auto keys = map.findChildren<QAbstractButton*>();
        QCOMPARE(keys.size(), 2);
        QTest::mouseClick(keys[1], Qt::LeftButton);
        QCOMPARE(map.zoom(), zoom - 0.5);
        for (int i = 0; i < 40; ++i)
            map.zoomBy(1, map.rect().center());
        QCOMPARE(map.zoom(), maxZoom);

        // A new position, trail and name move the marker, never the camera.
        const QPointF centre = map.centre();
        const QRectF marker = map.markerBody();
        map.setData(QStringLiteral("Ann B"), {51.5001, -0.1199}, {{51.5, -0.12}, {51.5001, -0.1199}});
        QCOMPARE(map.centre(), centre);
        QCOMPARE(map.zoom(), maxZoom);
        QVERIFY(map.markerBody() != marker);
    }

    void trailAndMarkerAreDrawnWhereThePositionsAre() {
        const Coordinate at{51.5, -0.12};
        SOSMap map(QStringLiteral("Ann"), at, {}, nullptr, nowhere);
        map.resize(520, 220);
        map.show();
        // Two points west of the marker, far enough apart to sample between them.
        const Coordinate a = map.fromScreen(QPointF(60, 180)), b = map.fromScreen(QPointF(200, 180));
        const QPoint between(130, 180);

        map.setData(QStringLiteral("Ann"), at, {a});
        QImage img = shot(map);
        QVERIFY(!reddish(img.pixelColor(between))); // one point: no line
        const QPointF tip = map.toScreen(at);
        QVERIFY(reddish(img.pixelColor((tip - QPointF(0, 8)).toPoint()))); // the pin's point
        QVERIFY(reddish(img.pixelColor((map.markerBody().center() + QPointF(0, 9)).toPoint())));

        map.setData(QStringLiteral("Ann"), at, {a, b});
        img = shot(map);
        QVERIFY(reddish(img.pixelColor(between)));
        QVERIFY(!reddish(img.pixelColor(between + QPoint(0, 8)))); // three pixels wide, not a band
        QVERIFY(!reddish(img.pixelColor(QPoint(260, 180))));       // and it stops at the last point

        // Merged or not, a long trail draws the same line.
        QList<Coordinate> many;
        for (int i = 0; i <= 2000; ++i)
            many.append(map.fromScreen(QPointF(60 + i * 0.07, 180)));
        map.setData(QStringLiteral("Ann"), at, many);
        const QImage merged = shot(map);
        map.setTrailMerging(false);
        const QImage unmerged = shot(map);
        QVERIFY(reddish(merged.pixelColor(between)) && reddish(unmerged.pixelColor(between)));
        QVERIFY(!reddish(merged.pixelColor(QPoint(230, 180))));
    }

    void offlineMapShowsGridAndCaptionThenTilesFromTheServer() {
        SOSMap offline(QString::fromUtf8("Ana María Delgado-Fontaine de la Cruz y Montenegro"), {51.5, -0.12},
                       {{51.4985, -0.1235}, {51.4992, -0.1221}, {51.5, -0.12}}, nullptr, nowhere);
        offline.resize(520, 220);
        offline.show();
        QTRY_VERIFY(offline.offline());
        QImage img = shot(offline);
        views::saveShot(img, QStringLiteral("sosmap-offline"));
        // The caption box (white) stands at the top left over the land fill.
        QVERIFY(qGray(img.pixel(12, 12)) > 240);

        SOSMap online(QStringLiteral("Ann"), {51.5, -0.12},
                      {{51.4985, -0.1235}, {51.4992, -0.1221}, {51.5, -0.12}}, nullptr, tiles);
        online.resize(520, 220);
        online.show();
        QTRY_VERIFY(shot(online).pixelColor(60, 60).green() > 140 &&
                    shot(online).pixelColor(60, 60).red() < 100);
        QVERIFY(!online.offline());
        img = shot(online);
        views::saveShot(img, QStringLiteral("sosmap-tiles"));
        // The attribution stands at the bottom right.
        QVERIFY(qGray(img.pixel(img.width() - 3, img.height() - 6)) > 150);
    }
};

VIEW_TEST_MAIN(SOSMapTest)
#include "tst_sosmap.moc"
