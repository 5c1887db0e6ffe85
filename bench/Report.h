#pragma once
// The figures of one benchmark run: each a value, the floor it is held against (measured in the
// same run), and their ratio. WriteReport turns them into the results file.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace zelfin::bench {

struct Figure {
    std::string name;
    std::string unit;
    double value = 0.0;
    double floor = 0.0;
    std::optional<double> target; // the ratio to stay within (allocations: the value itself)
    std::string what;             // what value and floor are, in a few words
    // value / floor; none when the floor is 0 (allocations).
    std::optional<double> Ratio() const {
        return floor != 0.0 ? std::optional<double>(value / floor) : std::nullopt;
    }
};

struct Report {
    bool quick = false;
    std::vector<Figure> figures;
    // A figure could not be measured (a job failed, a benchmark stopped); said on stderr.
    bool incomplete = false;
    void Missing(const char* what) {
        std::fprintf(stderr, "zelfin_bench: no figure for %s\n", what);
        incomplete = true;
    }
};

// Run-wide settings shared by the parts of the run.
struct RunOptions {
    bool quick = false;
    // Scales the simulated drive's realistic command costs (1 in a full run).
    double costScale = 1.0;
};

// The machine the figures came from, as JSON members (cpus, cpu_model, load averages).
std::string MachineJson();
// Writes the whole report as JSON; false with errno set when the file cannot be written.
bool WriteReport(const Report& report, const std::string& path);
// One line per figure on `out`, for the person at the terminal.
void PrintReport(const Report& report, std::FILE* out);

} // namespace zelfin::bench
