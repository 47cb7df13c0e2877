#pragma once
// Keeps the CPU time per iteration (steadier than wall time on a busy machine) of each benchmark so the
// ratios can be printed after the run.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> perIteration;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.iterations > 0)
                perIteration[r.benchmark_name()] = r.cpu_accumulated_time / double(r.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
};
