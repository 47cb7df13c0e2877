// The SOS views under load: one frame of the alert map at 520 x 220 with every tile in memory and a
// 5,000-point trail, with and without merging the points that fall within a pixel; and one alert of
// twenty changing in an open SOS sheet (the record arriving, the sheet updating, one frame painted).
// Tiles come from a loopback server of the bench's own.
#include "AlertCard.h"
#include "Clock.h"
#include "FakeAudio.h"
#include "Locator.h"
#include "Packet.h"
#include "SOSMap.h"
#include "SOSPanel.h"
#include "TileCache.h"
#include "WFonts.h"
#include "WalkieModel.h"

#include "../../tests/views/TileServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <RatioReporter.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>

namespace {

TileCache* tiles = nullptr;

// Runs the event loop until `done` or the time is up.
bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

QByteArray sealed(const Channel& channel, quint64 txID, quint32 seq, quint64 sender,
                  const QByteArray& payload) {
    Packet p;
    p.kind = PacketKind::sosUpdate;
    p.txID = txID;
    p.seq = seq;
    p.sender = sender;
    p.payload = payload;
    return p.seal(channel).value_or(QByteArray());
}

// `n` positions around `start` within about a kilometre, as a sender's updates draw them: stretches of
// walking (some 20 m between fixes) and of waiting in place (a few metres of jitter, under a pixel).
QList<Coordinate> walk(const Coordinate& start, int n) {
    QRandomGenerator rng(7);
    QList<Coordinate> out;
    Coordinate c = start;
    bool walking = true;
    for (int i = 0; i < n; ++i) {
        if (i % 50 == 0) walking = rng.bounded(10) < 4;
        const double step = walking ? 0.0002 : 0.00002;
        c.lat += (rng.generateDouble() - 0.5) * step;
        c.lon += (rng.generateDouble() - 0.5) * step * 1.5;
        c.lat = start.lat + std::clamp(c.lat - start.lat, -0.005, 0.005);
        c.lon = start.lon + std::clamp(c.lon - start.lon, -0.007, 0.007);
        out.append(c);
    }
    return out;
}

void sosMap(benchmark::State& state) {
    const Coordinate at{51.5, -0.12};
    const QList<Coordinate> trail = walk(at, 5000);
    SOSMap map(QStringLiteral("Ann"), trail.last(), trail, nullptr, tiles);
    map.setTrailMerging(state.range(0) != 0);
    map.resize(520, 220);
    map.show();
    // Every tile in view in memory before the first measured frame.
    waitFor(
        [&] {
            map.repaint();
            return tiles->inFlight() == 0;
        },
        10000);
    if (map.offline()) state.SkipWithError("tiles did not arrive");
    QImage target(map.size(), QImage::Format_ARGB32_Premultiplied);
    const int moving = int(state.range(1));
    int frame = 0;
    for (auto _ : state) {
        // A dragging hand moves the camera a few pixels a frame; a zoom step draws the line anew.
        if (moving == 1) {
            const QPoint from(260, 110), to(++frame % 2 ? 263 : 257, 111);
            QMouseEvent press(QEvent::MouseButtonPress, from, map.mapToGlobal(from), Qt::LeftButton,
                              Qt::LeftButton, {});
            QMouseEvent move(QEvent::MouseMove, to, map.mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
            QMouseEvent release(QEvent::MouseButtonRelease, to, map.mapToGlobal(to), Qt::LeftButton, {}, {});
            QCoreApplication::sendEvent(&map, &press);
            QCoreApplication::sendEvent(&map, &move);
            QCoreApplication::sendEvent(&map, &release);
        } else if (moving == 2) {
            map.zoomBy(++frame % 2 ? 0.001 : -0.001, map.rect().center());
        }
        QPainter p(&target);
        map.render(&p, QPoint(), QRegion(), QWidget::DrawChildren);
    }
}
BENCHMARK(sosMap)
    ->ArgNames({"merge", "moving"})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({0, 1})
    ->Args({1, 2})
    ->Args({0, 2})
    ->Unit(benchmark::kMicrosecond);

void sosPanelOneAlertOfTwenty(benchmark::State& state) {
    auto clock = std::make_shared<ManualClock>();
    WalkieModel::Options o;
    o.loadChannels = false;
    o.transports = QSet<QString>{};
    o.callSign = QStringLiteral("Bench");
    o.clock = clock;
    o.audioInput = std::make_shared<ScriptedAudioInput>();
    o.audioOutput = std::make_shared<RecordingAudioOutput>();
    o.locator = std::make_shared<ScriptedLocator>();
    o.runTimers = false;
    WalkieModel m(o);
    const Channel base = *Channel::withRandomKey(QStringLiteral("Base"));
    m.setChannels({base});
    auto record = [&](int who, const Coordinate& c) {
        SOSInfo info;
        info.who = QStringLiteral("Unit %1").arg(who);
        info.lat = c.lat;
        info.lon = c.lon;
        info.accuracy = 8;
        info.battery = 50 + who;
        info.time = clock->now();
        return info.toJson();
    };
    QList<QList<Coordinate>> paths;
    quint32 seq = 1;
    for (int i = 0; i < 20; ++i) {
        paths.append(walk({51.5 + i * 0.01, -0.12}, 400));
        for (int k = 0; k < 300; ++k)
            m.receiveSealed(sealed(base, 100 + i, seq++, 0xA00 + i, record(i, paths[i][k])));
    }
    SOSPanel panel(&m, Finish::all().first());
    panel.resize(600, 800);
    panel.show();
    waitFor(
        [&] {
            panel.repaint();
            return tiles->inFlight() == 0;
        },
        10000);
    const QList<AlertCard*> cards = panel.cards();
    // The newest alert is on top, in view: it is the one that keeps changing.
    const int changing = 19;
    QImage frame(panel.size(), QImage::Format_ARGB32_Premultiplied);
    int k = 300;
    for (auto _ : state) {
        m.receiveSealed(sealed(base, 100 + changing, seq++, 0xA00 + changing,
                               record(changing, paths[changing][k++ % 400])));
        if (state.range(0) == 1) {
            // What the window system gets: only the widgets the change made dirty are painted.
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        } else if (state.range(0) == 2) {
            QPainter p(&frame);
            panel.render(&p, QPoint(), QRegion(), QWidget::DrawChildren);
        }
    }
    state.counters["cards rebuilt"] = double(panel.cards() == cards ? 0 : 1);
}
BENCHMARK(sosPanelOneAlertOfTwenty)->ArgName("paint")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    // Settings, channel store and tile cache of this run only.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + "/cache").toUtf8());
    qputenv("XDG_RUNTIME_DIR", home.path().toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("Quillmarsh"));
    app.setApplicationName(QStringLiteral("QMRL Tessrook"));
    WFonts::registerFonts();
    TileServer server;
    tiles = new TileCache(server.address(), &app);

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto per = [&](const std::string& name) { return reporter.perIteration[name] * 1e3; };
    for (const char* moving : {"0", "1", "2"}) {
        const double merged = per((std::string("sosMap/merge:1/moving:") + moving).c_str());
        const double unmerged = per((std::string("sosMap/merge:0/moving:") + moving).c_str());
        if (merged > 0 && unmerged > 0)
            std::printf(
                "SOS map frame, camera %-7s: %.2f ms merged, %.2f ms unmerged (merging saves %.0f %%; "
                "budget 4 ms)\n",
                moving[0] == '0'   ? "still"
                : moving[0] == '1' ? "dragged"
                                   : "zoomed",
                merged, unmerged, 100.0 * (1 - merged / unmerged));
    }
    const double update = per("sosPanelOneAlertOfTwenty/paint:0"),
                 frame = per("sosPanelOneAlertOfTwenty/paint:1"),
                 whole = per("sosPanelOneAlertOfTwenty/paint:2");
    if (update > 0)
        std::printf("One alert of twenty: %.3f ms to update, %.3f ms with the window's repaint, %.3f ms with "
                    "the whole sheet drawn again (budget 2 ms)\n",
                    update, frame, whole);
    benchmark::Shutdown();
    return 0;
}
