// The program as a whole: from start to the first painted main window with 20 stored channels, the main
// thread's CPU while transmitting for 10 s beside 10 s idle, the resident memory after a minute idle,
// and what one change of the channel bank's packet time costs the window. Figures are printed; nothing
// is asserted. Run with scripts/bench.sh bench_app.
#include "Defaults.h"
#include "MainWindow.h"
#include "ModelFixture.h"
#include "TRLaunch.h"
#include "TessrookMac.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QTest>
#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

double threadCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double residentMiB() {
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

struct Painted : QObject {
    bool seen = false;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) seen = true;
        return false;
    }
};

// Everything but the audio devices and the links is real: the window, the rack, the model.
std::unique_ptr<TessrookMac> makeProgram(fixture::Rig& rig, bool loadChannels) {
    Defaults::shared().setValue("welcomed", true);
    return std::make_unique<TessrookMac>(QStringList{}, std::make_unique<WalkieModel>(rig.options(loadChannels)),
                                         false);
}

// The program launched on a model whose timers run, as in use.
std::unique_ptr<TessrookMac> launchWithTimers(fixture::Rig& rig) {
    auto options = rig.options(false);
    options.runTimers = true;
    auto program = std::make_unique<TessrookMac>(QStringList{}, std::make_unique<WalkieModel>(options), false);
    program->launch();
    return program;
}

void BM_StartToFirstPaintedWindow(benchmark::State& state) {
    {
        fixture::Rig rig;
        auto& m = rig.make(rig.options(true));
        while (m.channels().size() < 20) m.createChannel(QStringLiteral("Channel %1").arg(m.channels().size() + 1));
    }
    for (auto _ : state) {
        fixture::Rig rig;
        QElapsedTimer t;
        t.start();
        auto program = makeProgram(rig, true);
        Painted painted;
        qApp->installEventFilter(&painted);
        program->launch();
        while (!painted.seen) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        qApp->removeEventFilter(&painted);
        state.counters["channels"] = double(program->model().channels().size());
    }
}
BENCHMARK(BM_StartToFirstPaintedWindow)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_MainThreadWhileTransmitting(benchmark::State& state) {
    for (auto _ : state) {
        fixture::Rig rig;
        auto program = launchWithTimers(rig);
        program->model().createChannel("Base");
        QTest::qWait(500);
        double c0 = threadCpuSeconds();
        QTest::qWait(10000);
        const double idle = (threadCpuSeconds() - c0) / 10.0;
        program->model().pressTalk(false);
        c0 = threadCpuSeconds();
        QTest::qWait(10000);
        const double talking = (threadCpuSeconds() - c0) / 10.0;
        program->model().releaseTalk();
        state.counters["idle_core_pct"] = idle * 100;
        state.counters["transmitting_core_pct"] = talking * 100;
    }
}
BENCHMARK(BM_MainThreadWhileTransmitting)->Iterations(1)->Unit(benchmark::kSecond);

void BM_ResidentAfterAMinuteIdle(benchmark::State& state) {
    for (auto _ : state) {
        fixture::Rig rig;
        auto program = launchWithTimers(rig);
        const double atStart = residentMiB();
        QTest::qWait(60000);
        state.counters["rss_start_MiB"] = atStart;
        state.counters["rss_after_60s_MiB"] = residentMiB();
    }
}
BENCHMARK(BM_ResidentAfterAMinuteIdle)->Iterations(1)->Unit(benchmark::kSecond);

// Counts the widgets painted and the time spent painting (from the first paint to the last).
struct PaintCount : QObject {
    QSet<QObject*> painted;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint) painted.insert(o);
        return false;
    }
};

// While receiving, every packet that opens moves the channel bank's "Last packet" time, once a second:
// what one such change costs the window (the packet handled, the dirty widgets painted and flushed).
void BM_LastPacketTimeChange(benchmark::State& state) {
    fixture::Rig rig;
    auto program = makeProgram(rig, false);
    WalkieModel& m = program->model();
    program->launch();
    m.createChannel(QStringLiteral("Base"));
    const Channel base = m.channels().first();
    QWidget* window = program->mainWindow();
    QTest::qWaitForWindowExposed(window);
    QTest::qWait(200);
    PaintCount count;
    qApp->installEventFilter(&count);
    quint32 seq = 1;
    double widgets = 0;
    for (auto _ : state) {
        count.painted.clear();
        rig.clock->advance(1.0);
        // An answer to no radio check of ours: it opens (the time moves) and changes nothing else.
        m.receiveSealed(fixture::sealed(base, PacketKind::radioCheckReply, 7, seq++, 0xB0B, "Other"));
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        widgets += count.painted.size();
    }
    qApp->removeEventFilter(&count);
    state.counters["widgets_painted"] = widgets / double(state.iterations());
}
BENCHMARK(BM_LastPacketTimeChange)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    fixture::privateFolders();
    TRLaunch::useProgramNames();
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    TessrookMac::applyLook(app); // the program object registers the fonts
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
