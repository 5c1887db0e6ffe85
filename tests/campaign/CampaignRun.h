#pragma once
// One complete run of zelfin-cli's program on a simulated machine built from a scenario, and
// what the drives themselves hold afterwards: their flash, the firmware they run, whether what
// they committed had come back whole and right, and every command they received.

#include "RunConfig.h"

#include "frontends/terminal/TerminalToolkit.h"
#include "sim/Scenario.h"
#include "sim/Transcript.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelfin::campaign {

struct DriveTruth {
    char letter = 0;
    bool target = false;           // the package lets the program update this drive
    bool answers = true;           // neither gone nor dead
    bool runsBank = false;         // holds the bank where it goes and runs the firmware it brings
    uint32_t commits = 0;          // commits (or download ends) that ran to their end this run
    bool unverifiedCommit = false; // a commit began with a piece not read back equal to the bank
    uint32_t changingCommands = 0; // WRITE BUFFER and download commands received
    std::string revision;          // what INQUIRY would report now
    std::vector<sim::TranscriptRecord> transcript; // only when asked for
};

struct RunResult {
    int exitStatus = -1;
    terminal::Ending ending = terminal::Ending::Nothing;
    std::vector<DriveTruth> drives;
    double virtualSeconds = 0.0;
    std::size_t commands = 0;
};

// The machine the scenario describes, built the way zelfin-cli --simulate builds it.
sim::Scenario makeMachine(const RunConfig& config);

// Runs the program once on `machine` as `zelfin-cli --update --yes` would.
RunResult runOn(sim::Scenario& machine, const RunConfig& config, bool keepTranscripts);

} // namespace zelfin::campaign
