#pragma once
// The simulated machine zelfin-cli runs on with --simulate: by default one BRYMOTE DVDRW
// RVM-270A at D: running revision 1A05 in real time, or what a scenario file describes: the
// simulator's scenario lines (sim/TRANSCRIPT.md) plus "firmware" lines that fit a drive with a
// flash memory holding the test package's image (README, "zelfin-cli"), and the simulator's
// "fault" lines (sim::DriveFault), which apply after every firmware line.

#include "sim/SimMachine.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zelfin::cli {

struct SimulatedDrive {
    char letter = 0;
    sim::SimDrive* drive = nullptr;
};

struct Scenario {
    std::unique_ptr<sim::SimMachine> machine;
    std::vector<SimulatedDrive> drives;
};

// The flash image a firmware line asks for, by main firmware revision. Without one, each image
// is made afresh; a caller that builds many machines may keep them.
using ImageSource = std::function<std::span<const std::uint8_t>(std::string_view revision)>;

Scenario defaultScenario();
// Throws std::runtime_error naming the line of the first thing it cannot use.
Scenario readScenario(std::istream& in, const ImageSource& images = {});
Scenario readScenarioFile(const std::string& path);

} // namespace zelfin::cli
