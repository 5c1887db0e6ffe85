#pragma once
// The host-cost figures, each timed by Google Benchmark in the same run as its floor: the cost
// per piece of the WRITE BUFFER job's piece loop with free drive commands, the simulated
// drive's share of it measured alone, the plain copy-and-compare floor, and the start-up scan
// of sixteen drives. Also the counted figures: allocations in the piece loop and the sleeps
// of a whole job.

#include "Report.h"

#include <map>
#include <string>

namespace zelfin::bench {

// What one benchmark measured: processor time per iteration and its counters.
struct Measured {
    double nanoseconds = 0.0;
    std::map<std::string, double> counters;
};
using Measurements = std::map<std::string, Measured>;

void RegisterMicroBenchmarks(bool quick);
// Figures from the benchmarks' results; a missing benchmark leaves its figures out.
void AddMicroFigures(const Measurements& measured, Report& report);
// Counted, not timed: allocations per piece and the sleeps of one whole job.
void AddCountedFigures(Report& report);

} // namespace zelfin::bench
