#pragma once
// The promises every run must keep, checked on its command log and its ending.

#include "CampaignRun.h"

#include <string>
#include <vector>

namespace zelfin::campaign {

struct Limits {
    double virtualSeconds = 0.0; // the run ends within this much simulated time
    std::size_t commands = 0;    // and sends at most this many commands
    std::size_t dialogs = 4;
};

// Each broken promise as one line; empty when all held. `corruptedAt` is the log index of a
// READ BUFFER whose data was made wrong, if any.
std::vector<std::string> brokenInvariants(Job job, const RunResult& run, const Limits& limits,
                                          std::optional<std::size_t> corruptedAt);

} // namespace zelfin::campaign
