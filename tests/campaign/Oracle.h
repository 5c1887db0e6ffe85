#pragma once
// The campaign's judge: what the program said against what the drives hold.

#include "CampaignRun.h"

#include <string>
#include <vector>

namespace zelfin::campaign {

struct Verdict {
    bool falseSuccess = false;       // success reported, but a drive does not run its bank
    bool unverifiedCommit = false;   // a drive committed bytes it never gave back right
    bool falseFailure = false;       // failure reported, yet every drive committed and runs it
    bool bricked = false;            // a drive answers no more, and no fault took it away
    std::vector<std::string> broken; // every other broken promise, one line each
};

Verdict judge(const RunConfig& config, const RunResult& run);

} // namespace zelfin::campaign
