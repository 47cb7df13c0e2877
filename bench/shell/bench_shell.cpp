// One frame of the whole mini panel while transmitting (the model publishes ten times a second),
// beside one frame of a 150-point talk button alone, painted offscreen. Then, unless
// --no-demo is given, the demo program's CPU share during a 10 s transmission with only the panel up.
#include "MiniRig.h"
#include "PTTButton.h"
#include "RatioReporter.h"
#include "TRLaunch.h"
#include "TRMiniView.h"
#include "WFonts.h"

#include <QApplication>
#include <QPainter>
#include <QProcess>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>

namespace {

void paintFrames(benchmark::State& state, QWidget& w, const std::function<void(int)>& change) {
    QImage target(w.size(), QImage::Format_ARGB32_Premultiplied);
    int frame = 0;
    for (auto _ : state) {
        change(frame++);
        target.fill(Qt::black);
        QPainter p(&target);
        w.render(&p, QPoint(), QRegion(), QWidget::DrawChildren);
    }
}

void miniPanelTransmitting(benchmark::State& state) {
    fixture::Rig rig;
    WalkieModel& m = minirig::make(rig, minirig::State::transmitting);
    TRMiniView view(&m, nullptr, &TRMute::shared());
    view.ensurePolished();
    QByteArray frame(3200, 0);
    paintFrames(state, view, [&](int i) {
        // What a tenth of a second on air changes: a captured frame, the talk timer.
        for (int k = 0; k < 1600; ++k)
            reinterpret_cast<qint16*>(frame.data())[k] = qint16((k + i) % 40 * 300);
        rig.mic->feed(frame);
        rig.clock->advance(0.1);
        m.transmitTick();
    });
}
BENCHMARK(miniPanelTransmitting)->Unit(benchmark::kMicrosecond);

void talkButton150(benchmark::State& state) {
    PTTButton b(Finish::all().first(), PTTButton::State::transmitting, 150);
    b.resize(b.sizeHint());
    paintFrames(state, b, [&](int i) {
        b.setState(i % 2 ? PTTButton::State::transmitting : PTTButton::State::receiving);
    });
}
BENCHMARK(talkButton150)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    bool demo = true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--no-demo") == 0) {
            demo = false;
            for (int j = i; j + 1 < argc; ++j)
                argv[j] = argv[j + 1];
            --argc;
        }
    fixture::privateFolders();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TRLaunch::useProgramNames();
    QApplication app(argc, argv);
    WFonts::registerFonts();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nCPU per frame (goal for the panel: under 2 ms):\n");
    for (const auto& [name, ns] : reporter.perIteration)
        std::printf("  %-24s %8.3f ms\n", name.c_str(), ns * 1e3);
    const double panel = reporter.perIteration["miniPanelTransmitting"];
    const double button = reporter.perIteration["talkButton150"];
    if (panel > 0 && button > 0) std::printf("  panel / talk button      %8.2f\n", panel / button);
    benchmark::Shutdown();
#ifdef SHELL_DEMO
    if (demo) {
        // The demo's own figure (goal: under 5 % of one core), on the display this program was given.
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QStringLiteral(SHELL_DEMO), {"--transmit", "10"});
        if (p.waitForFinished(60000))
            std::printf("\nDemo program: %s", p.readAllStandardOutput().constData());
    }
#endif
    return 0;
}
