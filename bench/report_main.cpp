// zelfin_bench_report: every performance figure of the program in one run, each with its floor
// and their ratio, written as JSON.
//
//   zelfin_bench_report [--quick] [--host] [--out FILE] [Google Benchmark flags]
//
// --quick: a smoke run of a few seconds (short timings, drive costs scaled down a hundredfold,
// automatic mode with 1 and 2 drives only); its figures are not for comparison.
// --host: the host-cost figures only, without the drive-bound runs on the real-time clock.

#include "Micro.h"
#include "RealTime.h"
#include "Report.h"

#include <benchmark/benchmark.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace zelfin::bench;

// Keeps what each benchmark measured (the least time of its repetitions, and their median
// counters, when there are several)
// and shows the usual console table. Processor time, not wall time: the benchmarks are
// single-threaded, and on a shared machine wall time counts other people's work.
class Capture : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            const bool single = run.run_type == Run::RT_Iteration;
            const bool aggregate = run.run_type == Run::RT_Aggregate;
            Measured& m = measured[run.run_name.function_name];
            if (single || (aggregate && run.aggregate_name == "min")) {
                m.nanoseconds = run.GetAdjustedCPUTime() * ToNanoseconds(run.time_unit);
            }
            // Counters are shares, not times: the typical one, not the least.
            if (single || (aggregate && run.aggregate_name == "median")) {
                for (const auto& [name, counter] : run.counters) {
                    m.counters[name] = counter.value;
                }
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    Measurements measured;

private:
    static double ToNanoseconds(benchmark::TimeUnit unit) {
        switch (unit) {
        case benchmark::kNanosecond:
            return 1.0;
        case benchmark::kMicrosecond:
            return 1e3;
        case benchmark::kMillisecond:
            return 1e6;
        case benchmark::kSecond:
            return 1e9;
        }
        return 1.0;
    }
};

} // namespace

int main(int argc, char** argv) {
    RunOptions options;
    std::string out = "results.json";
    bool hostOnly = false;
    std::vector<char*> passOn{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            options.quick = true;
        } else if (std::strcmp(argv[i], "--host") == 0) {
            hostOnly = true;
        } else if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
            out = argv[++i];
        } else {
            passOn.push_back(argv[i]);
        }
    }
    options.costScale = options.quick ? 0.01 : 1.0;
    // Repetitions of the benchmarks run in random order, so that a busy spell of the machine
    // falls on all of them alike.
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    passOn.insert(passOn.begin() + 1, interleave);
    int passOnCount = static_cast<int>(passOn.size());
    benchmark::Initialize(&passOnCount, passOn.data());
    if (benchmark::ReportUnrecognizedArguments(passOnCount, passOn.data())) {
        return 2;
    }

    RegisterMicroBenchmarks(options.quick);
    Capture capture;
    benchmark::RunSpecifiedBenchmarks(&capture);
    benchmark::Shutdown();

    Report report;
    report.quick = options.quick;
    AddMicroFigures(capture.measured, report);
    AddCountedFigures(report);
    if (!hostOnly) {
        std::fprintf(stderr, "zelfin_bench: drive-bound job on the real-time clock...\n");
        AddDriveBoundFigures(options, report);
        std::fprintf(stderr, "zelfin_bench: automatic mode on the real-time clock...\n");
        AddAutomaticFigures(options, report);
    }

    PrintReport(report, stdout);
    if (!WriteReport(report, out)) {
        std::fprintf(stderr, "zelfin_bench: cannot write %s: %s\n", out.c_str(),
                     std::strerror(errno));
        return 1;
    }
    std::printf("results: %s\n", out.c_str());
    return report.incomplete ? 1 : 0;
}
