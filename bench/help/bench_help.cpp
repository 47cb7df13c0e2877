// The manual's costs the reader can feel: the first access that builds the table (goal under 5 ms),
// one search over the whole table as per keystroke (goal under 1 ms), and building and laying out the
// view of the longest chapter, Troubleshooting (goal under 30 ms). Prints each against its goal.
#include "ChapterView.h"
#include "Manual.h"
#include "WFonts.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

std::map<std::string, double> msPerRun;

// Runs once: only the first access builds the table. Registered first, so nothing touched it before.
void firstAccess(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(Manual::chapters().size());
}
BENCHMARK(firstAccess)->Iterations(1)->Unit(benchmark::kMicrosecond);

// A word found in three chapters, and one found nowhere (the whole table is walked).
void search(benchmark::State& state) {
    const QString query = state.range(0) ? QStringLiteral("passphrase") : QStringLiteral("no such words");
    for (auto _ : state)
        benchmark::DoNotOptimize(Manual::search(query).size());
}
BENCHMARK(search)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// The chapter view as the help window builds it on selection, laid out in the detail column.
void troubleshootingView(benchmark::State& state) {
    const HelpChapter& chapter = Manual::chapter(HelpTopic::trouble);
    for (auto _ : state) {
        ChapterView view(chapter);
        view.resize(664, view.heightForWidth(664) > 0 ? view.heightForWidth(664) : 1600);
        benchmark::DoNotOptimize(view.sizeHint());
    }
}
BENCHMARK(troubleshootingView)->Unit(benchmark::kMillisecond);

class Collect : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.iterations > 0)
                msPerRun[r.benchmark_name()] = r.real_accumulated_time * 1e3 / double(r.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    WFonts::registerFonts();
    benchmark::Initialize(&argc, argv);
    Collect reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const std::map<std::string, double> goals{{"firstAccess/iterations:1", 5.0},
                                              {"search/1", 1.0},
                                              {"search/0", 1.0},
                                              {"troubleshootingView", 30.0}};
    std::printf("\nTime per run against its goal (below 1.0 meets it):\n");
    for (const auto& [name, ms] : msPerRun) {
        const auto goal = goals.find(name);
        std::printf("  %-26s %9.4f ms", name.c_str(), ms);
        if (goal != goals.end()) std::printf("  %6.3f of %.0f ms", ms / goal->second, goal->second);
        std::printf("\n");
    }
    benchmark::Shutdown();
    return 0;
}
