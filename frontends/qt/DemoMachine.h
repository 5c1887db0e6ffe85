#pragma once
// The simulated machine the demo window runs on: an RVM-270A that the package updates and a
// drive of another maker that it must leave alone.

#include "sim/Scenario.h"

#include <string>

namespace zelfin::qt {

// With commandSeconds above 0 the RVM-270A takes that long for each command on the wall clock;
// with 0 the virtual clock runs the same update in a moment. extraLines are added scenario
// lines, such as "fault D readback".
inline constexpr double kDemoCommandSeconds = 0.008; // a real drive's pace
sim::Scenario demoMachine(double commandSeconds, const std::string& extraLines = {});

} // namespace zelfin::qt
