// Paint cost per frame of the status screen while transmitting (the model publishes ten times a
// second), beside a bare LCD screen with two labels and a meter, and of a full forty-row activity
// tape, repainted as it is and with a new transmission each frame. Frames are painted into an image offscreen
// at 100 % and 200 %; CPU time per frame is printed as a share of a 1 ms budget.
#include "ActivityTape.h"
#include "BareLCD.h"
#include "ModelFixture.h"
#include "RatioReporter.h"
#include "StatusLCD.h"
#include "WFonts.h"

#include <QApplication>
#include <QPainter>
#include <QtEndian>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

fixture::Rig* rig = nullptr;

// `change` is timed too unless `timeChange` is false (then only the layout and the paint count).
void paintFrames(benchmark::State& state, QWidget& w, const std::function<void(int)>& change,
                 bool timeChange = true) {
    const qreal scale = state.range(0) / 100.0;
    QImage target((QSizeF(w.size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    int frame = 0;
    for (auto _ : state) {
        if (!timeChange) state.PauseTiming();
        change(frame++);
        if (!timeChange) state.ResumeTiming();
        QCoreApplication::sendPostedEvents(); // the layout work a shown window would do
        target.fill(Qt::black);
        QPainter p(&target);
        p.scale(scale, scale);
        w.render(&p, QPoint(), QRegion(), QWidget::DrawChildren);
    }
}

void statusWhileTransmitting(benchmark::State& state) {
    WalkieModel& m = *rig->model;
    StatusLCD lcd(m, Finish::all().first());
    lcd.resize(460, lcd.sizeHint().height());
    lcd.show();
    m.pressTalk();
    QByteArray pcm(3200, Qt::Uninitialized);
    paintFrames(
        state, lcd,
        [&](int i) {
            // One transmit tick: the clock moves a tenth of a second and a new level arrives.
            for (int k = 0; k < 1600; ++k)
                qToLittleEndian<qint16>(qint16(2000 + (i % 9) * 3000), pcm.data() + 2 * k);
            rig->mic->feed(pcm);
            QCoreApplication::processEvents();
            rig->clock->advance(0.1);
            m.transmitTick();
            if (!m.talk().isTransmitting()) m.pressTalk(); // past the talk limit: start again
        },
        false);
    m.releaseTalk();
}
BENCHMARK(statusWhileTransmitting)->Arg(100)->Arg(200)->Unit(benchmark::kMicrosecond);

void bareLcdScreen(benchmark::State& state) {
    BareLCD lcd(Finish::all().first());
    paintFrames(state, lcd.screen, [&](int i) { lcd.frame(i); });
}
BENCHMARK(bareLcdScreen)->Arg(100)->Arg(200)->Unit(benchmark::kMicrosecond);

void activityTapeForty(benchmark::State& state) {
    WalkieModel& m = *rig->model;
    while (m.activity().size() < 60) {
        m.pressTalk();
        rig->clock->advance(3.4);
        m.releaseTalk();
    }
    ActivityTape tape(m, Finish::all().first());
    tape.resize(600, tape.sizeHint().height());
    paintFrames(state, tape, [](int) {});
}
BENCHMARK(activityTapeForty)->Arg(100)->Arg(200)->Unit(benchmark::kMicrosecond);

// A transmission ends each frame: a new row at the top, the others move down (model work included).
void activityTapeNewEntry(benchmark::State& state) {
    WalkieModel& m = *rig->model;
    ActivityTape tape(m, Finish::all().first());
    tape.resize(600, 40 * ActivityTape::rowHeight + 39 * ActivityTape::spacing);
    paintFrames(state, tape, [&m](int) {
        m.pressTalk();
        rig->clock->advance(1.2);
        m.releaseTalk();
    });
}
BENCHMARK(activityTapeNewEntry)->Arg(100)->Arg(200)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    fixture::privateFolders();
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quillmarsh"));
    QCoreApplication::setApplicationName(QStringLiteral("QMRL Tessrook"));
    WFonts::registerFonts();
    fixture::Rig r;
    r.make();
    r.model->createChannel(QStringLiteral("Base camp"));
    rig = &r;
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nCPU time per frame as a share of a 1 ms budget (below 1.0 fits):\n");
    for (const auto& [name, ns] : reporter.perIteration)
        std::printf("  %-32s %6.3f\n", name.c_str(), ns * 1000.0);
    benchmark::Shutdown();
    r.model.reset();
    return 0;
}
