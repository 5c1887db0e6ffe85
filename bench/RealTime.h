#pragma once
// The drive-bound figures, on the simulator's real-time clock with its realistic command
// costs: one job against the drive's own time, and automatic mode with 1 to 16 drives against
// one drive; processor time against wall time for both.

#include "Report.h"

namespace zelfin::bench {

void AddDriveBoundFigures(const RunOptions& options, Report& report);
void AddAutomaticFigures(const RunOptions& options, Report& report);

} // namespace zelfin::bench
