// Map tiles from a loopback server: a named User-Agent, never more than two requests open, each tile
// asked for once however many maps want it, the disk cache standing in when the server is gone, and
// failed tiles neither asked for again at once nor logged more than once, and hostile servers (endless,
// trickling, huge images, redirects elsewhere) bounded and shown as unavailable.
#include "HostileWebServer.h"
#include "SOSMap.h"
#include "TRKLog.h"
#include "TileCache.h"
#include "TileServer.h"
#include "ViewFixture.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDiskCache>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

int level(const QString& path) {
    return path.section(u'/', 1, 1).toInt();
}

// A PNG of a few KiB that decodes to 64 MiB, more than the memory cache holds.
QByteArray hugePng() {
    QImage img(4096, 4096, QImage::Format_RGB32);
    img.fill(Qt::darkGreen);
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::WriteOnly);
    img.save(&b, "PNG");
    return out;
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
        if (cacheControl.endsWith("=1"))
            QTest::qWait(1500); // a second passes: stale, the network is tried, then the disk
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
            QTest::qWait(20); // nothing may be asked again in this time
        }
        QCOMPARE(server.paths.size(), asked);
        QVERIFY(map.offline());
        TRKLog::flush();
        QFile log(TRKLog::file());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll().count("Map tiles unavailable"), 1);
    }

    // Each hostile answer ends in a failed tile, so the map says tiles are unavailable, within the
    // deadline, after a bounded number of bytes, and without asking again and again, and none is kept in
    // the disk cache though the server says it may be; a redirect on the tile server itself is still
    // followed, one to another port or another scheme of its host is not.
    void hostileServersAreBoundedAndShownAsUnavailable_data() {
        QTest::addColumn<int>("mode");
        // "elsewhere", "other port", "other scheme", "same server" or empty
        QTest::addColumn<QString>("redirectTo");
        QTest::addColumn<QString>("why"); // the reason logged
        using M = HostileWebServer::Mode;
        QTest::newRow("4 GiB declared") << int(M::endlessDeclared) << QString() << "larger than 512 KiB";
        QTest::newRow("endless, undeclared")
            << int(M::endlessUndeclared) << QString() << "larger than 512 KiB";
        QTest::newRow("one byte every 5 s") << int(M::trickle) << QString() << "no whole answer within 1.5 s";
        QTest::newRow("4096 x 4096 PNG") << int(M::fixed) << QString() << "4096 x 4096 image";
        QTest::newRow("redirect to another host")
            << int(M::redirect) << QString("elsewhere") << "redirected away";
        QTest::newRow("redirect to another port")
            << int(M::redirect) << QString("other port") << "redirected away";
        QTest::newRow("redirect to another scheme")
            << int(M::redirect) << QString("other scheme") << "redirected away";
        QTest::newRow("redirect on the same server")
            << int(M::redirect) << QString("same server") << QString();
    }
    void hostileServersAreBoundedAndShownAsUnavailable() {
        QFETCH(int, mode);
        QFETCH(QString, redirectTo);
        QFETCH(QString, why);
        QFile::remove(TRKLog::file());
        HostileWebServer server;
        server.mode = HostileWebServer::Mode(mode);
        server.type = "image/png";
        server.cacheControl = "max-age=86400";
        if (server.mode == HostileWebServer::Mode::fixed) server.body = hugePng();
        // The redirect's target serves good tiles, on another loopback address, another port of this
        // one, or this very server.
        HostileWebServer target(QHostAddress(redirectTo == "elsewhere" ? "127.0.0.2" : "127.0.0.1"));
        target.type = "image/png";
        target.body = TileServer::png(Qt::darkBlue);
        server.location = target.origin().toLatin1();
        if (redirectTo == "same server") {
            server.body = target.body;
            server.location = server.origin().toLatin1() + HostileWebServer::movedPath;
        } else if (redirectTo == "other scheme") {
            QUrl moved(server.origin() + HostileWebServer::movedPath);
            moved.setScheme("https"); // the same host and port
            server.location = moved.toEncoded();
        }

        TileCache cache(server.origin() + "/{z}/{x}/{y}.png");
        constexpr int deadlineMs = 1500;
        cache.setTransferDeadlineMs(deadlineMs);
        SOSMap map(QStringLiteral("Ann"), {-33.9, 151.2}, {}, nullptr, &cache);
        map.resize(520, 220);
        map.show();
        QElapsedTimer clock;
        clock.start();
        if (redirectTo == "same server") {
            QTRY_VERIFY_WITH_TIMEOUT(cache.inFlight() == 0 && server.paths.join(' ').contains("/moved/"),
                                     10000);
            QVERIFY(!map.offline());
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(map.offline(), 4 * deadlineMs);
        qInfo("unavailable after %lld ms, most body bytes sent on one request %lld", clock.elapsed(),
              server.mostSent);
        if (server.mode == HostileWebServer::Mode::endlessDeclared ||
            server.mode == HostileWebServer::Mode::endlessUndeclared)
            QVERIFY(server.mostSent < server.sendCap); // the cache hung up; it did not read on
        QCOMPARE(target.paths.size(), 0);
        TRKLog::flush();
        QFile log(TRKLog::file());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString logged = QString::fromUtf8(log.readAll());
        QVERIFY2(logged.contains(why), qPrintable(logged));
        // Failed tiles wait out their back-off: nothing is asked again meanwhile.
        QTRY_COMPARE_WITH_TIMEOUT(cache.inFlight(), 0, 20 * deadlineMs);
        const qsizetype asked = server.paths.size();
        QTest::qWait(1500); // nothing may be asked in this time
        QCOMPARE(server.paths.size(), asked);
        QNetworkDiskCache disk;
        disk.setCacheDirectory(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + "/tiles");
        for (const QString& path : std::as_const(server.paths))
            QVERIFY2(!disk.metaData(QUrl(server.origin() + path)).isValid(), qPrintable(path));
    }
};

VIEW_TEST_MAIN(TileCacheTest)
#include "tst_tilecache.moc"
