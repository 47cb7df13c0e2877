// The program as a whole: from start to the first painted main window with 20 stored channels, the main
// thread's CPU while transmitting for 10 s beside 10 s idle, the resident memory after a minute idle,
// and what one change of the channel bank's packet time costs the window. Also the real program from
// exec to the first drawing of its main window on an X server of its own (Xvfb), beside a minimal Qt
// window started the same way, and the program's resident memory once its links are up. Figures are
// printed; nothing is asserted. Run with scripts/bench.sh bench_app.
#include "ChildProcess.h"
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

#include <algorithm>
#include <cstdio>
#include <map>
#include <chrono>
#include <poll.h>
#include <sys/resource.h>
#include <thread>

namespace {

std::map<std::string, double> startFigures; // "program" / "minimal" -> median ms from exec to first drawing

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
// The first packet after the start, which replaces "none yet", is counted apart.
void BM_LastPacketTimeChange(benchmark::State& state) {
    fixture::Rig rig;
    auto program = makeProgram(rig, false);
    WalkieModel& m = program->model();
    m.createChannel(QStringLiteral("Base")); // there at the start, as a joined channel is
    const Channel base = m.channels().first();
    program->launch();
    QWidget* window = program->mainWindow();
    QTest::qWaitForWindowExposed(window);
    QTest::qWait(200);
    PaintCount count;
    qApp->installEventFilter(&count);
    quint32 seq = 1;
    const auto packet = [&] {
        count.painted.clear();
        rig.clock->advance(1.0);
        // An answer to no radio check of ours: it opens (the time moves) and changes nothing else.
        m.receiveSealed(fixture::sealed(base, PacketKind::radioCheckReply, 7, seq++, 0xB0B, "Other"));
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        return double(count.painted.size());
    };
    state.counters["first_change_widgets_painted"] = packet();
    double widgets = 0;
    for (auto _ : state)
        widgets += packet();
    qApp->removeEventFilter(&count);
    state.counters["widgets_painted"] = widgets / double(state.iterations());
}
BENCHMARK(BM_LastPacketTimeChange)->Unit(benchmark::kMillisecond);

// Waits up to `ms` for a line holding all of `needles` on the child's output; true when one came.
bool waitForLine(ChildProcess& child, const std::vector<std::string>& needles, int ms) {
    std::string pending;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{child.fd, POLLIN, 0};
        if (::poll(&p, 1, int(left.count())) <= 0) continue;
        char buf[4096];
        const ssize_t got = ::read(child.fd, buf, sizeof buf);
        if (got <= 0) return false;
        pending.append(buf, std::size_t(got));
        for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos; pending.erase(0, nl + 1)) {
            const std::string line = pending.substr(0, nl);
            if (std::all_of(needles.begin(), needles.end(), [&](const std::string& n) { return line.find(n) != std::string::npos; }))
                return true;
        }
    }
}

double residentMiBOf(pid_t pid) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

// An X server of this run's own; its display name, or empty when none starts.
struct OwnXServer {
    ChildProcess x;
    std::string display;
    OwnXServer() {
        x = ChildProcess::spawn({"Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x800x24"}, true);
        char buf[32] = {};
        std::size_t n = 0;
        pollfd p{x.fd, POLLIN, 0};
        while (n < sizeof buf - 1 && ::poll(&p, 1, 5000) > 0) {
            if (::read(x.fd, buf + n, 1) != 1 || buf[n] == '\n') break;
            ++n;
        }
        if (n > 0) display = ":" + std::string(buf, n);
    }
    ~OwnXServer() { x.end(); }
};

// From exec to the first flush of a window whose log line names `windowClass`, several times; the
// program's painting log says when a window's pixels first went to the X server.
void execToFirstDrawnWindow(benchmark::State& state, const std::string& program, const std::string& windowClass,
                            bool real) {
    OwnXServer x;
    if (x.display.empty()) {
        state.SkipWithError("Xvfb did not start");
        return;
    }
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        const std::string v = *e;
        if (v.rfind("DISPLAY=", 0) && v.rfind("QT_QPA_PLATFORM=", 0) && v.rfind("QT_LOGGING_RULES=", 0))
            envStrings.push_back(v);
    }
    envStrings.push_back("DISPLAY=" + x.display);
    envStrings.push_back("QT_QPA_PLATFORM=xcb");
    envStrings.push_back("QT_LOGGING_RULES=qt.widgets.painting=true");
    std::vector<char*> env;
    for (auto& v : envStrings)
        env.push_back(v.data());
    env.push_back(nullptr);
    const std::string path = QCoreApplication::applicationDirPath().toStdString() + "/" + program;
    std::vector<double> ms;
    double rss = 0;
    for (auto _ : state) {
        for (int run = 0; run < 5; ++run) {
            const auto t0 = std::chrono::steady_clock::now();
            ChildProcess child = ChildProcess::spawn({path}, true, 2, env.data());
            const bool drawn = waitForLine(child, {"Flushing", windowClass}, 20000);
            const auto t1 = std::chrono::steady_clock::now();
            if (drawn) ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
            if (real && drawn && run == 0) {
                // Links and devices come up after the window: give them time, then read.
                std::this_thread::sleep_for(std::chrono::seconds(3));
                rss = residentMiBOf(child.pid);
            }
            child.end();
        }
    }
    if (ms.empty()) {
        state.SkipWithError("no window was drawn");
        return;
    }
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["worst_ms"] = ms.back();
    if (real) state.counters["rss_links_up_MiB"] = rss;
    startFigures[real ? "program" : "minimal"] = ms[ms.size() / 2];
}
void BM_ExecToFirstDrawnMainWindow(benchmark::State& state) {
    execToFirstDrawnWindow(state, "../src/app/tessrook", "MainWindow", true);
}
void BM_ExecToFirstDrawnMinimalWindow(benchmark::State& state) {
    execToFirstDrawnWindow(state, "bench_minimal_window", "QWidget", false);
}
BENCHMARK(BM_ExecToFirstDrawnMinimalWindow)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExecToFirstDrawnMainWindow)->Iterations(1)->Unit(benchmark::kMillisecond);

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
    if (startFigures.count("program") && startFigures.count("minimal"))
        std::printf("exec to first drawn window: program %.0f ms, minimal Qt window %.0f ms (%.1fx)\n",
                    startFigures["program"], startFigures["minimal"], startFigures["program"] / startFigures["minimal"]);
    return 0;
}
