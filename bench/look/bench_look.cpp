// One frame of the talk button, the level meter and a three-line LCD screen painted into an image
// offscreen, at 100 % and at a 200 % zoom. Prints each frame's cost as a share of a 1 ms budget.
#include "BareLCD.h"
#include "Finish.h"
#include "LevelMeter.h"
#include "PTTButton.h"
#include "WFonts.h"

#include <QApplication>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

std::map<std::string, double> nsPerFrame;

// Paints the widget as the window would on each model update.
void paintFrames(benchmark::State& state, QWidget& w, qreal scale, const std::function<void(int)>& change) {
    if (!w.testAttribute(Qt::WA_Resized)) w.resize(w.sizeHint());
    QImage target((QSizeF(w.size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    int frame = 0;
    for (auto _ : state) {
        change(frame++);
        target.fill(Qt::black);
        QPainter p(&target);
        p.scale(scale, scale);
        w.render(&p, QPoint(), QRegion(), QWidget::DrawChildren);
    }
}

void talkButton(benchmark::State& state) {
    const Finish f = Finish::all().first();
    PTTButton b(f, PTTButton::State::transmitting, 250);
    paintFrames(state, b, state.range(0) / 100.0, [&](int i) {
        b.setState(i % 2 ? PTTButton::State::transmitting : PTTButton::State::receiving);
    });
}
BENCHMARK(talkButton)->Arg(100)->Arg(200)->Unit(benchmark::kMicrosecond);

void levelMeter(benchmark::State& state) {
    const Finish f = Finish::all().first();
    LevelMeter m(0.5f, f.lcdText, 20);
    paintFrames(state, m, state.range(0) / 100.0, [&](int i) { m.setLevel(float(i % 10) / 10); });
}
BENCHMARK(levelMeter)->Arg(100)->Arg(200)->Unit(benchmark::kMicrosecond);

void lcdScreen(benchmark::State& state) {
    BareLCD lcd(Finish::all().first());
    paintFrames(state, lcd.screen, state.range(0) / 100.0, [&](int i) { lcd.frame(i); });
}
BENCHMARK(lcdScreen)->Arg(100)->Arg(200)->Unit(benchmark::kMicrosecond);

class Collect : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            nsPerFrame[r.benchmark_name()] = r.GetAdjustedRealTime() * 1000.0; // reported in microseconds
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quillmarsh"));
    QCoreApplication::setApplicationName(QStringLiteral("QMRL Tessrook"));
    WFonts::registerFonts();
    benchmark::Initialize(&argc, argv);
    Collect reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nShare of a 1 ms frame budget (below 1.0 fits):\n");
    for (const auto& [name, ns] : nsPerFrame)
        std::printf("  %-22s %6.3f\n", name.c_str(), ns / 1e6);
    benchmark::Shutdown();
    return 0;
}
