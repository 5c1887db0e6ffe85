#pragma once
// Building a simulated machine for demos: a builder default (one RVM-270A on D:) and a tiny
// line-based text format (sim/TRANSCRIPT.md describes it next to the transcript).
#include "sim/SimMachine.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zelfin::sim {

struct Scenario {
    std::unique_ptr<SimMachine> machine;
    std::vector<SimDrive*> drives; // in the order they were described
};

// NT machine, fixed disk on C:, one BRYMOTE DVDRW RVM-270A on D: (port 1, target 0), no disc.
Scenario DefaultScenario();

// Parses a scenario text. Throws std::invalid_argument naming the line on any error.
Scenario ParseScenario(std::string_view text);

} // namespace zelfin::sim
