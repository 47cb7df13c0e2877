// Map tiles from a loopback server: a named User-Agent, never more than two requests open, each tile
// asked for once however many maps want it, the disk cache standing in when the server is gone, and
// failed tiles neither asked for again at once nor logged more than once.
#include "SOSMap.h"
#include "TRKLog.h"
#include "TileCache.h"
#include "TileServer.h"
#include "ViewFixture.h"

#include <QApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

int level(const QString& path) {
    return path.section(u'/', 1, 1).toInt();
}

} // namespace

class TileCacheTest : public QObject {
    Q_OBJECT
    QTemporaryDir logs;

private slots:
    void initTestCase() { TRKLog::setFolderOverride(logs.path()); }

    void fetchesVisibleTilesOnceTwoAtATimeThenFromDisk_data() {
        QTest::addColumn<QByteArray>("cacheControl");
        QTest::newRow("fresh on disk") << QByteArray("max-age=86400");
        QTest::newRow("stale on disk") << QByteArray("max-age=1");
    }
    void fetchesVisibleTilesOnceTwoAtATimeThenFromDisk() {
        QFETCH(QByteArray, cacheControl);
        TileServer server;
        server.delayMs = 30;
        server.cacheControl = cacheControl;
        QSet<QString> asked;
        int zoomLevel = 0;
        {
            TileCache cache(server.address());
            SOSMap a(QStringLiteral("Ann"), {51.5, -0.12}, {}, nullptr, &cache);
            SOSMap b(QStringLiteral("Ann"), {51.5, -0.12}, {}, nullptr, &cache);
            for (SOSMap* m : {&a, &b}) {
                m->resize(520, 220);
                m->show();
            }
            QTRY_VERIFY(!server.paths.isEmpty());
            QTRY_VERIFY_WITH_TIMEOUT(cache.inFlight() == 0 && server.open == 0, 20000);
            zoomLevel = int(std::ceil(a.zoom()));
            asked = QSet<QString>(server.paths.begin(), server.paths.end());
            QCOMPARE(asked.size(), server.paths.size()); // the two maps' wants were joined
            QCOMPARE(server.maxOpen, TileCache::maxInFlight);
            // The view and a ring of one tile, at the level drawn; nothing else.
            const double side = 256 * std::exp2(a.zoom() - zoomLevel);
            const int most = (int(520 / side) + 4) * (int(220 / side) + 4);
            QVERIFY2(server.paths.size() <= most, qPrintable(server.paths.join(u' ')));
            for (const QString& p : std::as_const(server.paths))
                QCOMPARE(level(p), zoomLevel);
            const QRegularExpression agent(QStringLiteral("^QMRL-Tessrook/\\d+\\.\\d+"));
            for (const QString& ua : std::as_const(server.userAgents))
                QVERIFY2(agent.match(ua).hasMatch(), qPrintable(ua));
            QVERIFY(!a.offline());
        }

        // A new process-lifetime cache, the server gone: every tile comes from the disk.
        server.stop();
        if (cacheControl.endsWith("=1")) QTest::qWait(1500); // stale: the network is tried, then the disk
        const int before = int(server.paths.size());
        TileCache cache(server.address());
        SOSMap again(QStringLiteral("Ann"), {51.5, -0.12}, {}, nullptr, &cache);
        again.resize(520, 220);
        again.show();
        const QPointF centre = again.centre() * std::exp2(zoomLevel) / 256;
        const TileKey middle{zoomLevel, int(centre.x()), int(centre.y())};
        QTRY_COMPARE(cache.state(middle), TileCache::State::ready);
        QTRY_COMPARE(cache.inFlight(), 0);
        QVERIFY(!again.offline());
        QCOMPARE(server.paths.size(), before);
    }

    void failedTilesAreNotAskedForAgainAndLoggedOnce_data() {
        QTest::addColumn<int>("answer");
        QTest::newRow("HTTP 404") << int(TileServer::Answer::notFound);
        QTest::newRow("not a PNG") << int(TileServer::Answer::notPng);
    }
    void failedTilesAreNotAskedForAgainAndLoggedOnce() {
        QFETCH(int, answer);
        QFile::remove(TRKLog::file());
        TileServer server;
        server.answer = TileServer::Answer(answer);
        TileCache cache(server.address());
        SOSMap map(QStringLiteral("Ann"), {-33.9, 151.2}, {}, nullptr, &cache);
        map.resize(520, 220);
        map.show();
        QTRY_VERIFY(map.offline());
        QTRY_COMPARE(cache.inFlight(), 0);
        const int asked = int(server.paths.size());
        QVERIFY(asked >= 3);
        for (int i = 0; i < 5; ++i) {
            map.repaint();
            QTest::qWait(20);
        }
        QCOMPARE(server.paths.size(), asked);
        QVERIFY(map.offline());
        TRKLog::flush();
        QFile log(TRKLog::file());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll().count("Map tiles unavailable"), 1);
    }
};

VIEW_TEST_MAIN(TileCacheTest)
#include "tst_tilecache.moc"
