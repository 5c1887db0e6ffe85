#pragma once
// zelfin-cli --json: the drives, their verdicts and, after an update, each job's result, as one
// JSON document.

#include "app/RunReport.h"
#include "device/DriveEntry.h"
#include "package/Package.h"

#include <optional>
#include <ostream>
#include <string_view>
#include <vector>

namespace zelfin::cli {

struct JsonRun {
    std::string_view outcome;                 // how the program ended, e.g. "updated"
    const std::vector<app::JobOutcome>* jobs; // the last run's jobs
};

// error: why the program stopped, or empty. run: absent for --list.
void writeJson(std::ostream& out, const Package& package, const std::vector<DriveEntry>& drives,
               std::string_view error, const std::optional<JsonRun>& run);

} // namespace zelfin::cli
