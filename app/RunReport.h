#pragma once
// What a front end that reports to a machine needs from a run: the drive list with each drive's
// verdict as last shown, and how each job of the last run ended.

#include "device/DriveEntry.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zelfin::app {

struct JobOutcome {
    int16_t drive = -1; // index in the drive list
    bool updated = false;
    std::string reason; // why it failed; empty when updated
};

struct RunReport {
    std::vector<DriveEntry> drives;       // the list as last filled, verdicts included
    std::vector<DriveEntry> drivesBefore; // the list as the last run found it
    std::vector<JobOutcome> jobs;         // the last run's jobs; empty when no run was started
};

} // namespace zelfin::app
