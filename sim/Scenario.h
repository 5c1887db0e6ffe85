#pragma once
// A simulated machine described as text (sim/TRANSCRIPT.md, "Scenario text"): the machine's own
// lines, "firmware" lines that fit a drive with a flash memory holding the test package's image,
// and "fault" lines (DriveFault), which apply after every firmware line. zelfin-cli --simulate,
// zelfin-demo, the test ASPI manager, the TCMU drive and the tests all build machines here.
#include "sim/SimMachine.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zelfin::sim {

struct Scenario {
    std::unique_ptr<SimMachine> machine;
    std::vector<SimDrive*> drives; // in the order they were described
};

// The flash image a firmware line asks for, by main firmware revision. Without one, each image
// is made afresh; a caller that builds many machines may keep them.
using ImageSource = std::function<std::span<const std::uint8_t>(std::string_view revision)>;

// What zelfin-cli --simulate runs without a file: NT, a fixed disk on C:, one BRYMOTE DVDRW
// RVM-270A on D: (port 1, target 0) running revision 1A05 from its flash, in real time.
Scenario DefaultScenario();

// Throws std::invalid_argument naming the line of the first thing it cannot use.
Scenario ParseScenario(std::string_view text, const ImageSource& images = {});
// The same for a file's text; std::runtime_error when the file cannot be read.
Scenario ReadScenarioFile(const std::string& path);

} // namespace zelfin::sim
